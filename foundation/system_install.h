#pragma once
// What the program asks of its installation: on-demand components and the
// installed program's folder. Components are not installed on demand here;
// the callers' "not available" paths run.
#include "foundation/task_progress.h"

// Makes sure the on-demand zlib component is present: never possible here,
// so false with an empty path (zlib is loaded from the system library).
bool LEnsureZlibComponent(LTaskProgress* progress, char16_t out[260]);
// The installed program's folder from Settings\InstallerPath (the machine's
// store first, then the user's), kept for the process once found; false and
// empty when the program is not installed.
bool LGetInstallerPath(char16_t out[260]);
