// The signals of the drawing areas that show the program's own controls:
// a draw becomes WM_PAINT (sent, since GTK paints only inside its draw
// signal), pointer input becomes the mouse messages (posted, as all input
// is).
#include "desktop/toolkit/gtk_signals.h"
#include "desktop/toolkit/input_messages.h"

namespace {

void PostMouse(GtkWidget* widget, uint32_t message, double x, double y, LWParam w) {
    LMsg m;
    m.hwnd = LGtkHwndOf(widget);
    m.message = message;
    m.wParam = w;
    m.lParam = LMakePointParam(static_cast<int>(x), static_cast<int>(y));
    LPostInput(m);
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
    return TRUE;
}

gboolean LGtkOnPointerLeave(GtkWidget* widget, GdkEventCrossing*, gpointer) {
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
                                    GDK_LEAVE_NOTIFY_MASK | GDK_SCROLL_MASK);
    g_signal_connect(area, "draw", G_CALLBACK(LGtkOnDraw), nullptr);
    g_signal_connect(area, "button-press-event", G_CALLBACK(LGtkOnPointerButton), nullptr);
    g_signal_connect(area, "button-release-event", G_CALLBACK(LGtkOnPointerButton), nullptr);
    g_signal_connect(area, "motion-notify-event", G_CALLBACK(LGtkOnPointerMotion), nullptr);
    g_signal_connect(area, "leave-notify-event", G_CALLBACK(LGtkOnPointerLeave), nullptr);
    g_signal_connect(area, "scroll-event", G_CALLBACK(LGtkOnScroll), nullptr);
}
