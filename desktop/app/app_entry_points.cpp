#include "desktop/app/app_entry_points.h"

#include "desktop/toolkit/window.h"
#include "foundation/log.h"

#define L_STAND_IN __attribute__((weak))

L_STAND_IN bool LRunMainWindowCommand(LWindow*, int) { return false; }
