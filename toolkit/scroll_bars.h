#pragma once
// A window's own scroll bars (the vertical one at its right edge, the
// horizontal one at its bottom): range, page, position and the thumb's
// track position while it is dragged. A bar shows while its page is smaller
// than its range and then takes its room from the client area.
#include <cstdint>

#include "toolkit/window_types.h"

struct LScrollInfo {
    int min = 0;
    int max = 0;
    int page = 0;
    int pos = 0;
    int track = 0;
};

constexpr int LSB_HORZ = 0;
constexpr int LSB_VERT = 1;
constexpr uint32_t LSIF_RANGE = 0x1;
constexpr uint32_t LSIF_PAGE = 0x2;
constexpr uint32_t LSIF_POS = 0x4;

// Sets the parts of the bar that the mask names; the position is kept
// within min .. max - page + 1. Answers the position.
int LSetScrollInfo(LHwnd h, int bar, uint32_t mask, const LScrollInfo& info);
// The whole state of the bar; false when the window is gone.
bool LGetScrollInfo(LHwnd h, int bar, LScrollInfo* info);
bool LScrollBarShown(LHwnd h, int bar);
