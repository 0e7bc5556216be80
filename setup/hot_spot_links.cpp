#include "setup/hot_spot_links.h"

namespace {

bool Contains(const LHotSpotLinks::Area& a, int x, int y) {
    return a.left <= x && x < a.left + a.width && a.top <= y && y < a.top + a.height;
}

void DestroyPopup(LHwnd& popup) {
    if (popup != LHwnd::Null) LDestroyWindow(popup);
    popup = LHwnd::Null;
}

}  // namespace

LHotSpotLinks::~LHotSpotLinks() { DestroyPopup(popup); }

void LHotSpotLinks::OnClick(int x, int y) {
    for (const Area& a : areas_) {
        if (!Contains(a, x, y)) continue;
        if (owner == LHwnd::Null) return;
        DestroyPopup(popup);
        LPostMessage(owner, LWM_COMMAND, LMakeWParam(static_cast<uint32_t>(a.click), 0), 0);
        return;
    }
}

void LHotSpotLinks::OnMouseMove(int x, int y) {
    if (cursor == Cursor::Help) return;
    bool found = false;
    for (const Area& a : areas_) {
        if (!Contains(a, x, y)) continue;
        found = true;
        cursor = Cursor::Hand;
        over = true;
        if (has_current_ && current_ == a.id) continue;
        if (a.hover != 0 && owner != LHwnd::Null)
            LPostMessage(owner, LWM_COMMAND, LMakeWParam(static_cast<uint32_t>(a.hover), 0), 0);
        has_current_ = true;
        current_ = a.id;
    }
    if (found) return;
    cursor = Cursor::Arrow;
    over = false;
    has_current_ = false;
    DestroyPopup(popup);
}
