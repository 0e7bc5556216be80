#include "toolkit/scroll_panel.h"

#include <cairo.h>

#include <algorithm>

int LScrollLineStep(int page) {
    int step = page / 20;
    return step < 2 ? 1 : step;
}

bool LScrollNewPosition(const LScrollInfo& bar, uint32_t code, int* position) {
    int step = LScrollLineStep(bar.page);
    switch (code) {
    case LSB_LINEUP: *position = bar.pos - step; return true;
    case LSB_LINEDOWN: *position = bar.pos + step; return true;
    case LSB_PAGEUP: *position = bar.pos - bar.page; return true;
    case LSB_PAGEDOWN: *position = bar.pos + bar.page; return true;
    case LSB_THUMBPOSITION:
    case LSB_THUMBTRACK: *position = bar.track; return true;
    case LSB_TOP: *position = bar.min; return true;
    case LSB_BOTTOM: *position = bar.max; return true;
    default: return false;
    }
}

namespace {

// The position a request lands on: the minimum, or at most the maximum
// less the page. Content shorter than the page makes that limit fall below
// the minimum, which is then taken instead of a negative position.
int Clamp(const LScrollInfo& bar, int request) {
    if (request <= bar.min) return bar.min;
    return std::max(bar.min, std::min(request, bar.max - bar.page));
}

// One bar set up for the content's extent: the page is the client extent
// + 1 and the position stays inside the content (no scrolling needed: the
// whole control is repainted). The bar keeps its own position.
void FitBar(LHwnd h, int bar, int content, int client, int* pos, int* page, int* scrolled) {
    if (content <= 0) return;
    *page = client + 1;
    *pos = content < *page ? 0 : std::clamp(*pos, 0, content - *page);
    *scrolled = *pos;
    LScrollInfo info;
    info.max = content;
    info.page = *page;
    LSetScrollInfo(h, bar, LSIF_RANGE | LSIF_PAGE, info);
}

int PageOnly(LHwnd h, int bar, int page) {
    LScrollInfo info;
    info.page = page;
    LSetScrollInfo(h, bar, LSIF_PAGE, info);
    return page;
}

}  // namespace

void LScrollPanel::Attach(LWindow* o, int item_id) {
    LCustomControl::Attach(o, item_id);
    UpdateScrollBars();
}

void LScrollPanel::UpdateScrollBars() {
    if (hwnd == LHwnd::Null) return;
    {
        // Measuring needs a context but no pixels.
        cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
        cairo_t* cr = cairo_create(s);
        LDrawContext measure(cr, LGetWindowRect(hwnd), hwnd);
        DrawItems(measure, true);
        cairo_destroy(cr);
        cairo_surface_destroy(s);
    }
    FitBar(hwnd, LSB_VERT, content_height, height, &y_pos, &y_page, &scrolled_y);
    FitBar(hwnd, LSB_HORZ, content_width, width, &x_pos, &x_page, &scrolled_x);
    // A bar that appeared or went changed the client area: the pages follow
    // the new client size.
    LRect c = LGetClientRect(hwnd);
    if (c.Width() != width) x_page = PageOnly(hwnd, LSB_HORZ, c.Width() + 1);
    if (c.Height() != height) y_page = PageOnly(hwnd, LSB_VERT, c.Height() + 1);
    width = c.Width();
    height = c.Height();
    LInvalidate(hwnd);
}

void LScrollPanel::ScrollToY(int position) {
    LScrollInfo bar;
    LGetScrollInfo(hwnd, LSB_VERT, &bar);
    y_pos = Clamp(bar, position);
    bar.pos = y_pos;
    LSetScrollInfo(hwnd, LSB_VERT, LSIF_POS, bar);
    LInvalidate(hwnd);
}

void LScrollPanel::ScrollToX(int position) {
    LScrollInfo bar;
    LGetScrollInfo(hwnd, LSB_HORZ, &bar);
    x_pos = Clamp(bar, position);
    bar.pos = x_pos;
    LSetScrollInfo(hwnd, LSB_HORZ, LSIF_POS, bar);
    LInvalidate(hwnd);
}

void LScrollPanel::ScrollContent() {
    if (x_pos == scrolled_x && y_pos == scrolled_y) return;
    // The content is drawn at the positions, so a repaint is the scroll;
    // children move with it.
    int dx = scrolled_x - x_pos, dy = scrolled_y - y_pos;
    for (LHwnd child : LGetChildren(hwnd)) {
        LRect r = LGetWindowRect(child);
        LPoint p = LScreenToClient(hwnd, {r.left, r.top});
        LSetWindowPos(child, p.x + dx, p.y + dy, 0, 0, LSWP_NOSIZE | LSWP_NOZORDER | LSWP_NOACTIVATE);
    }
    scrolled_x = x_pos;
    scrolled_y = y_pos;
    LInvalidate(hwnd);
}

void LScrollPanel::OnVScroll(uint32_t code) {
    LScrollInfo bar;
    int position;
    if (!LGetScrollInfo(hwnd, LSB_VERT, &bar) || !LScrollNewPosition(bar, code, &position)) return;
    ScrollToY(position);
    ScrollContent();
}

void LScrollPanel::OnHScroll(uint32_t code) {
    LScrollInfo bar;
    int position;
    if (!LGetScrollInfo(hwnd, LSB_HORZ, &bar) || !LScrollNewPosition(bar, code, &position)) return;
    ScrollToX(position);
    ScrollContent();
}

LResult LScrollPanel::WndProc(LHwnd h, uint32_t msg, LWParam w, LLParam l) {
    switch (msg) {
    case LWM_SIZE:
        width = static_cast<int>(LLoWord(static_cast<uintptr_t>(l)));
        height = static_cast<int>(LHiWord(static_cast<uintptr_t>(l)));
        UpdateScrollBars();
        return 0;
    case LWM_VSCROLL: OnVScroll(LLoWord(w)); return 0;
    case LWM_HSCROLL: OnHScroll(LLoWord(w)); return 0;
    case LWM_MOUSEWHEEL:
        // One line per wheel message, whatever its delta.
        OnVScroll(static_cast<int16_t>(LHiWord(w)) >= 0 ? LSB_LINEUP : LSB_LINEDOWN);
        break;
    default: break;
    }
    return LCustomControl::WndProc(h, msg, w, l);
}
