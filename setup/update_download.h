#pragma once
// Downloading and starting the update installer, and the start-up version
// check that offers it.

// Under a "Downloading Update" progress window: 0 the installer took
// over, 1 stopped, 2 failed (the user was told).
int LDownloadUpdate();
// The main window's upgrade command: the same under "Version Upgrade",
// naming the program in the window.
void LDownloadVersionUpgrade();
