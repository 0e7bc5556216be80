#pragma once
// The running marker: a small file made at desktop start and removed at a
// clean exit. Finding it at the next start means the last run ended without
// that exit; when the machine has not restarted since (the boot clock went
// on), the user is asked whether it crashed.
#include <cstdint>
#include <string>

#include "toolkit/window.h"

void LCrashWatchStart(LHwnd parent);
void LCrashWatchStop();
// The same from a signal handler: no allocation, paths kept from the start.
void LCrashWatchStopSignalSafe();

// "Oops! ... abnormal termination" with "Report Bug" and "No"; the report
// on "Report Bug".
void LCrashAskAbnormalTermination(LHwnd parent, bool write_dump, const char* reason);

std::string LCrashMarkerPath();

// Milliseconds of a clock that counts suspend and restarts at boot.
uint64_t LBootTickMs();

// Test hooks: the boot clock, and the two questions (the answer is true for
// the first button). Null restores the real ones.
using LBootTickFunc = uint64_t (*)();
void LSetBootTickFuncForTests(LBootTickFunc f);
using LCrashAskFunc = bool (*)(LHwnd parent, const char16_t* text, const char16_t* caption, const char16_t* first,
                               const char16_t* second);
void LSetCrashAskFuncForTests(LCrashAskFunc f);
