// The dialog classes: modal runs from empty templates, the modeless close,
// and the property page's handling before its page procedure.
#include "toolkit/dialog_template.h"
#include "toolkit/window.h"

void LDialog::End(intptr_t result) {
    OnDestroy();
    LHwnd h = hwnd;
    hwnd = LHwnd::Null;
    LEndDialog(h, result);
}

LResult LDialog::HandleMessage(uint32_t msg, LWParam w, LLParam l) {
    LAliveCheck alive(this);
    LHwnd h = hwnd;
    LResult r = LWindow::HandleMessage(msg, w, l);
    if (!alive.Alive()) return r;
    if (msg == LWM_INITDIALOG) LSendMessage(h, LWM_POSTAFTERINIT, 0, 0);
    // Every size change lays the dialog out again, so texts re-flow.
    if (msg == LWM_SIZE && w != LSIZE_MINIMIZED && hwnd != LHwnd::Null)
        ApplyLayout(0, 0, static_cast<int>(LLoWord(static_cast<uintptr_t>(l))),
                    static_cast<int>(LHiWord(static_cast<uintptr_t>(l))));
    return r;
}

void LDialog::ApplyLayout(int x, int y, int width, int height) {
    if (layout.HasCells()) layout.MoveTo(this, x, y, width, height);
}

intptr_t LDialog::RunModalResult(LDialog* object, LHwnd owner, float chars, float lines) {
    LDialogTemplate t;
    constexpr uint32_t kStyle = 0x92C82084;
    constexpr uint32_t kExStyle = 0x401;
    bool built = chars > 0 || lines > 0 ? LBuildDialogTemplateUnits(t, chars, lines, kStyle, kExStyle)
                                        : LBuildDialogTemplate(t, 0, 0, nullptr, kStyle, kExStyle);
    LDialogCreate create;
    if (!built || !LReadDialogTemplate(t.data(), t.size(), &create)) return -1;
    return LDialogBox(create, owner, LDialogProc, reinterpret_cast<LLParam>(object));
}

bool LDialog::RunModal(LDialog* object, LHwnd owner) { return RunModalResult(object, owner, 0, 0) == LIDOK; }

bool LDialog::RunModalSized(LDialog* object, LHwnd owner, float chars, float lines) {
    return RunModalResult(object, owner, chars, lines) == LIDOK;
}

void LModelessDialog::Close() {
    if (hwnd != LHwnd::Null) LDestroyWindow(hwnd);
}

void LPropertyPage::End(intptr_t) {
    LPostMessage(LGetParent(hwnd), LPSM_PRESSBUTTON, LPSBTN_CANCEL, 0);
}

LResult LPropertyPage::HandleMessage(uint32_t msg, LWParam w, LLParam l) {
    switch (msg) {
    case LWM_ENABLE: {
        // The sheet's frame window: the page's grandparent's parent.
        LHwnd frame = LGetParent(LGetParent(LGetParent(hwnd)));
        if (frame == LHwnd::Null) frame = LGetParent(hwnd);
        LEnableWindow(frame, w != 0);
        break;
    }
    case LWM_NOTIFY: {
        auto* nh = reinterpret_cast<const LNotifyHeader*>(l);
        if (!nh) break;
        LHwnd sheet = LGetParent(hwnd);
        if (nh->from != sheet && nh->from != hwnd) break;
        if (nh->code == LPSN_WIZNEXT || nh->code == LPSN_WIZFINISH) {
            LAliveCheck alive(this);
            bool ok = OnOk();
            if (alive.Alive()) LSetWindowLongPtr(hwnd, LDWLP_MSGRESULT, ok ? 0 : -1);
            return 1;
        }
        if (nh->code == LPSN_SETACTIVE) {
            LPostMessage(sheet, LPSM_SETWIZBUTTONS, 0, static_cast<LLParam>(wizard_buttons));
            LAliveCheck alive(this);
            OnActivate();
            if (alive.Alive()) UpdateControls();
            if (alive.Alive()) LSetWindowLongPtr(hwnd, LDWLP_MSGRESULT, 0);
            return 1;
        }
        break;
    }
    case LWM_HELP:
        if (!has_help) return 1;
        break;
    case LWM_CTLCOLORBTN:
    case LWM_CTLCOLORDLG:
    case LWM_CTLCOLORSTATIC: {
        LResult r = LDialog::HandleMessage(msg, w, l);
        if (themed_ < 0) {
            LThemeApi api;
            api.window = hwnd;
            themed_ = LThemeApi::Load(api) && api.CanOpenTheme() ? 1 : 0;
        }
        if (!themed_) return r;
        LSetBkMode(reinterpret_cast<LColorContext*>(w), LTRANSPARENT);
        return LSysColorBrush(LCOLOR_WINDOW);
    }
    case LWM_THEMECHANGED: themed_ = -1; break;
    default: break;
    }
    return BaseHandleMessage(msg, w, l);
}

int LPropertySheetCallback(LHwnd, uint32_t, LLParam) { return 1; }

LResult LHiddenWindowProc(LHwnd h, uint32_t msg, LWParam w, LLParam l) {
    if (msg == LWM_OPENREQUEST)
        return LSendMessage(LHwndFromParam(LGetWindowLongPtr(h, LGWLP_USERDATA)), msg, w, l);
    return LDefWindowProc(h, msg, w, l);
}
