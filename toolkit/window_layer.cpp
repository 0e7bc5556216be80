#include "toolkit/window_layer.h"

#include <algorithm>
#include <mutex>
#include <unordered_map>

#include "foundation/log.h"
#include "toolkit/window_record.h"

namespace {

// The layer's process-wide state: the backend, the class list and the
// window table. Handles count up and are never reused.
struct LayerState {
    std::mutex lock;
    std::unique_ptr<LWindowBackend> backend;
    std::thread::id thread;
    std::vector<LWindowClass> classes;
    std::unordered_map<uint32_t, LWndRef> table;
    uint32_t next_handle = 0x100;
    LHwnd active = LHwnd::Null;
};

LayerState& State() {
    static LayerState s;
    return s;
}

}  // namespace

bool LSameClassName(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i], y = b[i];
        if (x >= u'A' && x <= u'Z') x = static_cast<char16_t>(x + 32);
        if (y >= u'A' && y <= u'Z') y = static_cast<char16_t>(y + 32);
        if (x != y) return false;
    }
    return true;
}

namespace {

bool SameClass(std::u16string_view a, std::u16string_view b) { return LSameClassName(a, b); }

bool IsTopLevel(const LWnd& w) { return !(w.style & LWS_CHILD); }

}  // namespace

bool LWndIsTopLevel(const LWnd& w) { return IsTopLevel(w); }

void LWndNotify(LWnd& w, uint32_t what) {
    if (State().backend && !w.destroyed) State().backend->Changed(w, what);
}

namespace {

void Notify(LWnd& w, uint32_t what) { LWndNotify(w, what); }

LRect Insets(const LWnd& w) {
    if (!State().backend) return {};
    LRect in = IsTopLevel(w) ? State().backend->FrameInsets(w) : LRect{};
    // Shown scroll bars take their room from the client area's right and
    // bottom edges.
    if (w.scroll_shown[LSB_VERT]) in.right += State().backend->ScrollBarSize();
    if (w.scroll_shown[LSB_HORZ]) in.bottom += State().backend->ScrollBarSize();
    return in;
}

// Screen position of the window's client origin.
LPoint ClientOrigin(const LWnd& w) {
    LPoint p{w.rect.left, w.rect.top};
    if (IsTopLevel(w)) {
        LRect in = Insets(w);
        p.x += in.left;
        p.y += in.top;
        return p;
    }
    if (LWndRef parent = LWndFind(w.parent)) {
        LPoint o = ClientOrigin(*parent);
        p.x += o.x;
        p.y += o.y;
    }
    return p;
}

}  // namespace

LWndRef LWndFind(LHwnd h) {
    if (h == LHwnd::Null) return nullptr;
    LayerState& s = State();
    std::lock_guard<std::mutex> g(s.lock);
    auto it = s.table.find(static_cast<uint32_t>(h));
    if (it == s.table.end() || it->second->destroyed) return nullptr;
    return it->second;
}

LWindowBackend* LBackend() { return State().backend.get(); }

bool LWindowLayerOpen(LBackendKind kind) {
    LayerState& s = State();
    if (s.backend) return s.backend->Kind() == kind;
    std::unique_ptr<LWindowBackend> b = kind == LBackendKind::Gtk ? LMakeGtkBackend() : LMakeHeadlessBackend();
    if (!b) return false;
    s.backend = std::move(b);
    s.thread = std::this_thread::get_id();
    return true;
}

bool LWindowLayerIsOpen() { return State().backend != nullptr; }

LBackendKind LWindowLayerKind() {
    return State().backend ? State().backend->Kind() : LBackendKind::Headless;
}

bool LRegisterClass(const char16_t* name, LWndProc proc) {
    if (!name || !proc) return false;
    LayerState& s = State();
    std::lock_guard<std::mutex> g(s.lock);
    for (const LWindowClass& c : s.classes)
        if (SameClass(c.name, name)) return false;
    s.classes.push_back({name, proc});
    return true;
}

static LWndProc FindClassProc(std::u16string_view name) {
    LayerState& s = State();
    std::lock_guard<std::mutex> g(s.lock);
    for (const LWindowClass& c : s.classes)
        if (SameClass(c.name, name)) return c.proc;
    return nullptr;
}

void LRegisterStandardClasses();

LHwnd LCreateWindowEx(uint32_t exstyle, const char16_t* cls, const char16_t* text, uint32_t style, int x, int y,
                      int width, int height, LHwnd parent, intptr_t id, LLParam create_param) {
    LayerState& s = State();
    if (!s.backend || !cls) return LHwnd::Null;
    if (std::this_thread::get_id() != s.thread) return LHwnd::Null;
    LRegisterStandardClasses();
    LWndProc proc = FindClassProc(cls);
    if (!proc) return LHwnd::Null;
    LWndRef parent_wnd = LWndFind(parent);
    if ((style & LWS_CHILD) && !parent_wnd) return LHwnd::Null;

    auto w = std::make_shared<LWnd>();
    {
        std::lock_guard<std::mutex> g(s.lock);
        w->handle = static_cast<LHwnd>(s.next_handle++);
        if (s.next_handle == 0) s.next_handle = 0x100;
        s.table[static_cast<uint32_t>(w->handle)] = w;
    }
    w->cls = cls;
    w->proc = proc;
    w->style = style;
    w->exstyle = exstyle;
    w->id = id;
    w->text = text ? text : u"";
    w->rect = {x, y, x + std::max(width, 0), y + std::max(height, 0)};
    w->visible = false;
    w->enabled = !(style & LWS_DISABLED);
    w->thread = s.thread;
    if (style & LWS_CHILD) {
        w->parent = parent;
        w->font = parent_wnd->font;
        parent_wnd->children.push_back(w->handle);
    } else if (parent_wnd) {
        w->owner = LGetAncestorRoot(parent);
    }
    s.backend->Created(*w);
    LHwnd h = w->handle;
    if (LSendMessage(h, LWM_CREATE, 0, create_param) == -1) {
        LDestroyWindow(h);
        return LHwnd::Null;
    }
    if (!LIsWindow(h)) return LHwnd::Null;
    if (style & LWS_VISIBLE) LShowWindow(h, LSW_SHOW);
    if (!IsTopLevel(*w)) LRefreshControlColors(h);
    return h;
}

bool LIsWindow(LHwnd h) { return LWndFind(h) != nullptr; }

void LKillWindowTimers(LHwnd h);

bool LDestroyWindow(LHwnd h) {
    LWndRef w = LWndFind(h);
    if (!w) return false;
    LayerState& s = State();
    // Windows owned by this one go first, as their owner disappears.
    if (IsTopLevel(*w)) {
        std::vector<LHwnd> owned;
        {
            std::lock_guard<std::mutex> g(s.lock);
            for (auto& [k, v] : s.table)
                if (!v->destroyed && v->owner == h) owned.push_back(v->handle);
        }
        for (LHwnd o : owned) LDestroyWindow(o);
    }
    if (!LIsWindow(h)) return true;
    LSendMessage(h, LWM_DESTROY, 0, 0);
    std::vector<LHwnd> children = w->children;
    for (LHwnd c : children) LDestroyWindow(c);
    if (w->destroyed) return true;
    w->destroyed = true;
    LKillWindowTimers(h);
    if (LWndRef parent = LWndFind(w->parent)) {
        auto& v = parent->children;
        v.erase(std::remove(v.begin(), v.end(), h), v.end());
    }
    if (LWndRef root = LWndFind(LGetAncestorRoot(w->parent)))
        if (root->focus == h) root->focus = LHwnd::Null;
    if (s.active == h) s.active = LHwnd::Null;
    if (s.backend) s.backend->Destroyed(*w);
    std::lock_guard<std::mutex> g(s.lock);
    s.table.erase(static_cast<uint32_t>(h));
    return true;
}

LHwnd LGetParent(LHwnd h) {
    LWndRef w = LWndFind(h);
    if (!w) return LHwnd::Null;
    return IsTopLevel(*w) ? w->owner : w->parent;
}

LHwnd LGetOwner(LHwnd h) {
    LWndRef w = LWndFind(h);
    return w ? w->owner : LHwnd::Null;
}

LHwnd LGetAncestorRoot(LHwnd h) {
    LWndRef w = LWndFind(h);
    while (w && !IsTopLevel(*w)) {
        LWndRef p = LWndFind(w->parent);
        if (!p) break;
        w = p;
    }
    return w ? w->handle : LHwnd::Null;
}

LHwnd LGetDlgItem(LHwnd dlg, int id) {
    LWndRef w = LWndFind(dlg);
    if (!w) return LHwnd::Null;
    for (LHwnd c : w->children) {
        LWndRef cw = LWndFind(c);
        if (cw && cw->id == id) return c;
    }
    return LHwnd::Null;
}

int LGetDlgCtrlID(LHwnd h) {
    LWndRef w = LWndFind(h);
    return w ? static_cast<int>(w->id) : 0;
}

std::vector<LHwnd> LGetChildren(LHwnd h) {
    LWndRef w = LWndFind(h);
    return w ? w->children : std::vector<LHwnd>{};
}

std::u16string LGetClassName(LHwnd h) {
    LWndRef w = LWndFind(h);
    return w ? w->cls : std::u16string();
}

LHwnd LFindWindowOfClass(const char16_t* cls) {
    LayerState& s = State();
    std::lock_guard<std::mutex> g(s.lock);
    LHwnd best = LHwnd::Null;
    for (auto& [k, v] : s.table)
        if (!v->destroyed && v->thread == std::this_thread::get_id() && SameClass(v->cls, cls) &&
            (best == LHwnd::Null || k < static_cast<uint32_t>(best)))
            best = v->handle;
    return best;
}

LResult LSendMessage(LHwnd h, uint32_t msg, LWParam w, LLParam l) {
    LWndRef wnd = LWndFind(h);
    if (!wnd || !wnd->proc) return 0;
    // Another thread's window is reached by posting; a send would block
    // the caller on a queue it does not run.
    if (wnd->thread != std::this_thread::get_id()) return 0;
    return wnd->proc(h, msg, w, l);
}

LResult LCallWindowProc(LWndProc proc, LHwnd h, uint32_t msg, LWParam w, LLParam l) {
    return proc ? proc(h, msg, w, l) : 0;
}

LResult LDefWindowProc(LHwnd h, uint32_t msg, LWParam w, LLParam l) {
    switch (msg) {
    case LWM_CLOSE: LDestroyWindow(h); return 0;
    case LWM_SETTEXT: return LSetWindowText(h, l ? reinterpret_cast<const char16_t*>(l) : u"") ? 1 : 0;
    case LWM_GETTEXTLENGTH: return static_cast<LResult>(LGetWindowText(h).size());
    case LWM_GETTEXT: {
        if (!l || w == 0) return 0;
        std::u16string t = LGetWindowText(h);
        size_t n = std::min<size_t>(t.size(), w - 1);
        std::copy(t.begin(), t.begin() + static_cast<ptrdiff_t>(n), reinterpret_cast<char16_t*>(l));
        reinterpret_cast<char16_t*>(l)[n] = 0;
        return static_cast<LResult>(n);
    }
    case LWM_SETICON: {
        LWndRef wnd = LWndFind(h);
        if (!wnd) return 0;
        intptr_t old = wnd->icon;
        wnd->icon = l;
        Notify(*wnd, LChangeState);
        return old;
    }
    default: return 0;
    }
}

bool LSetWindowText(LHwnd h, std::u16string_view text) {
    LWndRef w = LWndFind(h);
    if (!w) return false;
    w->text.assign(text);
    Notify(*w, LChangeText);
    return true;
}

std::u16string LGetWindowText(LHwnd h) {
    LWndRef w = LWndFind(h);
    return w ? w->text : std::u16string();
}

void LWndNoteText(LHwnd h, std::u16string_view text) {
    LWndRef w = LWndFind(h);
    if (!w || w->text == text) return;
    w->text.assign(text);
    if (w->parent != LHwnd::Null) {
        LMsg m;
        m.hwnd = w->parent;
        m.message = LWM_COMMAND;
        m.wParam = LMakeWParam(static_cast<uint32_t>(w->id), LEN_CHANGE);
        m.lParam = LHwndToParam(h);
        LPostInput(m);
    }
}

bool LShowWindow(LHwnd h, int cmd) {
    LWndRef w = LWndFind(h);
    if (!w) return false;
    bool was = w->visible;
    bool show = cmd != LSW_HIDE;
    w->iconic = cmd == LSW_SHOWMINIMIZED || cmd == LSW_MINIMIZE;
    if (cmd == LSW_SHOWMAXIMIZED) w->zoomed = true;
    if (cmd == LSW_RESTORE || cmd == LSW_SHOWNORMAL) w->zoomed = false;
    if (was != show) {
        w->visible = show;
        if (show) w->style |= LWS_VISIBLE;
        else w->style &= ~LWS_VISIBLE;
        LSendMessage(h, LWM_SHOWWINDOW, show ? 1 : 0, 0);
        if (!LIsWindow(h)) return was;
        if (show && !IsTopLevel(*w)) LRefreshControlColors(h);
        Notify(*w, LChangeVisible);
        if (show && IsTopLevel(*w) && !(w->exstyle & LWS_EX_TRANSPARENT) && w->cls != u"tooltips_class32")
            State().active = h;
    } else {
        Notify(*w, LChangeVisible);
    }
    return was;
}

bool LIsWindowVisible(LHwnd h) {
    LWndRef w = LWndFind(h);
    while (w) {
        if (!w->visible) return false;
        if (IsTopLevel(*w)) return true;
        w = LWndFind(w->parent);
    }
    return false;
}

bool LEnableWindow(LHwnd h, bool enable) {
    LWndRef w = LWndFind(h);
    if (!w) return false;
    bool was_disabled = !w->enabled;
    if (w->enabled != enable) {
        w->enabled = enable;
        if (enable) w->style &= ~LWS_DISABLED;
        else w->style |= LWS_DISABLED;
        Notify(*w, LChangeEnabled);
        LSendMessage(h, LWM_ENABLE, enable ? 1 : 0, 0);
    }
    return was_disabled;
}

bool LIsWindowEnabled(LHwnd h) {
    LWndRef w = LWndFind(h);
    return w && w->enabled;
}

bool LIsIconic(LHwnd h) {
    LWndRef w = LWndFind(h);
    return w && w->iconic;
}

bool LIsZoomed(LHwnd h) {
    LWndRef w = LWndFind(h);
    return w && w->zoomed;
}

bool LSetWindowPos(LHwnd h, int x, int y, int width, int height, uint32_t flags) {
    LWndRef w = LWndFind(h);
    if (!w) return false;
    LSendMessage(h, LWM_WINDOWPOSCHANGING, 0, 0);
    if (!LIsWindow(h)) return false;
    LRect old = w->rect;
    LRect r = old;
    if (!(flags & LSWP_NOMOVE)) {
        r.right = x + old.Width();
        r.bottom = y + old.Height();
        r.left = x;
        r.top = y;
    }
    if (!(flags & LSWP_NOSIZE)) {
        r.right = r.left + std::max(width, 0);
        r.bottom = r.top + std::max(height, 0);
    }
    w->rect = r;
    Notify(*w, LChangeRect | ((flags & LSWP_FRAMECHANGED) ? static_cast<uint32_t>(LChangeStyle) : 0u));
    if (r.left != old.left || r.top != old.top) LSendMessage(h, LWM_MOVE, 0, 0);
    if (LIsWindow(h) && (r.Width() != old.Width() || r.Height() != old.Height())) {
        LRect c = LGetClientRect(h);
        LSendMessage(h, LWM_SIZE, w->iconic ? LSIZE_MINIMIZED : LSIZE_RESTORED,
                     static_cast<LLParam>(LMakeWParam(static_cast<uint32_t>(c.right), static_cast<uint32_t>(c.bottom))));
    }
    if (LIsWindow(h)) LSendMessage(h, LWM_WINDOWPOSCHANGED, 0, 0);
    return true;
}

bool LMoveWindow(LHwnd h, int x, int y, int width, int height, bool) {
    return LSetWindowPos(h, x, y, width, height, LSWP_NOZORDER);
}

void LWndNoteRect(LHwnd h, const LRect& r) {
    LWndRef w = LWndFind(h);
    if (!w || w->rect == r) return;
    LRect old = w->rect;
    w->rect = r;
    LMsg m;
    m.hwnd = h;
    m.system_handled = true;
    if (r.left != old.left || r.top != old.top) {
        m.message = LWM_MOVE;
        LPostInput(m);
    }
    if (r.Width() != old.Width() || r.Height() != old.Height()) {
        LRect c = LGetClientRect(h);
        m.message = LWM_SIZE;
        m.lParam = static_cast<LLParam>(LMakeWParam(static_cast<uint32_t>(c.right), static_cast<uint32_t>(c.bottom)));
        LPostInput(m);
    }
}

LRect LGetWindowRect(LHwnd h) {
    LWndRef w = LWndFind(h);
    if (!w) return {};
    if (IsTopLevel(*w)) return w->rect;
    LPoint o{0, 0};
    if (LWndRef p = LWndFind(w->parent)) o = ClientOrigin(*p);
    return {w->rect.left + o.x, w->rect.top + o.y, w->rect.right + o.x, w->rect.bottom + o.y};
}

LRect LGetClientRect(LHwnd h) {
    LWndRef w = LWndFind(h);
    if (!w) return {};
    LRect in = Insets(*w);
    return {0, 0, std::max(0, w->rect.Width() - in.left - in.right), std::max(0, w->rect.Height() - in.top - in.bottom)};
}

LPoint LClientToScreen(LHwnd h, LPoint p) {
    LWndRef w = LWndFind(h);
    if (!w) return p;
    LPoint o = ClientOrigin(*w);
    return {p.x + o.x, p.y + o.y};
}

LPoint LScreenToClient(LHwnd h, LPoint p) {
    LWndRef w = LWndFind(h);
    if (!w) return p;
    LPoint o = ClientOrigin(*w);
    return {p.x - o.x, p.y - o.y};
}

LRect LGetDesktopRect() { return State().backend ? State().backend->DesktopRect() : LRect{0, 0, 1024, 768}; }

LRect LGetWorkArea(LPoint near) {
    return State().backend ? State().backend->WorkAreaAt(near) : LRect{0, 0, 1024, 768};
}

LRect LGetPrimaryWorkArea() { return LGetWorkArea({0, 0}); }

LHwnd LSetFocus(LHwnd h) {
    LWndRef w = LWndFind(h);
    if (!w) return LHwnd::Null;
    LWndRef root = LWndFind(LGetAncestorRoot(h));
    if (!root) return LHwnd::Null;
    LHwnd old = root->focus;
    State().active = root->handle;
    if (old == h) return old;
    root->focus = h;
    if (old != LHwnd::Null) LSendMessage(old, LWM_KILLFOCUS, static_cast<LWParam>(h), 0);
    if (LIsWindow(h)) {
        Notify(*w, LChangeFocus);
        LSendMessage(h, LWM_SETFOCUS, static_cast<LWParam>(old), 0);
    }
    return old;
}

void LWndNoteFocus(LHwnd h) {
    LWndRef w = LWndFind(h);
    if (!w) return;
    LWndRef root = LWndFind(LGetAncestorRoot(h));
    if (!root) return;
    State().active = root->handle;
    root->focus = h;
}

LHwnd LGetFocus() {
    LWndRef root = LWndFind(State().active);
    if (!root) return LHwnd::Null;
    return root->focus != LHwnd::Null && LIsWindow(root->focus) ? root->focus : root->handle;
}

LHwnd LGetActiveWindow() { return LIsWindow(State().active) ? State().active : LHwnd::Null; }

bool LSetForegroundWindow(LHwnd h) {
    LWndRef w = LWndFind(LGetAncestorRoot(h));
    if (!w) return false;
    State().active = w->handle;
    State().backend->Present(*w);
    return true;
}
