#pragma once
// The two clocks of the program: "now" (seconds since 1970, UTC) and the
// millisecond tick of a monotonic clock. Tests replace either one to drive
// time-outs, expiries and date texts without waiting.
#include <cstdint>
#include <ctime>

// Seconds since 1970 (UTC).
time_t LNow();

// Milliseconds of the monotonic clock; never goes back, unrelated to the date.
uint64_t LPerfCounterMs();
uint64_t LTickCount64();
// The same tick cut to 32 bits: differences are taken as unsigned 32-bit
// values, so wrap-around after 49.7 days is harmless.
uint32_t LTickCount();

// Test hooks: a null function restores the system clock.
using LNowFunc = time_t (*)();
using LTickFunc = uint64_t (*)();
void LSetNowFuncForTests(LNowFunc f);
void LSetTickFuncForTests(LTickFunc f);
