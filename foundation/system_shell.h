#pragma once
// Opening files, folders and links for the user.

// Opens the target with the desktop's default program; the result is not
// reported (callers do not check it).
void LShellOpen(const char16_t* target);
