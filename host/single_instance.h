#pragma once
// The desktop start: under the start-up lock, hand over to a desktop of this
// user that already runs, or run the desktop. Returns the exit code (0).
int LSingleInstanceStart(bool seven_day_start);

// Asks running desktops to end and stops the service, for the installer and
// the uninstaller. Always true.
bool LCloseOtherInstances();
