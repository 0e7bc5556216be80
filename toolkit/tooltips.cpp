// Hover tooltips, the closable balloon that points at an item and closes
// by itself, and the tracking link hint.
#include "toolkit/text_cut.h"
#include "toolkit/window.h"

namespace {

constexpr uint32_t kBalloonLifeMs = 15000;

// The 15-second timer: the balloon goes; the window object (the timer id)
// still exists, since it destroys its balloon, and with it this timer, when
// it goes itself.
void BalloonExpired(LHwnd tip, uint32_t, uintptr_t id, uint32_t) {
    auto* window = reinterpret_cast<LWindow*>(id);
    LDestroyWindow(tip);
    if (window->balloon.tip == tip) window->balloon = LBalloonTip{};
}

bool ClosesBalloon(uint32_t msg) {
    switch (msg) {
    case LWM_MOVE:
    case LWM_SIZE:
    case LWM_NCLBUTTONDOWN:
    case LWM_KEYDOWN:
    case LWM_COMMAND:
    case LWM_LBUTTONDOWN: return true;
    default: return false;
    }
}

// Runs once, from the 0 ms timer: the balloon's own loop, which closes it
// on the first key press, click, move or size of the thread's windows.
void BalloonLoop(LHwnd tip, uint32_t, uintptr_t id, uint32_t) {
    LSetTimer(tip, id, kBalloonLifeMs, BalloonExpired);
    LHwnd owner = LGetOwner(tip);
    while (LIsWindow(tip)) {
        LMsg m;
        int r = LGetMessage(&m);
        if (r != 1) {
            LDestroyWindow(tip);
            if (r == 0) LPostQuitMessage(static_cast<int>(m.wParam));
            break;
        }
        if (ClosesBalloon(m.message)) LDestroyWindow(tip);
        if (!LIsDialogMessage(owner, m)) {
            LTranslateMessage(m);
            LDispatchMessage(m);
        }
    }
}

}  // namespace

intptr_t LWindow::AddTooltip(LHwnd* slot, LHwnd control, const char16_t* text) {
    if (!slot) return 0;
    if (*slot == LHwnd::Null) {
        *slot = LCreateWindowEx(LWS_EX_TOPMOST, u"tooltips_class32", u"", LWS_POPUP | LTTS_ALWAYSTIP | LTTS_NOPREFIX,
                                0, 0, 0, 0, hwnd, 0);
        if (*slot == LHwnd::Null) return 0;
        LSetWindowPos(*slot, 0, 0, 0, 0, LSWP_NOMOVE | LSWP_NOSIZE | LSWP_NOACTIVATE);
    }
    LToolInfo ti;
    ti.flags = LTTF_IDISHWND | LTTF_SUBCLASS;
    ti.tool = control;
    ti.text = text ? text : u"";
    return LSendMessage(*slot, LTTM_ADDTOOL, 0, reinterpret_cast<LLParam>(&ti));
}

void LWindow::UpdateTooltipText(LHwnd* slot, int item, const char16_t* text) {
    LHwnd h = LGetDlgItem(hwnd, item);
    if (!slot || *slot == LHwnd::Null || h == LHwnd::Null) return;
    std::u16string cut = LCutText(text ? text : u"", 259);
    LToolInfo ti;
    ti.tool = h;
    ti.text = cut.c_str();
    LSendMessage(*slot, LTTM_UPDATETIPTEXT, 0, reinterpret_cast<LLParam>(&ti));
}

void LWindow::ShowBalloonTip(int item, const char16_t* text, int icon, const char16_t* title) {
    LHwnd target = LGetDlgItem(hwnd, item);
    LSendMessage(hwnd, LWM_NEXTDLGCTL, static_cast<LWParam>(target), 1);
    CloseBalloonTip(balloon);
    LHwnd tip = LCreateWindowEx(0, u"tooltips_class32", u"",
                                LWS_POPUP | LWS_BORDER | LTTS_CLOSE | LTTS_BALLOON | LTTS_NOPREFIX, 0, 0, 0, 0, hwnd, 0);
    if (tip == LHwnd::Null) return;
    LSendMessage(tip, LTTM_SETMAXTIPWIDTH, 0, 300);
    LToolInfo ti;
    ti.flags = LTTF_IDISHWND | LTTF_TRACK | LTTF_PARSELINKS;
    ti.tool = target;
    ti.text = text ? text : u"";
    LSendMessage(tip, LTTM_ADDTOOL, 0, reinterpret_cast<LLParam>(&ti));
    if (title && *title) LSendMessage(tip, LTTM_SETTITLE, static_cast<LWParam>(icon), reinterpret_cast<LLParam>(title));
    balloon.tip = tip;
    balloon.target = target;
    balloon.anchor = {};
    PositionBalloonTip(balloon);
    if (balloon.tip == tip) LSetTimer(tip, reinterpret_cast<uintptr_t>(this), 0, BalloonLoop);
}

void LWindow::PositionBalloonTip(LBalloonTip& b) {
    if (b.tip == LHwnd::Null || b.target == LHwnd::Null) return;
    if (LIsWindowVisible(hwnd) && !LIsIconic(LGetAncestorRoot(hwnd))) {
        LRect r = b.anchor.right > 0 ? b.anchor : LGetClientRect(b.target);
        LPoint p = LClientToScreen(b.target, {(r.left + r.right) / 2, (r.top + r.bottom) / 2 + 2});
        LSendMessage(b.tip, LTTM_TRACKPOSITION, 0,
                     static_cast<LLParam>(LMakeWParam(static_cast<uint32_t>(p.x), static_cast<uint32_t>(p.y))));
        LSendMessage(b.tip, LTTM_TRACKACTIVATE, 1, 0);
    } else {
        LSendMessage(b.tip, LTTM_TRACKACTIVATE, 0, 0);
        CloseBalloonTip(b);
    }
}

void LWindow::CloseBalloonTip(LBalloonTip& b) {
    if (b.tip == LHwnd::Null) return;
    LHwnd tip = b.tip;
    b = LBalloonTip{};
    LKillTimer(tip, reinterpret_cast<uintptr_t>(this));
    LDestroyWindow(tip);
}

void LWindow::TrackTipTo(LHwnd tip, int x, int y) {
    if (LIsWindowVisible(hwnd) && !LIsIconic(LGetAncestorRoot(hwnd))) {
        LSendMessage(tip, LTTM_TRACKACTIVATE, 1, 0);
        int width = static_cast<int>(LLoWord(static_cast<uintptr_t>(LSendMessage(tip, LTTM_GETBUBBLESIZE, 0, 0))));
        if (width == 0) width = 300;
        LRect wa = LGetWorkArea({x, y});
        if (x + width > wa.right) x = wa.right - width;
        LSendMessage(tip, LTTM_TRACKPOSITION, 0,
                     static_cast<LLParam>(LMakeWParam(static_cast<uint32_t>(x), static_cast<uint32_t>(y))));
    } else {
        LSendMessage(tip, LTTM_TRACKACTIVATE, 0, 0);
    }
}

void LWindow::ShowLinkHintTip(LTrackingTip& tip, LHwnd tool, int x, int y) {
    static const char16_t kHint[] = u"Click to visit our website";
    if (tip.tip == LHwnd::Null) {
        tip.tip = LCreateWindowEx(LWS_EX_TRANSPARENT, u"tooltips_class32", u"",
                                  LWS_POPUP | LWS_SYSMENU | LTTS_CLOSE | LTTS_NOPREFIX, 0, 0, 0, 0, hwnd, 0);
        if (tip.tip == LHwnd::Null) return;
        LSendMessage(tip.tip, LTTM_SETMAXTIPWIDTH, 0, 300);
        if (tool == LHwnd::Null) return;
        LToolInfo ti;
        ti.flags = LTTF_IDISHWND | LTTF_TRACK | LTTF_ABSOLUTE | LTTF_PARSELINKS;
        ti.tool = tool;
        ti.text = kHint;
        LSendMessage(tip.tip, LTTM_ADDTOOL, 0, reinterpret_cast<LLParam>(&ti));
        tip.tool = tool;
    }
    if (tool == LHwnd::Null) return;
    char16_t now[260];
    LToolInfo get;
    get.tool = tool;
    get.text_out = now;
    LSendMessage(tip.tip, LTTM_GETTEXT, 0, reinterpret_cast<LLParam>(&get));
    if (std::u16string_view(now) != kHint) {
        LToolInfo set;
        set.tool = tool;
        set.text = kHint;
        LSendMessage(tip.tip, LTTM_UPDATETIPTEXT, 0, reinterpret_cast<LLParam>(&set));
    }
    TrackTipTo(tip.tip, x, y);
}
