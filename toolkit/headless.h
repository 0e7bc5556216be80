#pragma once
// Test settings of the headless backend.
#include "toolkit/window_types.h"

// The desktop and its work area as the headless backend reports them
// (1920 x 1080 with a 40-pixel panel at the bottom until changed).
void LHeadlessSetScreen(const LRect& desktop, const LRect& work_area);
