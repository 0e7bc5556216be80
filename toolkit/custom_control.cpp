#include "toolkit/custom_control.h"

#include <cairo.h>

#include <algorithm>

#include "toolkit/object_class_proc.h"
#include "toolkit/window.h"

uint32_t LKeyCodeWithModifiers(uint32_t virtual_key) {
    uint32_t m = LGetKeyModifiers();
    uint32_t code = virtual_key & 0xFFFF;
    if (m & LModCtrl) code |= LKEY_CTRL;
    if (m & LModAlt) code |= LKEY_ALT;
    if (m & LModShift) code |= LKEY_SHIFT;
    return code;
}

LResult LCustomControlClassProc(LHwnd h, uint32_t msg, LWParam w, LLParam l) {
    return LObjectClassProc<LCustomControl>(h, msg, w, l);
}

LCustomControl::LCustomControl() {
    // Every construction registers; registering again is harmless.
    LRegisterClass(u"LPC", LCustomControlClassProc);
}

LCustomControl::~LCustomControl() { Detach(); }

void LCustomControl::Detach() {
    if (hwnd != LHwnd::Null && LIsWindow(hwnd) &&
        LGetWindowLongPtr(hwnd, LGWLP_USERDATA) == reinterpret_cast<intptr_t>(this))
        LSetWindowLongPtr(hwnd, LGWLP_USERDATA, 0);
    hwnd = LHwnd::Null;
}

void LCustomControl::Attach(LWindow* o, int item_id) {
    owner = o;
    hwnd = o ? LGetDlgItem(o->hwnd, item_id) : LHwnd::Null;
    if (hwnd == LHwnd::Null) return;
    LRect r = LGetClientRect(hwnd);
    width = r.Width();
    height = r.Height();
    LSetWindowLongPtr(hwnd, LGWLP_USERDATA, reinterpret_cast<intptr_t>(this));
}

int LCustomControl::CharsToPixelsX(int n) const {
    if (!owner) return n * 6;
    return LMapDialogRect(owner->hwnd, {0, 0, n * 4, 0}).right;
}

int LCustomControl::LinesToPixelsY(int n) const {
    if (!owner) return n * 13;
    return LMapDialogRect(owner->hwnd, {0, 0, 0, n * 8}).bottom;
}

LResult LCustomControl::WndProc(LHwnd h, uint32_t msg, LWParam w, LLParam l) {
    int x = LParamX(l), y = LParamY(l);
    switch (msg) {
    case LWM_DESTROY: tracking = false; return 0;
    case LWM_SIZE:
        width = static_cast<int>(LLoWord(static_cast<uintptr_t>(l)));
        height = static_cast<int>(LHiWord(static_cast<uintptr_t>(l)));
        OnSize();
        return 0;
    case LWM_SETFOCUS:
    case LWM_KILLFOCUS:
    case LWM_ENABLE: LInvalidate(h); return 0;
    case LWM_PAINT:
        if (w) OnPaint(*reinterpret_cast<const LPaintStruct*>(w));
        return 0;
    case LWM_ERASEBKGND: return 1;
    case LWM_KEYDOWN:
    case LWM_SYSKEYDOWN: {
        uint32_t key = LKeyCodeWithModifiers(static_cast<uint32_t>(w));
        bool handled = !(l & LKEY_REPEAT_BIT) && OnKeyDown(key);
        if (!handled) handled = OnKeyDownUnhandled(key);
        if (handled) return 1;
        break;
    }
    case LWM_KEYUP:
    case LWM_SYSKEYUP: OnKeyUp(static_cast<uint32_t>(w)); return 0;
    case LWM_CHAR: OnChar(static_cast<char16_t>(w)); return 0;
    case LWM_COMMAND: OnCommand(static_cast<int>(LLoWord(w)), static_cast<int>(LHiWord(w))); return 0;
    case LWM_MOUSEMOVE:
        if (!tracking) {
            tracking = true;
            OnMouseEnter();
        }
        OnMouseMove(x, y);
        return 0;
    case LWM_MOUSEHOVER:
        if (tracking) OnMouseHover(x, y);
        return 0;
    case LWM_MOUSELEAVE:
        if (tracking) {
            tracking = false;
            OnMouseLeave();
        }
        return 0;
    case LWM_LBUTTONDOWN: OnLButtonDown(x, y); return 0;
    case LWM_LBUTTONUP: OnLButtonUp(x, y); return 0;
    case LWM_LBUTTONDBLCLK: OnLButtonDblClk(x, y); return 0;
    case LWM_RBUTTONDOWN: OnRButtonDown(x, y); return 0;
    case LWM_RBUTTONUP: OnRButtonUp(x, y); return 0;
    case LWM_MBUTTONDOWN: OnMButtonDown(x, y); return 0;
    case LWM_MBUTTONUP: OnMButtonUp(x, y, static_cast<uint32_t>(w)); return 0;
    case LWM_MOUSEWHEEL:
    case LWM_MOUSEHWHEEL: {
        LPoint p = LScreenToClient(h, {x, y});
        int delta = static_cast<int16_t>(LHiWord(w));
        if (msg == LWM_MOUSEWHEEL) OnMouseWheel(p.x, p.y, delta);
        else OnMouseHWheel(p.x, p.y, delta);
        return 0;
    }
    default: break;
    }
    return LDefWindowProc(h, msg, w, l);
}

void LCustomControl::OnPaint(const LPaintStruct& ps) {
    auto* cr = static_cast<cairo_t*>(ps.cairo);
    if (!cr) return;
    LRect r = ps.paint;
    r.right = std::min(r.right, width);
    r.left = std::max(r.left, 0);
    LDrawContext context(cr, r, hwnd);
    if (owner) {
        LFont f = LGetWindowFont(owner->hwnd);
        context.SetFont(f ? *f : LDefaultDialogFont());
    }
    Paint(context);
}

void LCustomControl::PaintDoubleBuffered(LDrawContext& context) {
    LDoubleBufferedContext memory(context);
    DrawContent(memory);
}
