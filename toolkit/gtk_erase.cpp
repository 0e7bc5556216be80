// A top-level window's background on GTK: before its controls are drawn,
// the window is asked to erase (WM_ERASEBKGND with the draw's cairo
// context); a window that answers nothing keeps the theme's background.
#include "toolkit/gtk_signals.h"
#include "toolkit/input_messages.h"

gboolean LGtkOnEraseDraw(GtkWidget* widget, cairo_t* cr, gpointer) {
    GdkRectangle clip;
    if (!gdk_cairo_get_clip_rectangle(cr, &clip)) return FALSE;
    LPaintStruct ps;
    ps.cairo = cr;
    ps.paint = {clip.x, clip.y, clip.x + clip.width, clip.y + clip.height};
    LSendMessage(LGtkHwndOf(widget), LWM_ERASEBKGND, reinterpret_cast<LWParam>(&ps), 0);
    // The controls are drawn next, over the background.
    return FALSE;
}
