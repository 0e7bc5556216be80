// The scroll bars of the program's own controls: GTK tells what the user
// asked of a bar (a step, a page, a jump of the thumb, an end) before it
// moves anything; that becomes the bar message with its code, and the
// window's answer (the position it sets) is what moves the bar.
#include "desktop/toolkit/gtk_signals.h"
#include "desktop/toolkit/input_messages.h"

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

}  // namespace

void LGtkConnectScrollBar(GtkWidget* bar, int which) {
    g_signal_connect(bar, "change-value", G_CALLBACK(OnChangeValue), GINT_TO_POINTER(which));
}
