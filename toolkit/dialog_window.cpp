// Dialog windows: creation from a template's header, the dialog class's
// default handling, the modal loop and the dialog keys (Tab, Enter, Escape).
#include <algorithm>

#include "toolkit/window_layer.h"
#include "toolkit/window_record.h"

namespace {

bool IsPushButton(const LWnd& w) {
    if (!LClassIs(w, u"Button")) return false;
    uint32_t t = w.style & LBS_TYPEMASK;
    return t == LBS_PUSHBUTTON || t == LBS_DEFPUSHBUTTON || t == LBS_COMMANDLINK;
}

bool ReturnsProcValue(uint32_t msg) {
    switch (msg) {
    case LWM_CTLCOLOREDIT:
    case LWM_CTLCOLORBTN:
    case LWM_CTLCOLORDLG:
    case LWM_CTLCOLORSTATIC:
    case LWM_INITDIALOG: return true;
    default: return false;
    }
}

LHwnd NextTabItem(LHwnd dlg, LHwnd from, bool backwards);

LResult DefDialogProc(LHwnd h, uint32_t msg, LWParam w, LLParam l) {
    switch (msg) {
    case LWM_CLOSE:
        LSendMessage(h, LWM_COMMAND, LMakeWParam(LIDCANCEL, LBN_CLICKED), LHwndToParam(LGetDlgItem(h, LIDCANCEL)));
        return 0;
    case LDM_GETDEFID: {
        LWndRef wnd = LWndFind(h);
        return wnd ? static_cast<LResult>(LMakeWParam(static_cast<uint32_t>(wnd->def_id), 0x534B)) : 0;
    }
    case LWM_NEXTDLGCTL: {
        LHwnd target = (l & 0xFFFF) ? static_cast<LHwnd>(static_cast<uint32_t>(w))
                                    : NextTabItem(h, LGetFocus(), w != 0);
        if (target != LHwnd::Null) LSetFocus(target);
        return 0;
    }
    case LDM_SETDEFID:
        if (LWndRef wnd = LWndFind(h)) wnd->def_id = static_cast<int>(w);
        return 1;
    case LWM_CTLCOLOREDIT:
    case LWM_CTLCOLORBTN:
    case LWM_CTLCOLORDLG:
    case LWM_CTLCOLORSTATIC: return 0;
    default: return LDefWindowProc(h, msg, w, l);
    }
}

// Tab order: the dialog's visible, enabled children with WS_TABSTOP.
LHwnd NextTabItem(LHwnd dlg, LHwnd from, bool backwards) {
    std::vector<LHwnd> stops;
    for (LHwnd c : LGetChildren(dlg)) {
        LWndRef w = LWndFind(c);
        if (w && (w->style & LWS_TABSTOP) && LIsWindowVisible(c) && w->enabled) stops.push_back(c);
    }
    if (stops.empty()) return LHwnd::Null;
    auto it = std::find(stops.begin(), stops.end(), from);
    if (it == stops.end()) return backwards ? stops.back() : stops.front();
    size_t i = static_cast<size_t>(it - stops.begin());
    size_t n = stops.size();
    return stops[backwards ? (i + n - 1) % n : (i + 1) % n];
}

bool IsDescendant(LHwnd root, LHwnd h) {
    for (LHwnd p = h; p != LHwnd::Null; p = LGetParent(p)) {
        if (p == root) return true;
        LWndRef w = LWndFind(p);
        if (!w || !(w->style & LWS_CHILD)) return false;
    }
    return false;
}

}  // namespace

LResult LDialogClassProc(LHwnd h, uint32_t msg, LWParam w, LLParam l) {
    LWndRef wnd = LWndFind(h);
    if (!wnd) return 0;
    LDlgProc proc = wnd->dlgproc;
    wnd.reset();
    intptr_t r = proc ? proc(h, msg, w, l) : 0;
    if (ReturnsProcValue(msg) && r) return r;
    if (r) {
        LWndRef again = LWndFind(h);
        return again ? again->dlg_result : 0;
    }
    if (msg == LWM_INITDIALOG) return 0;
    return DefDialogProc(h, msg, w, l);
}

LHwnd LCreateDialog(const LDialogCreate& t, LHwnd owner, LDlgProc proc, LLParam param) {
    if (!LWindowLayerIsOpen()) return LHwnd::Null;
    LFontDesc font = LGetInterfaceFont();
    if (t.points > 0) font.points = t.points;
    // The template's logical shell font is the desktop's interface font;
    // any other face is asked for by name.
    if (!t.face.empty() && t.face != u"MS Shell Dlg 2" && t.face != u"MS Shell Dlg") {
        font.family.clear();
        for (char16_t c : t.face) font.family.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
    LFontMetrics m = LGetFontMetrics(font);
    int cx = static_cast<int>((static_cast<int64_t>(t.cx) * m.ave_char_width + 2) / 4);
    int cy = static_cast<int>((static_cast<int64_t>(t.cy) * m.height + 4) / 8);
    uint32_t style = (t.style & ~LWS_VISIBLE & ~LWS_CHILD) | LWS_POPUP;
    LHwnd h = LCreateWindowEx(t.exstyle, u"#32770", t.title.c_str(), style, 0, 0, 0, 0, owner, 0, 0);
    LWndRef w = LWndFind(h);
    if (!w) return LHwnd::Null;
    w->is_dialog = true;
    w->dlgproc = proc;
    w->font = LMakeFont(font);
    LRect in = LBackend()->FrameInsets(*w);
    int width = cx + in.left + in.right;
    int height = cy + in.top + in.bottom;
    int x = static_cast<int>((static_cast<int64_t>(t.x) * m.ave_char_width + 2) / 4);
    int y = static_cast<int>((static_cast<int64_t>(t.y) * m.height + 4) / 8);
    if (LWndRef o = LWndFind(owner)) {
        x += o->rect.left;
        y += o->rect.top;
    }
    if (t.style & LDS_CENTER) {
        LRect wa = LGetWorkArea({x, y});
        x = wa.left + (wa.Width() - width) / 2;
        y = wa.top + (wa.Height() - height) / 2;
    }
    w->rect = {x, y, x + width, y + height};
    LBackend()->Changed(*w, LChangeRect | LChangeFont);
    w.reset();
    LResult focus_default = LSendMessage(h, LWM_INITDIALOG, 0, param);
    if (!LIsWindow(h)) return LHwnd::Null;
    if (focus_default) {
        LHwnd first = NextTabItem(h, LHwnd::Null, false);
        if (first != LHwnd::Null) LSetFocus(first);
    }
    LInvalidate(h);
    if (t.style & LWS_VISIBLE) LShowWindow(h, LSW_SHOW);
    return h;
}

bool LEndDialog(LHwnd dlg, intptr_t result) {
    LWndRef w = LWndFind(dlg);
    if (!w || !w->is_dialog) return false;
    w->dialog_ended = true;
    w->end_result = result;
    // The modal loop may be asleep; a null message wakes it to notice.
    LPostMessage(dlg, LWM_NULL, 0, 0);
    return true;
}

intptr_t LDialogBox(const LDialogCreate& t, LHwnd owner, LDlgProc proc, LLParam param) {
    LDialogCreate visible = t;
    visible.style |= LWS_VISIBLE;
    bool owner_was_enabled = owner != LHwnd::Null && LIsWindowEnabled(owner);
    if (owner_was_enabled) LEnableWindow(owner, false);
    LHwnd h = LCreateDialog(visible, owner, proc, param);
    intptr_t result = -1;
    if (h != LHwnd::Null) {
        result = 0;
        for (;;) {
            LWndRef w = LWndFind(h);
            if (!w) break;
            if (w->dialog_ended) {
                result = w->end_result;
                break;
            }
            w.reset();
            LMsg m;
            int r = LGetMessage(&m);
            if (r <= 0) {
                // A quit request ends the dialog and is left for the outer loop.
                if (r == 0) LPostQuitMessage(static_cast<int>(m.wParam));
                break;
            }
            if (!LIsDialogMessage(h, m)) {
                LTranslateMessage(m);
                LDispatchMessage(m);
            }
        }
    }
    if (owner_was_enabled) {
        LEnableWindow(owner, true);
        if (LIsWindowVisible(owner)) LSetForegroundWindow(owner);
    }
    LDestroyWindow(h);
    return result;
}

bool LIsDialogMessage(LHwnd dlg, const LMsg& msg) {
    if (!LIsWindow(dlg) || msg.hwnd == LHwnd::Null || !IsDescendant(dlg, msg.hwnd)) return false;
    if (msg.message == LWM_KEYDOWN && !msg.system_handled) {
        switch (msg.wParam) {
        case LVK_TAB: {
            LHwnd next = NextTabItem(dlg, LGetFocus(), (msg.modifiers & LModShift) != 0);
            if (next != LHwnd::Null) LSetFocus(next);
            return true;
        }
        case LVK_RETURN: {
            LWndRef focus = LWndFind(LGetFocus());
            int id;
            if (focus && IsPushButton(*focus) && IsDescendant(dlg, focus->handle)) id = static_cast<int>(focus->id);
            else id = static_cast<int>(LLoWord(static_cast<uintptr_t>(LSendMessage(dlg, LDM_GETDEFID, 0, 0))));
            LHwnd item = LGetDlgItem(dlg, id);
            if (item != LHwnd::Null && !LIsWindowEnabled(item)) return true;
            LSendMessage(dlg, LWM_COMMAND, LMakeWParam(static_cast<uint32_t>(id), LBN_CLICKED), LHwndToParam(item));
            return true;
        }
        case LVK_ESCAPE:
            LSendMessage(dlg, LWM_COMMAND, LMakeWParam(LIDCANCEL, LBN_CLICKED),
                         LHwndToParam(LGetDlgItem(dlg, LIDCANCEL)));
            return true;
        default: break;
        }
    }
    LDispatchMessage(msg);
    return true;
}
