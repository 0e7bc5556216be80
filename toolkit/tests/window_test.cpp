// The window base on the headless backend: the hook walk, the base
// handler's order, menu help, colour forwarding, and objects or hooks that
// disappear in the middle of a message.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "foundation/thread_handoff.h"
#include "toolkit/dialog_template.h"
#include "toolkit/window.h"

namespace {

struct Probe : LDialog {
    bool ok_answer = true;
    int update_calls = 0, command_calls = 0, help_calls = 0, ended = -1;
    void UpdateControls() override { ++update_calls; }
    void OnCommand(int, int) override { ++command_calls; }
    void OnHelp() override { ++help_calls; }
    bool OnOk() override { return ok_answer; }
    void End(intptr_t r) override {
        ended = static_cast<int>(r);
        LDialog::End(r);
    }
};

// A modeless dialog of the object, bound through the common procedure.
LHwnd Bind(LWindow* object, LHwnd owner = LHwnd::Null, uint32_t style = LWS_POPUP | LWS_CAPTION) {
    LDialogCreate t;
    t.style = style;
    return LCreateDialog(t, owner, LDialogProc, reinterpret_cast<LLParam>(object));
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(LWindowLayerOpen(LBackendKind::Headless)); }
};

LResult Answer(LWindow*, LWParam, LLParam, const LHookBlock& b) { return b.value; }

TEST_F(WindowTest, HookWalkAnswers) {
    struct Case {
        std::vector<intptr_t> answers;
        LResult result;
        bool base_runs;
    };
    const Case cases[] = {
        {{0, 0}, 0, true},
        {{5, 0}, 5, false},
        {{1}, 1, false},
        {{5, 1, 7}, 5, false},   // 1 stops the walk with the latest non-zero answer
        {{5, 9, 1}, 9, false},
        {{0, 1, 7}, 1, false},
        {{5, 7}, 7, false},      // the walk goes on; the latest non-zero counts
    };
    for (const Case& c : cases) {
        Probe p;
        LHwnd h = Bind(&p);
        ASSERT_NE(h, LHwnd::Null);
        for (intptr_t a : c.answers) p.AddMessageHook(LWM_COMMAND, Answer, 0, a, 0);
        int before = p.command_calls;
        EXPECT_EQ(p.DispatchMessageHooks(h, LWM_COMMAND, 50, 0), c.result);
        EXPECT_EQ(LDialogProc(h, LWM_COMMAND, 50, 0), c.result);
        EXPECT_EQ(p.command_calls - before, c.base_runs ? 1 : 0);
        LDestroyWindow(h);
    }
}

LResult RemoveSelf(LWindow* w, LWParam, LLParam, const LHookBlock&) {
    w->RemoveMessageHook(LWM_COMMAND, RemoveSelf, 0);
    return 0;
}

LResult DeleteObject(LWindow* w, LWParam, LLParam, const LHookBlock&) {
    LDestroyWindow(w->hwnd);
    delete w;
    return 3;
}

TEST_F(WindowTest, HooksThatRemoveThemselvesOrDeleteTheirWindow) {
    Probe p;
    LHwnd h = Bind(&p);
    p.AddMessageHook(LWM_COMMAND, RemoveSelf, 0, 0, 0);
    p.AddMessageHook(LWM_COMMAND, Answer, 0, 4, 0);
    EXPECT_EQ(LDialogProc(h, LWM_COMMAND, 50, 0), 4);
    EXPECT_EQ(LDialogProc(h, LWM_COMMAND, 50, 0), 4);  // the first hook is gone

    auto* doomed = new Probe;
    LHwnd d = Bind(doomed);
    doomed->AddMessageHook(LWM_COMMAND, DeleteObject, 0, 0, 0);
    doomed->AddMessageHook(LWM_COMMAND, Answer, 0, 6, 0);
    EXPECT_EQ(LSendMessage(d, LWM_COMMAND, 50, 0), 0);  // the window went with its object
    EXPECT_FALSE(LIsWindow(d));
    // Messages to a window whose object is gone or unbound answer 0.
    Probe unbound;
    LSetWindowLongPtr(h, LDWLP_USER, reinterpret_cast<intptr_t>(&unbound));
    EXPECT_EQ(LDialogProc(h, LWM_COMMAND, LIDHELP, 0), 0);
    EXPECT_EQ(unbound.help_calls, 0);
    LDestroyWindow(h);
}

TEST_F(WindowTest, CommandsReachTheirOperations) {
    Probe p;
    LHwnd h = Bind(&p);
    int updates = p.update_calls;
    p.ok_answer = false;
    EXPECT_EQ(LDialogProc(h, LWM_COMMAND, LIDOK, 0), 0);
    EXPECT_EQ(p.ended, -1);
    EXPECT_TRUE(LIsWindow(h));
    EXPECT_EQ(p.hwnd, h);
    EXPECT_EQ(p.update_calls, updates + 1);
    EXPECT_EQ(LDialogProc(h, LWM_COMMAND, LIDHELP, 0), 1);
    EXPECT_EQ(p.help_calls, 1);
    EXPECT_EQ(p.command_calls, 0);
    LDialogProc(h, LWM_COMMAND, LMakeWParam(77, 0), 0);
    EXPECT_EQ(p.command_calls, 1);
    p.ok_answer = true;
    EXPECT_EQ(LDialogProc(h, LWM_COMMAND, LIDOK, 0), 1);
    EXPECT_EQ(p.ended, LIDOK);
    EXPECT_EQ(p.hwnd, LHwnd::Null);
    // After End the handle is cleared: the window's last messages go nowhere.
    EXPECT_EQ(LDialogProc(h, LWM_COMMAND, LIDHELP, 0), 0);
    LDestroyWindow(h);
}

TEST_F(WindowTest, MenuHelpOnlyForMouseSelectionOfCommands) {
    Probe p;
    LHwnd h = Bind(&p);
    p.AddMenuHelp(1002, u"Opens the browser interface");
    p.AddMenuHelp(1003, u"");
    struct Case {
        uint32_t id, flags;
        bool shown;
    };
    const Case cases[] = {
        {1002, LMF_MOUSESELECT, true},
        {1002, 0, false},                          // keyboard
        {1002, LMF_MOUSESELECT | LMF_POPUP, false},  // a submenu
        {1003, LMF_MOUSESELECT, false},            // no text
        {999, LMF_MOUSESELECT, false},
    };
    for (const Case& c : cases) {
        LSendMessage(p.menu_help_tip, 0x400 + 17, 0, 0);
        EXPECT_EQ(LDialogProc(h, LWM_MENUSELECT, LMakeWParam(c.id, c.flags), 0), 0);
        EXPECT_EQ(LIsWindowVisible(p.menu_help_tip), c.shown) << c.id << " " << c.flags;
    }
    char16_t text[260];
    LToolInfo ti;
    ti.tool = h;
    ti.text_out = text;
    LDialogProc(h, LWM_MENUSELECT, LMakeWParam(1002, LMF_MOUSESELECT), 0);
    LSendMessage(p.menu_help_tip, LTTM_GETTEXT, 0, reinterpret_cast<LLParam>(&ti));
    EXPECT_EQ(std::u16string(text), u"Opens the browser interface");
    LDestroyWindow(h);
}

LResult ParentBrush(LWindow*, LWParam, LLParam, const LHookBlock&) { return LSolidBrush(0x123456); }

TEST_F(WindowTest, DialogColoursComeFromTheParentUnlessOwned) {
    Probe parent;
    LHwnd ph = Bind(&parent);
    parent.AddMessageHook(LWM_CTLCOLORDLG, ParentBrush, 0, 0, 0);
    Probe child;
    LHwnd inner = LCreateWindowEx(0, u"#32770", u"", LWS_CHILD | LWS_VISIBLE, 0, 0, 10, 10, ph, 5);
    LSetWindowLongPtr(inner, LDWLP_USER, reinterpret_cast<intptr_t>(&child));
    child.hwnd = inner;
    LColorContext dc;
    EXPECT_EQ(LDialogProc(inner, LWM_CTLCOLORDLG, reinterpret_cast<LWParam>(&dc), LHwndToParam(inner)),
              LSolidBrush(0x123456));
    Probe owned;
    LHwnd oh = Bind(&owned, ph);
    EXPECT_EQ(LGetOwner(oh), ph);
    EXPECT_EQ(LDialogProc(oh, LWM_CTLCOLORDLG, reinterpret_cast<LWParam>(&dc), LHwndToParam(oh)), 0);
    LDestroyWindow(ph);
    EXPECT_FALSE(LIsWindow(oh));
}

TEST_F(WindowTest, AfterInitRunsOnceTheQueueIsReached) {
    struct After : LDialog {
        int after = 0;
        void OnAfterInit() override { ++after; }
    } a;
    LHwnd h = Bind(&a);
    EXPECT_EQ(a.after, 0);
    LMsg m;
    while (LPeekMessage(&m, true)) LDispatchMessage(m);
    EXPECT_EQ(a.after, 1);
    LDestroyWindow(h);
    EXPECT_EQ(a.hwnd, LHwnd::Null);
}

TEST_F(WindowTest, CrossThreadPostWakesTheWindowThread) {
    Probe p;
    LHwnd h = Bind(&p);
    std::thread t([h] { LPostMessage(h, LWM_COMMAND, LMakeWParam(88, 0), 0); });
    int r = LMsgWaitForMultiple(nullptr, 0, 5000);
    t.join();
    EXPECT_EQ(r, 0);
    LMsg m;
    while (LPeekMessage(&m, true)) LDispatchMessage(m);
    EXPECT_EQ(p.command_calls, 1);
    LDestroyWindow(h);
}

// The pipe reader's hand-over: a queue filled on another thread, watched by
// the window thread's loop, delivered in order on the window thread.
TEST_F(WindowTest, WatchedQueueDeliversOnTheWindowThread) {
    struct Owner : LDialog, LQueuedNotifyCallback {
        LQueuedNotifyDataHandler queue;
        std::vector<uint32_t> codes;
        std::thread::id seen_on;
        void OnData(uint32_t code, const void*, uint64_t) override {
            codes.push_back(code);
            seen_on = std::this_thread::get_id();
        }
        LResult HandleMessage(uint32_t msg, LWParam w, LLParam l) override {
            if (msg == LWM_USER + 5) {
                queue.Dispatch();
                return 1;
            }
            return LDialog::HandleMessage(msg, w, l);
        }
    } o;
    LHwnd h = Bind(&o);
    ASSERT_TRUE(o.queue.Create(&o));
    ASSERT_TRUE(LWatchHandle(o.queue.Handle(), h, LWM_USER + 5));
    std::thread reader([&] {
        for (uint32_t i = 1; i <= 3; ++i) o.queue.Post(i, "x", 1);
    });
    reader.join();
    LMsg m;
    while (o.codes.size() < 3 && LGetMessage(&m) == 1) LDispatchMessage(m);
    EXPECT_EQ(o.codes, std::vector<uint32_t>({1, 2, 3}));
    EXPECT_EQ(o.seen_on, std::this_thread::get_id());
    LUnwatchHandle(o.queue.Handle());
    LDestroyWindow(h);
}

TEST_F(WindowTest, MainWindowFromResourceOneAndItsList) {
    struct Main : LWindow {
        int inits = 0;
        void OnInitDialog() override {
            ++inits;
            CreateChild(107, u"SysListView32", u"", LWS_VISIBLE, 0);
            MoveItem(107, 0, 0, 400, 200);
            InitListViewColumns();
            AppendListItem(u"alice");
            AppendListItem(u"bob");
        }
    } main;
    LHwnd h = LCreateDialogFromResource(&main);
    ASSERT_NE(h, LHwnd::Null);
    EXPECT_EQ(main.inits, 1);
    EXPECT_EQ(LGetWindowText(h), u"Porlinex");
    EXPECT_FALSE(LIsWindowVisible(h));
    EXPECT_TRUE(LGetWindowLongPtr(h, LGWL_STYLE) & LWS_THICKFRAME);
    EXPECT_EQ(LGetWindowFont(h)->points, LGetDialogFontSize());
    LHwnd list = LGetDlgItem(h, 107);
    EXPECT_EQ(LSendMessage(list, LLVM_GETITEMCOUNT, 0, 0), 2);
    // One stretching column of 50 characters: (50 + 2) characters, plus
    // whatever room is left, less one pixel.
    int fixed = main.DialogUnitsToPixelsX(4) * 52;
    EXPECT_EQ(LSendMessage(list, LLVM_GETCOLUMNWIDTH, 0, 0), fixed + std::max(0, 400 - fixed) - 1);
    LDestroyWindow(h);
    EXPECT_EQ(main.hwnd, LHwnd::Null);
}

}  // namespace
