// The signals of the drawing areas that show the program's own controls:
// a draw becomes WM_PAINT (sent, since GTK paints only inside its draw
// signal), pointer input becomes the mouse messages (posted, as all input
// is). A pointer that rests on a control for the hover time gives one
// WM_MOUSEHOVER; it must move out of the hover square and rest again for
// the next.
#include "toolkit/gtk_signals.h"
#include "toolkit/input_messages.h"

namespace {

void PostMouse(GtkWidget* widget, uint32_t message, double x, double y, LWParam w) {
    LMsg m;
    m.hwnd = LGtkHwndOf(widget);
    m.message = message;
    m.wParam = w;
    m.lParam = LMakePointParam(static_cast<int>(x), static_cast<int>(y));
    LPostInput(m);
}

// The system's default hover time and the square the pointer may move in
// while still resting.
constexpr guint kHoverMs = 400;
constexpr double kHoverSquare = 4;

// One control's rest: the point it started at and the pending timer. Once
// the hover is posted the point stays, so resting on counts only once.
struct Hover {
    GtkWidget* widget = nullptr;
    guint timer = 0;
    bool resting = false;
    double x = 0, y = 0;
    ~Hover() {
        if (timer) g_source_remove(timer);
    }
};

Hover* HoverOf(GtkWidget* widget) { return static_cast<Hover*>(g_object_get_data(G_OBJECT(widget), "lhover")); }

gboolean OnHoverTime(gpointer data) {
    auto* h = static_cast<Hover*>(data);
    h->timer = 0;
    if (LGtkHwndOf(h->widget) != LHwnd::Null) PostMouse(h->widget, LWM_MOUSEHOVER, h->x, h->y, 0);
    return G_SOURCE_REMOVE;
}

void NoteMotion(GtkWidget* widget, double x, double y) {
    Hover* h = HoverOf(widget);
    if (!h) return;
    constexpr double half = kHoverSquare / 2;
    if (h->resting && x >= h->x - half && x <= h->x + half && y >= h->y - half && y <= h->y + half) return;
    if (h->timer) g_source_remove(h->timer);
    h->resting = true;
    h->x = x;
    h->y = y;
    h->timer = g_timeout_add(kHoverMs, OnHoverTime, h);
}

void StopHover(GtkWidget* widget) {
    Hover* h = HoverOf(widget);
    if (!h) return;
    if (h->timer) g_source_remove(h->timer);
    h->timer = 0;
    h->resting = false;
}

}  // namespace

gboolean LGtkOnDraw(GtkWidget* widget, cairo_t* cr, gpointer) {
    GdkRectangle clip;
    if (!gdk_cairo_get_clip_rectangle(cr, &clip)) return TRUE;
    LPaintStruct ps;
    ps.cairo = cr;
    ps.paint = {clip.x, clip.y, clip.x + clip.width, clip.y + clip.height};
    LSendMessage(LGtkHwndOf(widget), LWM_PAINT, reinterpret_cast<LWParam>(&ps), 0);
    return TRUE;
}

gboolean LGtkOnPointerButton(GtkWidget* widget, GdkEventButton* e, gpointer) {
    bool press = e->type == GDK_BUTTON_PRESS;
    bool twice = e->type == GDK_2BUTTON_PRESS;
    if (!press && !twice && e->type != GDK_BUTTON_RELEASE) return FALSE;
    uint32_t message;
    switch (e->button) {
    case 1: message = twice ? LWM_LBUTTONDBLCLK : press ? LWM_LBUTTONDOWN : LWM_LBUTTONUP; break;
    case 2: message = press ? LWM_MBUTTONDOWN : LWM_MBUTTONUP; break;
    case 3: message = press ? LWM_RBUTTONDOWN : LWM_RBUTTONUP; break;
    default: return FALSE;
    }
    if (twice && e->button != 1) return FALSE;
    PostMouse(widget, message, e->x, e->y, 0);
    return TRUE;
}

gboolean LGtkOnPointerMotion(GtkWidget* widget, GdkEventMotion* e, gpointer) {
    PostMouse(widget, LWM_MOUSEMOVE, e->x, e->y, 0);
    NoteMotion(widget, e->x, e->y);
    return TRUE;
}

// The pointer arriving over a control is a move onto it (a warped pointer
// brings no motion event of its own).
gboolean LGtkOnPointerEnter(GtkWidget* widget, GdkEventCrossing* e, gpointer) {
    PostMouse(widget, LWM_MOUSEMOVE, e->x, e->y, 0);
    NoteMotion(widget, e->x, e->y);
    return FALSE;
}

gboolean LGtkOnPointerLeave(GtkWidget* widget, GdkEventCrossing*, gpointer) {
    StopHover(widget);
    PostMouse(widget, LWM_MOUSELEAVE, 0, 0, 0);
    return FALSE;
}

gboolean LGtkOnScroll(GtkWidget* widget, GdkEventScroll* e, gpointer) {
    // Wheel messages carry screen coordinates and a delta of 120 a notch.
    int delta;
    uint32_t message = LWM_MOUSEWHEEL;
    switch (e->direction) {
    case GDK_SCROLL_UP: delta = 120; break;
    case GDK_SCROLL_DOWN: delta = -120; break;
    case GDK_SCROLL_LEFT: delta = -120; message = LWM_MOUSEHWHEEL; break;
    case GDK_SCROLL_RIGHT: delta = 120; message = LWM_MOUSEHWHEEL; break;
    default: return FALSE;
    }
    PostMouse(widget, message, e->x_root, e->y_root, LMakeWParam(0, static_cast<uint32_t>(delta)));
    return TRUE;
}

void LGtkConnectDrawingArea(GtkWidget* area) {
    gtk_widget_add_events(area, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK |
                                    GDK_ENTER_NOTIFY_MASK | GDK_LEAVE_NOTIFY_MASK | GDK_SCROLL_MASK);
    auto* hover = new Hover;
    hover->widget = area;
    g_object_set_data_full(G_OBJECT(area), "lhover", hover, [](gpointer h) { delete static_cast<Hover*>(h); });
    g_signal_connect(area, "draw", G_CALLBACK(LGtkOnDraw), nullptr);
    g_signal_connect(area, "button-press-event", G_CALLBACK(LGtkOnPointerButton), nullptr);
    g_signal_connect(area, "button-release-event", G_CALLBACK(LGtkOnPointerButton), nullptr);
    g_signal_connect(area, "motion-notify-event", G_CALLBACK(LGtkOnPointerMotion), nullptr);
    g_signal_connect(area, "enter-notify-event", G_CALLBACK(LGtkOnPointerEnter), nullptr);
    g_signal_connect(area, "leave-notify-event", G_CALLBACK(LGtkOnPointerLeave), nullptr);
    g_signal_connect(area, "scroll-event", G_CALLBACK(LGtkOnScroll), nullptr);
}
