#pragma once
// The local "start" route: the desktop leaves a one-time launch token in
// the machine-wide settings (MainWindowWebApp\LaunchToken and
// LaunchTokenTime) and opens /start?token=...; the route accepts the token
// once, within 300 seconds, from the local machine only, and answers with a
// new session cookie and a redirect to index.html. It is the only maker of
// sessions.
#include <cstdint>

constexpr int64_t LWebStartTokenLifetime = 300;

// The token test: not empty, equal to the stored one (compared in constant
// time), made at most 300 seconds ago and not in the future.
bool LWebStartTokenAccepted(const char16_t* given, const char16_t* stored, int64_t stored_time, int64_t now);
