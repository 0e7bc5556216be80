#include "toolkit/dialog_background.h"

#include <cairo.h>

#include "toolkit/window.h"

namespace {

LResult OnErase(LWindow* window, LWParam w, LLParam, const LHookBlock& b) {
    if (!w) return 0;
    auto* background = reinterpret_cast<LDialogBackground*>(b.data);
    if (!background->Erase(window->hwnd, *reinterpret_cast<const LPaintStruct*>(w))) return 0;
    // A dialog answers through its message result.
    LSetWindowLongPtr(window->hwnd, LDWLP_MSGRESULT, 1);
    return 1;
}

// A window that paints itself (a page on the GTK backend) erases first, as
// the start of any paint does.
LResult OnPaint(LWindow* window, LWParam w, LLParam l, const LHookBlock& b) {
    OnErase(window, w, l, b);
    return 0;
}

LResult OnColor(LWindow* window, LWParam w, LLParam l, const LHookBlock& b) {
    auto* background = reinterpret_cast<LDialogBackground*>(b.data);
    auto* dc = reinterpret_cast<LColorContext*>(w);
    if (dc) LSetBkMode(dc, LTRANSPARENT);
    LHwnd control = LHwndFromParam(l);
    LPoint at{0, 0};
    if (control != window->hwnd && control != LHwnd::Null) {
        LRect r = LGetWindowRect(control);
        at = LScreenToClient(window->hwnd, {r.left, r.top});
    }
    background->brush_origin = {-at.x, -at.y};
    return LDialogBackground::Brush();
}

}  // namespace

void LDialogBackground::PatternFree::operator()(cairo_pattern_t* p) const { cairo_pattern_destroy(p); }

LDialogBackground::LDialogBackground() = default;
LDialogBackground::~LDialogBackground() = default;

LBrush LDialogBackground::Brush() { return 0x08000000; }

void LDialogBackground::Attach(LWindow* dialog) {
    intptr_t self = reinterpret_cast<intptr_t>(this);
    dialog->AddMessageHook(LWM_ERASEBKGND, OnErase, self, 0, 0);
    dialog->AddMessageHook(LWM_PAINT, OnPaint, self, 0, 0);
    for (uint32_t msg : {LWM_CTLCOLORSTATIC, LWM_CTLCOLORDLG, LWM_CTLCOLORBTN})
        dialog->AddMessageHook(msg, OnColor, self, 0, 0);
    LInvalidate(dialog->hwnd);
}

bool LDialogBackground::Erase(LHwnd dialog, const LPaintStruct& ps) {
    if (mode == kModeNothing) return true;
    auto* cr = static_cast<cairo_t*>(ps.cairo);
    if (!cr) return false;
    LRect client = LGetClientRect(dialog);
    if (client.right <= 0 || client.bottom <= 0) return false;
    if (!pattern_ || size.cx != client.right || size.cy != client.bottom) {
        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, client.right, client.bottom);
        if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
            cairo_surface_destroy(surface);
            return false;
        }
        cairo_t* target = cairo_create(surface);
        {
            LDrawContext dc(target, client, dialog);
            Paint(dc, client);
        }
        cairo_destroy(target);
        // The pattern keeps the rendering alive; the surface is ours no more.
        pattern_.reset(cairo_pattern_create_for_surface(surface));
        cairo_surface_destroy(surface);
        size = {client.right, client.bottom};
    }
    FillWith(cr, {0, 0}, client.right, client.bottom);
    return true;
}

void LDialogBackground::FillWith(void* cairo, LPoint origin, int width, int height) const {
    if (!pattern_ || !cairo) return;
    auto* cr = static_cast<cairo_t*>(cairo);
    cairo_save(cr);
    cairo_matrix_t m;
    // The pattern's point (0, 0) lands at origin in the target.
    cairo_matrix_init_translate(&m, -origin.x, -origin.y);
    cairo_pattern_set_matrix(pattern_.get(), &m);
    cairo_set_source(cr, pattern_.get());
    cairo_rectangle(cr, 0, 0, width, height);
    cairo_fill(cr);
    cairo_restore(cr);
}
