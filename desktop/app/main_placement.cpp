#include "desktop/app/main_placement.h"

#include <algorithm>

LRect LComputeMainPlacement(const LMainPlacementInput& in) {
    int w = std::max(in.width > 0 ? in.width : in.fallback.cx, in.minimum.cx);
    int h = std::max(in.height > 0 ? in.height : in.fallback.cy, in.minimum.cy);
    int x = in.has_x ? in.x : in.desktop.right / 2 - w / 2;
    int y = in.has_y ? in.y : in.desktop.bottom / 2 - h / 2;
    if (!in.has_height) {
        w = std::min(w, in.desktop.Width());
        h = std::min(h, in.desktop.Height());
        x = std::clamp(x, in.desktop.left, in.desktop.right - w);
        y = std::clamp(y, in.desktop.top, in.desktop.bottom - h);
    }
    return {x, y, x + w, y + h};
}
