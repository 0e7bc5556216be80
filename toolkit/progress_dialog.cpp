#include "toolkit/progress_dialog.h"

#include <algorithm>

#include "foundation/time_source.h"
#include "toolkit/dialog_template.h"
#include "toolkit/message_box.h"

namespace {

constexpr int kIcon = 100, kLine1 = 101, kLine2 = 102, kBar = 103, kSeparator = 106, kCaption = 107;
constexpr uint32_t kStyle = LWS_POPUP | LWS_CAPTION | LWS_SYSMENU | LDS_CENTER | LDS_SETFONT | LDS_3DLOOK;

}  // namespace

LProgressDialog::LProgressDialog(const char16_t* title) : title_(title ? title : u""), icon_(LMakeIcon(1, 32)) {
    LThemeApi::Load(theme_);
}

LProgressDialog::~LProgressDialog() {
    taskbar_.Release();
    if (hwnd != LHwnd::Null) LDestroyWindow(hwnd);
}

bool LProgressDialog::Show(LHwnd parent) {
    if (hwnd != LHwnd::Null) return false;
    cancelled_ = false;
    parent_ = parent;
    if (parent != LHwnd::Null) LEnableWindow(parent, false);
    LDialogTemplate t;
    LDialogCreate create;
    LHwnd h = LHwnd::Null;
    if (LBuildDialogTemplate(t, 0, 0, title_.c_str(), kStyle, 0) && LReadDialogTemplate(t.data(), t.size(), &create))
        h = LCreateDialog(create, parent, LDialogProc, reinterpret_cast<LLParam>(this));
    if (h == LHwnd::Null) {
        if (parent != LHwnd::Null) LEnableWindow(parent, true);
        cancelled_ = true;
        return false;
    }
    LSetWindowLongPtr(h, LGWL_STYLE, LGetWindowLongPtr(h, LGWL_STYLE) & ~static_cast<intptr_t>(LWS_SYSMENU));
    top_level_ = h;
    for (LHwnd p = LGetParent(h); p != LHwnd::Null; p = LGetParent(p)) top_level_ = p;
    taskbar_.Create();
    LayOut();
    LShowWindow(h, LSW_SHOWNORMAL);
    return true;
}

void LProgressDialog::Close(LHwnd parent) {
    if (hwnd == LHwnd::Null) return;
    if (parent != LHwnd::Null) {
        LEnableWindow(parent, true);
        LSetForegroundWindow(parent);
        LSetFocus(parent);
    }
    LDestroyWindow(hwnd);
}

void LProgressDialog::RunWork(LHwnd parent) {
    if (!Show(parent)) return;
    LAliveCheck alive(this);
    DoWork();
    if (alive.Alive()) Close(parent);
}

void LProgressDialog::OnInitDialog() {
    background_.Attach(this);
    LCreateWindowFontVariant(normal_font_, hwnd, 1, false, false);
    LCreateWindowFontVariant(bold_font_, hwnd, 1, true, false);
    LHwnd icon = CreateChild(kIcon, u"Static", u"", LWS_VISIBLE | LSS_ICON, 0);
    LSendMessage(icon, LSTM_SETICON, static_cast<LWParam>(icon_), 0);
    LSetWindowFont(CreateChild(kLine1, u"Static", u"", LWS_VISIBLE | LSS_NOPREFIX, 0), bold_font_, true);
    LSetWindowFont(CreateChild(kLine2, u"Static", u"", LWS_VISIBLE | LSS_NOPREFIX, 0), normal_font_, true);
    LSendMessage(CreateChild(kBar, u"msctls_progress32", u"", LWS_VISIBLE, 0), LPBM_SETRANGE, 0,
                 static_cast<LLParam>(LMakeWParam(0, 100)));
    CreateChild(kSeparator, u"Static", u"", LWS_VISIBLE | LSS_ETCHEDFRAME, LWS_EX_TRANSPARENT);
    LSetWindowFont(CreateChild(kCaption, u"Static", u"Porlinex", LWS_VISIBLE | LSS_NOPREFIX, 0), normal_font_, true);
    LSetWindowFont(CreateChild(LIDCANCEL, u"Button", u"Cancel", LWS_VISIBLE | LWS_TABSTOP | LBS_CENTER, 0),
                   normal_font_, true);
}

void LProgressDialog::LayOut() {
    auto X = [this](int n) { return DialogUnitsToPixelsX(n); };
    auto Y = [this](int n) { return DialogUnitsToPixelsY(n); };
    int W = X(292), M = X(7), C = W - 2 * X(7), T = C - X(7) - 32;
    int h1 = GetItemWrappedTextHeight(kLine1, u" ", T);
    int h2 = GetItemWrappedTextHeight(kLine2, u" ", T);
    int g = Y(2), B = h1 + g + h2;
    int y0 = Y(7);
    int icon_y = y0 + (B > 32 ? (B - 32) / 2 : 0);
    int text_top = y0 + (B < 32 ? (32 - B) / 2 : 0);
    MoveItem(kIcon, M, icon_y, 32, 32);
    MoveItem(kLine1, M + X(7) + 32, text_top, T, h1);
    MoveItem(kLine2, M + X(7) + 32, text_top + h1 + g, T, h2);
    int y = y0 + std::max(B, 32) + Y(7);
    MoveItem(kBar, X(7), y, C, Y(9));
    y += Y(9);
    y += Y(7);
    MoveItem(kSeparator, 0, y, W, 1);
    MoveItem(LIDCANCEL, X(7) + C - X(60), y + Y(7) + 1, X(60), Y(16));
    char16_t caption[260];
    GetItemText(kCaption, caption);
    MoveItem(kCaption, X(7), y + Y(7) + Y(4) + 1, C - X(60) - X(4), GetItemWrappedTextHeight(kCaption, caption, T));
    SetClientSize(W, Y(16) + Y(7) + y + Y(7) + 1);
    CenterOnParent();
}

void LProgressDialog::OnDestroy() {
    LModelessDialog::OnDestroy();
    taskbar_.SetState(LTaskbarState::None);
    cancelled_ = true;
}

bool LProgressDialog::OnCancel() {
    cancelled_ = true;
    return false;
}

bool LProgressDialog::Context::IsStopRequested() {
    LMsg m;
    while (owner_->hwnd != LHwnd::Null && LPeekMessage(&m, true)) {
        if (m.message == LWM_QUIT) {
            LPostQuitMessage(static_cast<int>(m.wParam));
            break;
        }
        LAliveCheck alive(owner_);
        if (!LIsDialogMessage(owner_->hwnd, m)) {
            LTranslateMessage(m);
            LDispatchMessage(m);
        }
        if (!alive.Alive()) return true;
        owner_->FlushDeferredDeletes();
    }
    return owner_->hwnd == LHwnd::Null || owner_->cancelled_;
}

uint32_t LProgressDialog::Context::Wait(const LHandle* handles, uint32_t n, uint32_t ms, uint32_t timeout_result) {
    uint64_t start = LTickCount64();
    uint32_t remaining = ms;
    for (;;) {
        // A window that is gone can never be cancelled again: that is a
        // stop, answered at once instead of at the time-out.
        if (owner_->hwnd == LHwnd::Null) return LWaitStopped;
        int r = LMsgWaitForMultiple(handles, n, remaining);
        if (r >= 0 && static_cast<uint32_t>(r) < n) return LWaitDone;
        if (r == LWaitTimeoutResult) return timeout_result;
        if (r == LWaitFailedResult) return LWaitFailed;
        if (IsStopRequested()) return LWaitStopped;
        if (ms != LInfinite) {
            uint64_t spent = LTickCount64() - start;
            if (spent >= ms) return timeout_result;
            remaining = static_cast<uint32_t>(ms - spent);
        }
    }
}

uint32_t LProgressDialog::Context::WaitStop(uint32_t ms) { return Wait(nullptr, 0, ms, LWaitDone); }

uint32_t LProgressDialog::Context::WaitHandle(LHandle h, uint32_t ms) { return Wait(&h, 1, ms, LWaitFailed); }

uint32_t LProgressDialog::Context::WaitHandles(LHandleList& list, uint32_t ms) {
    return Wait(list.handles, std::min<uint32_t>(list.count, 63), ms, LWaitFailed);
}

void LProgressDialog::Context::ShowError(const char16_t* text) {
    owner_->taskbar_.SetState(LTaskbarState::Error);
    LSendMessage(LGetDlgItem(owner_->hwnd, kBar), LPBM_SETSTATE, LPBST_ERROR, 0);
    LMessageBox(owner_->hwnd, text, u"Error", LMB_ICONERROR);
}

void LProgressDialog::Context::SetStatusText(const char16_t* text, int line) {
    if (line == 0) owner_->SetItemText(kLine1, text);
    else if (line == 1) owner_->SetItemText(kLine2, text);
}

void LProgressDialog::Context::SetProgress(double fraction) {
    int percent = static_cast<int>(fraction * 100);
    owner_->taskbar_.SetValue(static_cast<uint64_t>(std::max(percent, 0)), 100);
    LHwnd bar = LGetDlgItem(owner_->hwnd, kBar);
    // Going one past and back makes the bar draw the last step at once
    // instead of animating towards it.
    if (percent > 98) LSendMessage(bar, LPBM_SETPOS, static_cast<LWParam>(percent + 1), 0);
    LSendMessage(bar, LPBM_SETPOS, static_cast<LWParam>(percent), 0);
}

void LProgressDialog::Context::StartMarquee() {
    owner_->taskbar_.SetState(LTaskbarState::Indeterminate);
    LHwnd bar = LGetDlgItem(owner_->hwnd, kBar);
    intptr_t style = LGetWindowLongPtr(bar, LGWL_STYLE);
    if (!(style & LPBS_MARQUEE)) LSetWindowLongPtr(bar, LGWL_STYLE, style | LPBS_MARQUEE);
    LSendMessage(bar, LPBM_SETMARQUEE, 1, 100);
}

void LProgressDialog::Context::StopMarquee() {
    owner_->taskbar_.SetState(LTaskbarState::None);
    LHwnd bar = LGetDlgItem(owner_->hwnd, kBar);
    LSetWindowLongPtr(bar, LGWL_STYLE, LGetWindowLongPtr(bar, LGWL_STYLE) & ~static_cast<intptr_t>(LPBS_MARQUEE));
    LSendMessage(bar, LPBM_SETMARQUEE, 0, 0);
}
