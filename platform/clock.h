#pragma once
// The monotonic clock and plain sleeps.
#include <cstdint>

// Milliseconds of CLOCK_MONOTONIC (never goes back, unaffected by the date).
uint64_t LPlatformMonotonicMs();
// Sleeps ms milliseconds; 0xFFFFFFFF sleeps for ever. Signals do not cut it short.
void LPlatformSleepMs(uint32_t ms);
