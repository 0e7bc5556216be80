#pragma once
// The usage counters that the maker's pages receive: closings (runs),
// active periods of the main window and days since the first installation.
// Stored as decimal text in the machine-wide "Settings" section; a missing
// or unreadable value counts as 0. Only the desktop's window thread counts.
#include <cstdint>
#include <ctime>

// A stored count: 0 unless the text is all decimal digits.
int64_t LParseCounter(const char16_t* text);
// A counter's value (0 when missing or not a number) and its increment.
int64_t LReadCounter(const char16_t* section, const char16_t* name);
void LBumpCounter(const char16_t* section, const char16_t* name);

// Whole days since InstallDateFirst, rounded; false when it is missing or 0.
bool LGetDaysSinceInstall(int& days);
bool LGetDaysSinceInstallAt(time_t now, int& days);
int64_t LGetFirstRunActiveTime();

// Called after every command the main window handles: a command more than
// 10 seconds after the last counted one starts a new active period.
void LCountActiveTime();
void LCountActiveTimeAt(time_t now);
// Forgets the last counted time and the cached thanks state, for tests.
void LResetActiveTimeClock();

// Called by the closing prompts; true when this closing should show the
// rating prompt (Runs was 8 before it).
bool LCountRun();
