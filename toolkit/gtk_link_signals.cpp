// Links on the GTK backend: a label has no input window of its own, so a
// window's pointer input is offered to the hyperlinks under the pointer:
// the hand cursor over them, and presses and releases as the link's own
// mouse messages (a release goes to the link that was pressed, wherever
// it happens, so the link can tell a change of mind).
#include "toolkit/gtk_signals.h"
#include "toolkit/input_messages.h"

namespace {

constexpr const char* kPressed = "porlinex-pressed-link";
constexpr const char* kHand = "porlinex-hand-cursor";

bool IsLink(LHwnd h) { return LGetProp(h, "HLFont") != 0 && LIsWindowVisible(h); }

LHwnd LinkAt(LHwnd parent, int x, int y, int depth = 0) {
    if (depth > 16) return LHwnd::Null;
    for (LHwnd c : LGetChildren(parent)) {
        LRect r = LGetWindowRect(c);
        if (x < r.left || x >= r.right || y < r.top || y >= r.bottom || !LIsWindowVisible(c)) continue;
        if (IsLink(c)) return c;
        LHwnd inner = LinkAt(c, x, y, depth + 1);
        if (inner != LHwnd::Null) return inner;
    }
    return LHwnd::Null;
}

void Post(LHwnd link, uint32_t message, double x_root, double y_root) {
    LRect r = LGetWindowRect(link);
    LMsg m;
    m.hwnd = link;
    m.message = message;
    m.lParam = LMakePointParam(static_cast<int>(x_root) - r.left, static_cast<int>(y_root) - r.top);
    LPostInput(m);
}

gboolean OnPress(GtkWidget* widget, GdkEventButton* e, gpointer) {
    if (e->type != GDK_BUTTON_PRESS || (e->button != 1 && e->button != 3)) return FALSE;
    LHwnd link = LinkAt(LGtkHwndOf(widget), static_cast<int>(e->x_root), static_cast<int>(e->y_root));
    if (link == LHwnd::Null) return FALSE;
    g_object_set_data(G_OBJECT(widget), kPressed, GUINT_TO_POINTER(static_cast<uint32_t>(link)));
    Post(link, e->button == 1 ? LWM_LBUTTONDOWN : LWM_RBUTTONDOWN, e->x_root, e->y_root);
    return FALSE;
}

gboolean OnRelease(GtkWidget* widget, GdkEventButton* e, gpointer) {
    auto link = static_cast<LHwnd>(GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(widget), kPressed)));
    if (link == LHwnd::Null) return FALSE;
    g_object_set_data(G_OBJECT(widget), kPressed, nullptr);
    if (LIsWindow(link)) Post(link, e->button == 3 ? LWM_RBUTTONUP : LWM_LBUTTONUP, e->x_root, e->y_root);
    return FALSE;
}

gboolean OnMotion(GtkWidget* widget, GdkEventMotion* e, gpointer) {
    bool over = LinkAt(LGtkHwndOf(widget), static_cast<int>(e->x_root), static_cast<int>(e->y_root)) != LHwnd::Null;
    bool hand = g_object_get_data(G_OBJECT(widget), kHand) != nullptr;
    GdkWindow* window = gtk_widget_get_window(widget);
    if (over == hand || !window) return FALSE;
    GdkCursor* cursor = over ? gdk_cursor_new_from_name(gdk_window_get_display(window), "pointer") : nullptr;
    gdk_window_set_cursor(window, cursor);
    if (cursor) g_object_unref(cursor);
    g_object_set_data(G_OBJECT(widget), kHand, over ? GINT_TO_POINTER(1) : nullptr);
    return FALSE;
}

}  // namespace

void LGtkConnectLinkPointer(GtkWidget* toplevel) {
    gtk_widget_add_events(toplevel, GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK);
    g_signal_connect(toplevel, "button-press-event", G_CALLBACK(OnPress), nullptr);
    g_signal_connect(toplevel, "button-release-event", G_CALLBACK(OnRelease), nullptr);
    g_signal_connect(toplevel, "motion-notify-event", G_CALLBACK(OnMotion), nullptr);
}
