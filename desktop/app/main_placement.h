#pragma once
// Where the main window starts: the saved size raised to the minimum, the
// saved position or the desktop's middle, and, when no size was ever
// saved, kept inside the desktop.
#include "toolkit/window_types.h"

struct LMainPlacementInput {
    int width = 0, height = 0;  // saved, pixels (0: none)
    bool has_x = false, has_y = false, has_height = false;
    int x = 0, y = 0;
    LSize minimum;   // pixels
    LSize fallback;  // the size without a saved one, pixels
    LRect desktop;
};

LRect LComputeMainPlacement(const LMainPlacementInput& in);
