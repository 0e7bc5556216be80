#pragma once
// Finding and clicking the real program's controls on the test display by
// their accessible names (toolkit/tests/testdata/atspi_tree.py),
// with xdotool, as a user would.
#include <string>

// Waits up to timeout_ms for a showing control of the application `app`
// whose accessible name matches the regular expression `name`, then clicks
// its middle. False when none showed; *tree gets the last tree seen.
bool LTestClickAccessible(const std::string& app, const std::string& name, int timeout_ms,
                          std::string* tree = nullptr);
// True while a visible window has exactly this title.
bool LTestWindowShown(const std::string& title);
