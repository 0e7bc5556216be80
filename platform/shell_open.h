#pragma once
// Opens a document, folder or link with the desktop's default program
// (xdg-open), detached from this process.

// True when xdg-open could be started; what it does then is not waited for.
bool LPlatformShellOpen(const char* target);
