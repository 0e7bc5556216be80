#include <algorithm>

#include "toolkit/scroll_bars.h"
#include "toolkit/window_record.h"

namespace {

bool Shown(const LScrollInfo& s) { return s.page >= 0 && s.page <= s.max - s.min; }

int MaxPos(const LScrollInfo& s) { return std::max(s.min, s.max - std::max(s.page - 1, 0)); }

}  // namespace

int LSetScrollInfo(LHwnd h, int bar, uint32_t mask, const LScrollInfo& info) {
    LWndRef w = LWndFind(h);
    if (!w || (bar != LSB_HORZ && bar != LSB_VERT)) return 0;
    LScrollInfo& s = w->scroll[bar];
    bool was_shown = w->scroll_shown[bar];
    if (mask & LSIF_RANGE) {
        s.min = info.min;
        s.max = std::max(info.min, info.max);
    }
    if (mask & LSIF_PAGE) s.page = std::clamp(info.page, 0, s.max - s.min + 1);
    if (mask & LSIF_POS) s.pos = info.pos;
    s.pos = std::clamp(s.pos, s.min, MaxPos(s));
    // Outside a drag the thumb's track position is where the thumb is.
    s.track = s.pos;
    w->scroll_shown[bar] = Shown(s);
    // A bar that appears or goes changes the client area, so the window is
    // placed again.
    LWndNotify(*w, was_shown != w->scroll_shown[bar] ? uint32_t{LChangeScroll | LChangeRect} : uint32_t{LChangeScroll});
    return s.pos;
}

bool LGetScrollInfo(LHwnd h, int bar, LScrollInfo* info) {
    LWndRef w = LWndFind(h);
    if (!w || (bar != LSB_HORZ && bar != LSB_VERT)) return false;
    *info = w->scroll[bar];
    return true;
}

bool LScrollBarShown(LHwnd h, int bar) {
    LWndRef w = LWndFind(h);
    return w && (bar == LSB_HORZ || bar == LSB_VERT) && w->scroll_shown[bar];
}

void LWndNoteScrollTrack(LHwnd h, int bar, int track) {
    LWndRef w = LWndFind(h);
    if (!w || (bar != LSB_HORZ && bar != LSB_VERT)) return;
    LScrollInfo& s = w->scroll[bar];
    s.track = std::clamp(track, s.min, MaxPos(s));
}
