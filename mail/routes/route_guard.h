#pragma once
// The gate in front of every mail route: a forged cross-site call is refused
// (the CSRF check answers it), and a caller without a loaded session gets
// 401 before any account, message or setting is read or touched. The route
// table's session flag only loads a session when the cookie names one.
class Weblet;
class LJsonValue;
class LJsonWriter;
class LAppDatabaseAccount;

// False when the request was already answered.
bool LMailRouteAllowed(Weblet& request);

// Text members of the account routes are at most 259 bytes; a longer one is
// refused rather than cut, since a cut password or host name silently means
// another one. False (and the refusal sent) when any named member is longer.
bool LMailRouteMembersFit(Weblet& request, const LJsonValue& body, const char* const* names, int count);

// Opens the database read-only and answers with one JSON object whose
// members `write` gives (db is null when the database did not open).
using LMailRouteObjectWriter = void (*)(LAppDatabaseAccount* db, const LJsonValue& body, LJsonWriter& json);
void LMailRouteReplyObject(Weblet& request, const LJsonValue& body, LMailRouteObjectWriter write);
