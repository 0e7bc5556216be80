#pragma once
// What the program asks its user at chosen moments, and the maker's pages
// that go with it: the thanks page after the first use, the thanks-for-using
// page after half a year and a year, the rating prompt after the eighth
// closing, the like survey (shown at a closing or from a timer), and the
// suggestion, bug-report and recent-release commands of the main window.
// Every page opens in the user's browser; nothing here reports a failure.
#include "foundation/lstring.h"
#include "toolkit/window_types.h"

class LWindow;

// The main window was closed to the background: the prompts that are due,
// then the window is hidden.
void LShowClosingPrompts(LWindow* main_window);
// The main window's names for the closing prompts and the thanks page
// (shown once, after the interface was first used).
void LRunClosingPrompts(LWindow* main_window);
void LOpenThanksPage();
// Once per installation.
void LShowThanksPage();
// True when the thanks-for-using page was opened.
bool LShowLongTermThanks();
// The like survey as a timer run of the installed program: 45 seconds from
// now when immediate, else two days.
void LScheduleSurvey(bool immediate);

void LOpenSuggestionPage();
void LOpenBugReportPage();
void LShowBetaReleaseDialog(LHwnd owner);
// The interactive version check (the update module's).
void LCheckForUpdatedVersion(LHwnd owner);

// "host" or "host:port" of a stored value, or the fallback when the value
// holds anything else (a path, a query, a user name).
LString LMakerHostOr(const char16_t* value, const LString& fallback);
// The maker's secure host (Maker\SecureHost).
LString LGetMakerSecureHost();
// A value of Software\RefData ("ref" or "refdate"): at its start or after
// an '&', up to the next '&'.
LString LRefDataValue(const char16_t* refdata, const char16_t* key);
