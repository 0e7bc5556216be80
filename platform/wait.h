#pragma once
// Waiting on several descriptors at once (events, pidfds, sockets).
#include <cstdint>

constexpr int LPlatformWaitTimeout = -1;
constexpr int LPlatformWaitError = -2;

// Waits up to ms milliseconds (0xFFFFFFFF: no limit) until one of the n
// descriptors is readable or hung up. Returns the lowest such index, so an
// earlier handle wins when several are signalled; an auto-reset event that
// is reported is cleared. LPlatformWaitTimeout when the time ran out,
// LPlatformWaitError for an invalid descriptor, n == 0 or a failing poll().
int LPlatformWaitAny(const int* fds, uint32_t n, uint32_t ms);
