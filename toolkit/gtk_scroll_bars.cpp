// The scroll bars of the program's own controls: GTK tells what the user
// asked of a bar (a step, a page, a jump of the thumb, an end) before it
// moves anything; that becomes the bar message with its code, and the
// window's answer (the position it sets) is what moves the bar.
#include <algorithm>

#include "toolkit/gtk_peer.h"
#include "toolkit/gtk_signals.h"
#include "toolkit/input_messages.h"

namespace {

bool CodeOf(GtkScrollType type, uint32_t* code) {
    switch (type) {
    case GTK_SCROLL_STEP_BACKWARD:
    case GTK_SCROLL_STEP_UP:
    case GTK_SCROLL_STEP_LEFT: *code = LSB_LINEUP; return true;
    case GTK_SCROLL_STEP_FORWARD:
    case GTK_SCROLL_STEP_DOWN:
    case GTK_SCROLL_STEP_RIGHT: *code = LSB_LINEDOWN; return true;
    case GTK_SCROLL_PAGE_BACKWARD:
    case GTK_SCROLL_PAGE_UP:
    case GTK_SCROLL_PAGE_LEFT: *code = LSB_PAGEUP; return true;
    case GTK_SCROLL_PAGE_FORWARD:
    case GTK_SCROLL_PAGE_DOWN:
    case GTK_SCROLL_PAGE_RIGHT: *code = LSB_PAGEDOWN; return true;
    case GTK_SCROLL_JUMP: *code = LSB_THUMBTRACK; return true;
    case GTK_SCROLL_START: *code = LSB_TOP; return true;
    case GTK_SCROLL_END: *code = LSB_BOTTOM; return true;
    default: return false;
    }
}

gboolean OnChangeValue(GtkRange* range, GtkScrollType type, gdouble value, gpointer which) {
    uint32_t code;
    if (!CodeOf(type, &code)) return TRUE;
    int bar = GPOINTER_TO_INT(which);
    LHwnd h = LGtkHwndOf(GTK_WIDGET(range));
    int position = static_cast<int>(value + 0.5);
    if (code == LSB_THUMBTRACK) LWndNoteScrollTrack(h, bar, position);
    LMsg m;
    m.hwnd = h;
    m.message = bar == LSB_VERT ? LWM_VSCROLL : LWM_HSCROLL;
    m.wParam = LMakeWParam(code, code == LSB_THUMBTRACK ? static_cast<uint32_t>(position) : 0);
    LPostInput(m);
    // The window sets the position it accepts; GTK moves nothing itself.
    return TRUE;
}

GtkFixed* RootFixed(const LWnd& w) {
    LWndRef root = LWndFind(LGetAncestorRoot(w.handle));
    LGtkPeer* rp = root ? LGtkPeerOf(*root) : nullptr;
    return rp && rp->inner && GTK_IS_FIXED(rp->inner) ? GTK_FIXED(rp->inner) : nullptr;
}

}  // namespace

void LGtkSyncScrollBars(LWnd& w, LGtkPeer& p) {
    GtkFixed* fixed = RootFixed(w);
    if (!(w.style & LWS_CHILD) || !fixed) return;
    for (int bar : {LSB_HORZ, LSB_VERT}) {
        if (!p.bars[bar] && !w.scroll_shown[bar]) continue;
        if (!p.bars[bar]) {
            GtkWidget* b =
                gtk_scrollbar_new(bar == LSB_VERT ? GTK_ORIENTATION_VERTICAL : GTK_ORIENTATION_HORIZONTAL, nullptr);
            g_object_ref_sink(b);
            g_object_set_data(G_OBJECT(b), "lhwnd", GUINT_TO_POINTER(static_cast<uint32_t>(w.handle)));
            g_signal_connect(b, "change-value", G_CALLBACK(OnChangeValue), GINT_TO_POINTER(bar));
            gtk_fixed_put(fixed, b, 0, 0);
            p.bars[bar] = b;
        }
        const LScrollInfo& s = w.scroll[bar];
        gtk_adjustment_configure(gtk_range_get_adjustment(GTK_RANGE(p.bars[bar])), s.pos, s.min, s.max + 1, 1,
                                 std::max(1, s.page), s.page);
    }
}

void LGtkPlaceScrollBars(LGtkPeer& p, int x, int y, int width, int height, int size) {
    if (GtkWidget* v = p.bars[LSB_VERT]) {
        gtk_fixed_move(GTK_FIXED(gtk_widget_get_parent(v)), v, x + width, y);
        gtk_widget_set_size_request(v, size, std::max(1, height));
    }
    if (GtkWidget* h = p.bars[LSB_HORZ]) {
        gtk_fixed_move(GTK_FIXED(gtk_widget_get_parent(h)), h, x, y + height);
        gtk_widget_set_size_request(h, std::max(1, width), size);
    }
}

void LGtkShowScrollBars(const LWnd& w, LGtkPeer& p, bool parent_shown) {
    for (int bar : {LSB_HORZ, LSB_VERT})
        if (p.bars[bar]) gtk_widget_set_visible(p.bars[bar], parent_shown && w.visible && w.scroll_shown[bar]);
}

void LGtkDestroyScrollBars(LGtkPeer& p) {
    for (GtkWidget*& bar : p.bars) {
        if (!bar) continue;
        g_object_set_data(G_OBJECT(bar), "lhwnd", nullptr);
        gtk_widget_destroy(bar);
        g_object_unref(bar);
        bar = nullptr;
    }
}

int LGtkMeasureScrollBar() {
    GtkWidget* bar = gtk_scrollbar_new(GTK_ORIENTATION_VERTICAL, nullptr);
    g_object_ref_sink(bar);
    int natural = 0;
    gtk_widget_get_preferred_width(bar, nullptr, &natural);
    gtk_widget_destroy(bar);
    g_object_unref(bar);
    return std::max(natural, 8);
}
