#pragma once
// The texts that server-made pages put where a browser acts on them: the
// navigation targets that a form may carry, and text inside a script.
#include <string>

#include "foundation/lstring.h"

class Weblet;

// A target the pages may send the browser to: a route of this server with
// an optional query ("main", "logon?onok=x"). No scheme, nothing that a
// browser reads as another host ("//", "\"), no quotes, no control
// characters, at most 1023 bytes.
bool LWebIsLocalTarget(const std::string& target);
// The request field's value when it is a local target, else the fallback.
std::string LWebLocalTargetField(Weblet& request, const char16_t* field, const std::string& fallback);
// The Referer reduced to a local target when it names this server (scheme
// and Host as the request came), else empty.
std::string LWebLocalReferer(Weblet& request);

// Appends UTF-8 text as the inside of a single- or double-quoted script
// string: quotes, backslashes, "<", ">", "&", line breaks and every control
// character escaped, so that nothing ends the string or the script element.
void LWebAppendJsString(LStringA& out, const std::string& utf8);

// Phones and other small screens, by the User-Agent.
bool LWebIsMobileClient(Weblet& request);
