#pragma once
// The interactive version check: the "Checking for Updates" progress
// window over the version-file fetch, and the answers the user sees (a
// newer version, the current one, or no version information).
#include "setup/version_check.h"
#include "toolkit/window_types.h"

// LFetchVersionInfo under a progress window shown over parent; 2 when the
// window cannot be shown.
int LRunVersionCheckWithProgress(LHwnd parent, LVersionInfo& out);

// The newest known version, fetched (when needed) under that window
// without a parent.
int LGetNewerVersionWithWindow(double& version);

// The main window's "check for updates" command, and the beta-release
// dialog's "Check for Updated Version" link (which never offers the
// follow-us choices in one dialog).
void LCheckForUpdates(LHwnd parent);
void LCheckForUpdatedVersion(LHwnd parent);
