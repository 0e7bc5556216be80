#pragma once
// Downloading and starting the update installer, and the start-up version
// check that offers it.

// 0 the installer took over, 1 stopped, 2 failed (the user was told).
int LDownloadUpdate();
