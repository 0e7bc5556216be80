#pragma once
// Who may use the MCP endpoint. Local requests are known by the peer address
// and the Host and Origin headers; callers prove themselves with the stdio
// token (made here, handed to the relay and the command-line client) or the
// user's bearer key. Both are stored only as digests.
#include <cstddef>
#include <string>

#include "foundation/database.h"

class Weblet;

// SHA-256 over the UTF-16LE units of the text, as 64 lower-case hex digits.
void LMcpHashSecret(const char16_t* text, size_t units, char16_t out[65]);
// Constant time over the longer of the two texts; letter case counts.
bool LMcpSecretsEqual(const char16_t* a, const char16_t* b);

// "localhost", "127.0.0.1" or "[::1]" (ASCII case ignored), then the end of
// the text or ":" and a port of digits only.
bool LMcpIsLoopbackHost(const char16_t* text);
// The Origin, when present and not empty, names a loopback host (the part
// after "://"), and so does the Host header.
bool LMcpCheckLocalRequest(const Weblet& request);
// An Origin header that is present and names no loopback host: a page of
// another site talking to this machine (DNS rebinding), refused always.
bool LMcpHasForeignOrigin(const Weblet& request);

bool LMcpCheckStdioBearer(const Weblet& request, LAppDatabaseAccount& db);
bool LMcpCheckBearerKey(const Weblet& request, LAppDatabaseAccount& db);
// False refuses; a setting or digest that cannot be read refuses too.
bool LMcpAuthorizeRequest(const Weblet& request, LAppDatabaseAccount& db);

// While Enabled is on, makes the stdio token and its digest when missing and
// repairs a digest that does not match the token, in one write transaction
// (two first requests at once leave one token); when both are there and
// match, nothing is written and no lock is taken. Failed: the caller refuses
// the request. Busy: another writer held the database past the busy time-out,
// which says nothing about the caller's credentials.
enum LMcpTokenUpkeep { LMcpTokenReady, LMcpTokenFailed, LMcpTokenBusy };
LMcpTokenUpkeep LMcpKeepStdioToken(LAppDatabaseAccount& db);
// True when the upkeep above ends Ready.
bool LMcpEnsureStdioToken(LAppDatabaseAccount& db);
// The stdio token through a read-only connection of its own; true when
// Enabled is on and a token exists. Otherwise *cause (when given) says why:
// the database cannot be read, MCP is off, or no token was made yet.
bool LMcpGetStdioToken(char16_t out[260], std::string* cause = nullptr);
