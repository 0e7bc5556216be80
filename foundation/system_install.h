#pragma once
// What the program asks of its installation: on-demand components and the
// installed program's folder.
#include "foundation/task_progress.h"

// Makes sure zlib is there for the loader that opens it at run time: a
// registered zlib component, else the system's libz (a package of the
// distribution, never downloaded); its path in out. Neither: false, an
// empty path, and the reason shown through progress when given.
bool LEnsureZlibComponent(LTaskProgress* progress, char16_t out[260]);
// The installed program's folder from Settings\InstallerPath (the machine's
// store first, then the user's), kept for the process once found; false and
// empty when the program is not installed.
bool LGetInstallerPath(char16_t out[260]);
