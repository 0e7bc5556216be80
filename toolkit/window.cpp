// The window base: binding through the common dialog procedure, message
// hooks, owned objects and the base message handler.
#include "toolkit/window.h"

#include <algorithm>

#include "foundation/log.h"
#include "foundation/reg_settings.h"

namespace {

// The message the common dialog procedure is handling; meaningful on the
// window thread only.
uint32_t g_current_message = 0;

}  // namespace

uint32_t LCurrentMessage() { return g_current_message; }

__attribute__((weak)) void LOpenHelpTopic(const char* topic) {
    LLogWarningF("LOpenHelpTopic(%s): not available.", topic);
}

LWindow::LWindow() = default;

LWindow::~LWindow() {
    *alive_ = false;
    mouse_tracking = nullptr;
    // The window may outlive its object; its procedure must not find us.
    if (LIsWindow(bound) && LGetWindowLongPtr(bound, LDWLP_USER) == reinterpret_cast<intptr_t>(this))
        LSetWindowLongPtr(bound, LDWLP_USER, 0);
    hwnd = LHwnd::Null;
    FlushDeferredDeletes();
    FreeMessageHooks();
    menu_help_.clear();
    if (menu_help_tip != LHwnd::Null) LDestroyWindow(menu_help_tip);
    if (balloon.tip != LHwnd::Null) LDestroyWindow(balloon.tip);
}

void LWindow::OnHelp() { LOpenHelpTopic("index"); }

void LWindow::SavePlacement(const char16_t* section) {
    LWindowPlacement p;
    LRect r = LGetWindowRect(hwnd);
    p.maximized = LIsZoomed(hwnd);
    p.left = r.left;
    p.top = r.top;
    p.right = r.right;
    p.bottom = r.bottom;
    LSaveWindowPlacement(p, section);
}

void LWindow::AddMessageHook(uint32_t msg, LMessageHookProc callback, intptr_t data, intptr_t value, intptr_t extra) {
    auto h = std::make_shared<Hook>();
    h->msg = msg;
    h->callback = callback;
    h->block = {data, value, extra};
    hooks_.push_back(std::move(h));
}

void LWindow::RemoveMessageHook(uint32_t msg, LMessageHookProc callback, intptr_t data) {
    for (auto it = hooks_.begin(); it != hooks_.end(); ++it) {
        Hook& h = **it;
        if (h.msg == msg && h.callback == callback && (data == 0 || h.block.data == data)) {
            h.removed = true;
            hooks_.erase(it);
            return;
        }
    }
}

void LWindow::FreeMessageHooks() {
    for (auto& h : hooks_) h->removed = true;
    hooks_.clear();
}

LResult LWindow::DispatchMessageHooks(LHwnd, uint32_t msg, LWParam w, LLParam l) {
    // The walk runs over a copy that keeps every hook record alive, and
    // checks after each call whether the hook was removed or the object
    // deleted meanwhile, so neither touches freed memory.
    std::vector<std::shared_ptr<Hook>> walk = hooks_;
    std::shared_ptr<bool> alive = alive_;
    LResult remembered = 0;
    for (const auto& h : walk) {
        if (h->removed || h->msg != msg) continue;
        LResult r = h->callback(this, w, l, h->block);
        if (!*alive) return r == 1 ? (remembered ? remembered : 1) : (r ? r : remembered);
        if (r == 1) return remembered ? remembered : 1;
        if (r) remembered = r;
    }
    return remembered;
}

void LWindow::AddOwnedObject(std::unique_ptr<LOwnedObject> object) {
    if (object) owned_.push_back(std::move(object));
}

void LWindow::FlushDeferredDeletes() {
    std::vector<std::unique_ptr<LOwnedObject>> doomed;
    doomed.swap(owned_);
}

void LWindow::AddMenuHelp(uint16_t command, const char16_t* text) {
    menu_help_.push_back({command, text ? text : u""});
    if (menu_help_tip == LHwnd::Null && hwnd != LHwnd::Null) {
        menu_help_tip = LCreateWindowEx(LWS_EX_TOPMOST, u"tooltips_class32", u"", LWS_POPUP | LTTS_NOPREFIX, 0, 0, 0,
                                        0, hwnd, 0);
        LToolInfo ti;
        ti.flags = LTTF_TRACK | LTTF_ABSOLUTE;
        ti.tool = hwnd;
        ti.text = u"";
        LSendMessage(menu_help_tip, LTTM_ADDTOOL, 0, reinterpret_cast<LLParam>(&ti));
    }
}

LResult LWindow::HandleMessage(uint32_t msg, LWParam w, LLParam l) {
    LAliveCheck alive(this);
    if (LResult r = DispatchMessageHooks(hwnd, msg, w, l)) return r;
    if (!alive.Alive()) return 0;
    switch (msg) {
    case LWM_DESTROY:
        OnDestroy();
        if (alive.Alive()) hwnd = LHwnd::Null;
        return 0;
    case LWM_WINDOWPOSCHANGING:
    case LWM_SIZING:
    case LWM_MOVING: PositionBalloonTip(balloon); return 0;
    case LWM_HELP: {
        // No menus are open here to close; the request goes to OnHelp.
        OnHelp();
        return 1;
    }
    case LWM_INITDIALOG:
        in_init = true;
        OnInitDialog();
        if (!alive.Alive()) return 1;
        LSendMessage(hwnd, LWM_THEMECHANGED, 0, 0);
        if (!alive.Alive()) return 1;
        UpdateControls();
        if (alive.Alive()) in_init = false;
        return 1;
    case LWM_COMMAND: {
        int id = static_cast<int>(LLoWord(w));
        if (id == LIDOK) {
            if (OnOk()) {
                if (alive.Alive()) End(LIDOK);
                return 1;
            }
        } else if (id == LIDCANCEL) {
            if (OnCancel()) {
                if (alive.Alive()) End(LIDCANCEL);
                return 1;
            }
        } else if (id == LIDHELP) {
            OnHelp();
            return 1;
        } else {
            OnCommand(id, static_cast<int>(LHiWord(w)));
        }
        if (alive.Alive()) UpdateControls();
        return 0;
    }
    case LWM_INITMENUPOPUP: LPostMessage(hwnd, LWM_SQUAREMENUCORNERS, 0, 0); return 0;
    case LWM_MENUSELECT: {
        if (menu_help_.empty()) return 0;
        LSendMessage(menu_help_tip, LTTM_TRACKACTIVATE, 0, 0);
        uint32_t flags = LHiWord(w);
        if ((flags & LMF_MOUSESELECT) && !(flags & LMF_POPUP)) {
            uint16_t id = static_cast<uint16_t>(LLoWord(w));
            for (const MenuHelp& m : menu_help_) {
                if (m.command != id) continue;
                if (!m.text.empty()) {
                    LToolInfo ti;
                    ti.flags = LTTF_SUBCLASS | LTTF_CENTERTIP;
                    ti.tool = hwnd;
                    ti.text = m.text.c_str();
                    LSendMessage(menu_help_tip, LTTM_UPDATETIPTEXT, 0, reinterpret_cast<LLParam>(&ti));
                    LSendMessage(menu_help_tip, LTTM_TRACKACTIVATE, 1, 0);
                }
                break;
            }
        }
        return 0;
    }
    case LWM_CTLCOLORBTN:
    case LWM_CTLCOLORDLG:
    case LWM_CTLCOLORSTATIC:
        // A child dialog takes its parent's colours; an owned window keeps
        // its own.
        if (LGetOwner(hwnd) != LHwnd::Null) return 0;
        return LSendMessage(LGetParent(hwnd), msg, w, l);
    case LWM_PRINTCLIENT: return (l & LPRF_CLIENT) ? 1 : 0;
    case LWM_POSTAFTERINIT: LPostMessage(hwnd, LWM_AFTERINIT, 0, 0); return 0;
    case LWM_AFTERINIT: OnAfterInit(); return 0;
    case LWM_SQUAREMENUCORNERS:
        // Square menu corners are asked of the window manager's attribute
        // call, which does not exist here (LThemeApi loads nothing).
        return 0;
    default: return 0;
    }
}

intptr_t LDialogProc(LHwnd h, uint32_t msg, LWParam w, LLParam l) {
    if (h == LHwnd::Null) return 0;
    if (msg == LWM_INITDIALOG && l) {
        LSetWindowLongPtr(h, LDWLP_USER, l);
        auto* object = reinterpret_cast<LWindow*>(l);
        object->hwnd = h;
        object->bound = h;
    }
    auto* object = reinterpret_cast<LWindow*>(LGetWindowLongPtr(h, LDWLP_USER));
    if (!object || object->hwnd != h) return 0;
    uint32_t outer = g_current_message;
    g_current_message = msg;
    LResult r = object->HandleMessage(msg, w, l);
    g_current_message = outer;
    return r;
}

bool LThemeApi::Load(LThemeApi& record) {
    LHwnd window = record.window;
    record = LThemeApi{};
    record.window = window;
    return false;
}

bool LThemeApi::CanOpenTheme() const {
    return OpenThemeData && CloseThemeData && DrawThemeBackground && GetThemeColor && GetThemePartSize &&
           GetThemeBackgroundContentRect && GetThemeFont;
}

void LApplyExplorerTheme(LHwnd) {}
