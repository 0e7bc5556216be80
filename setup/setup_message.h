#pragma once
// The installer's and uninstaller's messages. Every message is logged and
// written to standard error; a box is shown only where a display is, so a
// quiet run on a server or in a terminal never waits for a click nobody
// can give.
#include <string>

// One-button message; error selects the error icon, else information.
void LSetupMessage(const char16_t* text, const char16_t* caption, const char16_t* button, bool error);
// The text of a worker status; null for the statuses that show nothing.
const char16_t* LInstallErrorText(int status);
void LShowInstallError(int status);
void LShowAdministratorMessage();
