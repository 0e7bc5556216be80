// Standard buttons, the column fitter, message-box relabelling, the task
// dialog's fallback and the progress window, headless. Modal runs are
// driven from a timer that fires inside their loop.
#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "foundation/time_source.h"
#include "platform/event.h"
#include "toolkit/list_columns.h"
#include "toolkit/message_box.h"
#include "toolkit/progress_dialog.h"
#include "toolkit/tests/modal_driver.h"
#include "toolkit/window_record.h"

namespace {

class Dialogs : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(LWindowLayerOpen(LBackendKind::Headless)); }
};

struct Buttons : LDialog {
    const char16_t* cancel_text;
    explicit Buttons(const char16_t* c) : cancel_text(c) {}
    void OnInitDialog() override {
        CreateChild(LIDOK, u"Button", u"OK", LWS_VISIBLE, 0);
        if (cancel_text) CreateChild(LIDCANCEL, u"Button", cancel_text, LWS_VISIBLE, 0);
        SetClientSize(400, 200);
        gap = PlaceStandardButtons(400, 200);
    }
    int gap = -1;
};

TEST_F(Dialogs, StandardButtonsAreFiftyOrEightyUnitsWide) {
    for (const char16_t* cancel : {static_cast<const char16_t*>(nullptr), u"Cancel", u"Cancel and forget everything"}) {
        Buttons b(cancel);
        LTestWhenModalLoopRuns([&] {
            int x, y, w, h;
            b.GetItemRect(LIDOK, &x, &y, &w, &h);
            EXPECT_EQ(w, b.DialogUnitsToPixelsX(50));
            EXPECT_EQ(h, b.DialogUnitsToPixelsY(14));
            EXPECT_EQ(y, 200 - b.DialogUnitsToPixelsY(21));
            int right = 400 - b.DialogUnitsToPixelsX(7);
            if (!cancel) {
                EXPECT_EQ(x + w, right);
            } else {
                int cx, cw;
                b.GetItemRect(LIDCANCEL, &cx, nullptr, &cw, nullptr);
                bool wide = std::u16string_view(cancel).size() > 6;
                EXPECT_EQ(cw, b.DialogUnitsToPixelsX(wide ? 80 : 50));
                EXPECT_EQ(cx + cw, right);
                EXPECT_EQ(x + w, cx - b.DialogUnitsToPixelsX(4));
            }
            EXPECT_EQ(b.gap, b.DialogUnitsToPixelsX(4));
            LPostMessage(b.hwnd, LWM_COMMAND, LIDOK, 0);
        });
        EXPECT_TRUE(LDialog::RunModal(&b, LHwnd::Null));
    }
}

TEST(ListColumns, FitterSharesSpareRoomAmongVisibleStretchingColumns) {
    const LListColumnSpec table[] = {
        {u"A", 10, 0, true}, {u"B", 8, 0, false}, {u"C", 18, 0, true}, {nullptr, 0, 0, false}};
    struct Case {
        uint32_t hidden;
        int client;
        int w0, w1, w2;
    };
    const Case cases[] = {
        // fixed 6 x (12 + 10 + 20) = 252; spare 148 shared 12:20 -> 55 and 93
        {0, 400, 72 + 55 - 1, 60, 120 + 93 - 1},
        // column 0 hidden: fixed 180, all 220 spare to column 2
        {1, 400, -1, 60, 120 + 220 - 1},
        // narrower than the fixed total: fixed widths, no spare
        {0, 100, 72 - 1, 60, 120 - 1},
    };
    for (const Case& c : cases) {
        int w[3];
        LFitListColumns(table, c.hidden, c.client, 6, w);
        EXPECT_EQ(w[0], c.w0);
        EXPECT_EQ(w[1], c.w1);
        EXPECT_EQ(w[2], c.w2);
    }
}

TEST_F(Dialogs, RelabelledButtonsWidenTogetherAndTheBoxGrows) {
    struct Case {
        const char16_t* first;
        bool widened;
    };
    for (Case c : {Case{u"Yes", false}, Case{u"Keep running in the background", true},
                   Case{u"Keep running in the background and never ask me about this again, please", true}}) {
        SCOPED_TRACE(std::string(c.first, c.first + 3));
        const LMessageButton buttons[] = {{LIDYES, c.first}, {LIDNO, u"Stop"}};
        int result = -1;
        LTestWhenModalLoopRuns([&] {
            LHwnd box = LGetActiveWindow();
            LHwnd yes = LGetDlgItem(box, LIDYES), no = LGetDlgItem(box, LIDNO);
            EXPECT_EQ(LGetWindowText(yes), c.first);
            EXPECT_EQ(LGetWindowText(no), u"Stop");
            LRect ry = LGetWindowRect(yes), rn = LGetWindowRect(no);
            LRect client = LGetClientRect(box);
            LPoint py = LScreenToClient(box, {ry.left, ry.top});
            LPoint pn = LScreenToClient(box, {rn.left, rn.top});
            LFontDesc font = *LGetWindowFont(box);
            int text = LMeasureText(font, c.first, 0).cx;
            if (c.widened) {
                EXPECT_EQ(ry.Width(), text + 12);
                EXPECT_EQ(rn.Width(), text + 12);
                EXPECT_EQ(pn.x - py.x, text + 12 + 8);
                EXPECT_EQ(py.y, client.bottom - ry.Height() - 12);
                // Placed from the right, or from 5 in a box grown to hold them.
                bool grown = py.x == 5;
                EXPECT_TRUE(grown || py.x == client.right - 2 * (text + 20) + 3) << py.x;
                if (std::u16string_view(c.first).size() > 40) {
                    EXPECT_TRUE(grown);
                }
                EXPECT_GE(client.right, pn.x + rn.Width());
            } else {
                EXPECT_GE(ry.Width(), text);
            }
            LSendMessage(box, LWM_COMMAND, LIDNO, 0);
        });
        result = LShowMessageBox(LHwnd::Null, u"Do you want Porlinex to continue?", u"Confirm", buttons, 2,
                                 LTD_INFORMATION_ICON, 0x24, 0);
        EXPECT_EQ(result, LIDNO);
    }
}

TEST_F(Dialogs, MessageBoxWithoutListedButtonsStillCloses) {
    LTestWhenModalLoopRuns([] {
        LHwnd box = LGetActiveWindow();
        EXPECT_NE(LGetDlgItem(box, LIDOK), LHwnd::Null);
        LMsg key;
        key.hwnd = LGetDlgItem(box, LIDOK);
        key.message = LWM_KEYDOWN;
        key.wParam = LVK_ESCAPE;
        LPostInput(key);
    });
    EXPECT_EQ(LShowMessageBox(LHwnd::Null, u"Nothing to choose", u"Notice", nullptr, 0, 0, 0, 0), LIDOK);
}

TEST_F(Dialogs, FallbackTaskDialogIdsAndPositions) {
    std::u16string long_label(600, u'x');
    long_label[518] = 0xD83D;  // a pair across the cut at 519
    long_label[519] = 0xDE00;
    const LTaskChoice choices[] = {{31, u"First", u"A note under the first choice"},
                                   {32, u"Second", nullptr},
                                   {33, long_label.c_str(), u"Third note"},
                                   {0, nullptr, nullptr}};
    struct Case {
        bool cancel_allowed, close_button, verification;
        int press;  // what the timer does: item id to click, or -27 for Escape
        int expect;
    };
    const Case cases[] = {
        {true, false, true, 201, 32},
        {true, false, false, -27, -1},
        {true, true, false, LIDCLOSE, LIDCLOSE},
        {false, false, false, -27, 0},  // cannot be cancelled: Escape keeps it; then OK
    };
    for (const Case& c : cases) {
        LTaskDialog d(LHwnd::Null, u"Caption", u"Main instruction", u"The content text of the task dialog.", choices, 31);
        d.cancel_allowed = c.cancel_allowed;
        d.use_close_button = c.close_button;
        d.show_verification = c.verification;
        LTestWhenModalLoopRuns([&] {
            LHwnd h = d.hwnd;
            EXPECT_EQ(LGetWindowText(h), u"Caption");
            EXPECT_EQ(LButtonGetCheck(LGetDlgItem(h, 200)), LBST_CHECKED);
            EXPECT_EQ(LGetWindowText(LGetDlgItem(h, 202)).size(), 518u);
            EXPECT_NE(LGetDlgItem(h, 300), LHwnd::Null);
            EXPECT_EQ(LGetDlgItem(h, 301), LHwnd::Null);
            EXPECT_EQ(LIsWindowVisible(LGetDlgItem(h, 104)), c.verification);
            EXPECT_EQ(LGetDlgItem(h, LIDCANCEL) != LHwnd::Null, c.cancel_allowed && !c.close_button);
            EXPECT_EQ((LGetWindowLongPtr(h, LGWL_STYLE) & LWS_SYSMENU) != 0, c.cancel_allowed || c.close_button);
            int mx = d.DialogUnitsToPixelsX(7), my = d.DialogUnitsToPixelsY(7);
            int x, y, w, hh;
            d.GetItemRect(101, &x, &y, &w, &hh);
            EXPECT_EQ(x, mx);
            EXPECT_EQ(y, my);
            int cx, cy;
            d.GetItemRect(102, &cx, &cy, nullptr, nullptr);
            EXPECT_EQ(cy, y + hh + 2 * d.DialogUnitsToPixelsY(4));
            int rx, ry, rw, rh;
            d.GetItemRect(200, &rx, &ry, &rw, &rh);
            EXPECT_EQ(rx, mx + d.DialogUnitsToPixelsX(5));
            EXPECT_EQ(rh, d.DialogUnitsToPixelsY(10));
            int nx;
            d.GetItemRect(300, &nx, nullptr, nullptr, nullptr);
            EXPECT_EQ(nx, rx + d.DialogUnitsToPixelsX(13));
            LRect client = LGetClientRect(h);
            int ox, oy, ow;
            d.GetItemRect(LIDOK, &ox, &oy, &ow, nullptr);
            EXPECT_EQ(oy, client.bottom - d.DialogUnitsToPixelsY(21));
            EXPECT_EQ(ow, d.DialogUnitsToPixelsX(50));
            if (c.press > 0) {
                if (c.press >= 200) LSendMessage(LGetDlgItem(h, c.press), LBM_CLICK, 0, 0);
                LPostMessage(h, LWM_COMMAND, c.press >= 200 ? LIDOK : c.press, 0);
            } else {
                LMsg key;
                key.hwnd = LGetDlgItem(h, 200);
                key.message = LWM_KEYDOWN;
                key.wParam = LVK_ESCAPE;
                LPostInput(key);
                if (!c.cancel_allowed) LPostMessage(h, LWM_COMMAND, LIDOK, 0);
            }
        });
        int r = d.Run();
        EXPECT_EQ(r, c.cancel_allowed ? c.expect : 31);
    }
}

TEST_F(Dialogs, ProgressBarStepsPastTheEnd) {
    static std::vector<int> positions;
    static LWndProc bar_proc;
    LProgressDialog p(u"Working");
    ASSERT_TRUE(p.Show(LHwnd::Null));
    EXPECT_FALSE(p.Show(LHwnd::Null));
    LHwnd bar = LGetDlgItem(p.hwnd, 103);
    bar_proc = reinterpret_cast<LWndProc>(LSetWindowLongPtr(
        bar, LGWLP_WNDPROC, reinterpret_cast<intptr_t>(+[](LHwnd h, uint32_t m, LWParam w, LLParam l) -> LResult {
            if (m == LPBM_SETPOS) positions.push_back(static_cast<int>(w));
            return bar_proc(h, m, w, l);
        })));
    p.Progress()->SetProgress(0.5);
    EXPECT_EQ(positions, std::vector<int>({50}));
    positions.clear();
    p.Progress()->SetProgress(1.0);
    EXPECT_EQ(positions, std::vector<int>({101, 100}));
    EXPECT_EQ(LSendMessage(bar, LPBM_GETPOS, 0, 0), 100);
    p.Progress()->SetStatusText(u"First", 0);
    p.Progress()->SetStatusText(u"Second", 1);
    p.Progress()->SetStatusText(u"Ignored", 2);
    EXPECT_EQ(LGetWindowText(LGetDlgItem(p.hwnd, 101)), u"First");
    EXPECT_EQ(LGetWindowText(LGetDlgItem(p.hwnd, 102)), u"Second");
    // The Cancel button sits where the layout puts it, under the separator.
    int sy, by;
    p.GetItemRect(106, nullptr, &sy, nullptr, nullptr);
    p.GetItemRect(LIDCANCEL, nullptr, &by, nullptr, nullptr);
    EXPECT_EQ(by, sy + p.DialogUnitsToPixelsY(7) + 1);
    p.Close(LHwnd::Null);
}

TEST_F(Dialogs, ProgressWaitsOnEventsAndCancel) {
    LProgressDialog p(u"Waiting");
    ASSERT_TRUE(p.Show(LHwnd::Null));
    LTaskProgress* ctx = p.Progress();
    LEvent ev(true, false);
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ev.Set();
    });
    uint64_t t0 = LTickCount64();
    EXPECT_EQ(ctx->WaitHandle(ev.Handle(), 5000), LWaitDone);
    EXPECT_LT(LTickCount64() - t0, 2000u);
    setter.join();

    // 64 handles: only the first 63 are waited on.
    std::vector<LEvent> events(64);
    LHandleList list;
    for (auto& e : events) {
        e.Create(true, false);
        list.handles[list.count++] = e.Handle();
    }
    events[63].Set();
    EXPECT_EQ(ctx->WaitHandles(list, 300), LWaitFailed);
    events[62].Set();
    EXPECT_EQ(ctx->WaitHandles(list, 300), LWaitDone);

    EXPECT_EQ(ctx->WaitStop(200), LWaitDone);
    // Cancel during a long wait ends it at once.
    LPostMessage(p.hwnd, LWM_COMMAND, LIDCANCEL, 0);
    t0 = LTickCount64();
    EXPECT_EQ(ctx->WaitStop(5000), LWaitStopped);
    EXPECT_LT(LTickCount64() - t0, 1000u);
    EXPECT_TRUE(p.Cancelled());
    EXPECT_TRUE(LIsWindow(p.hwnd));  // Cancel leaves the window to the work
    // Once the window is gone, a wait is a stop at once.
    p.Close(LHwnd::Null);
    t0 = LTickCount64();
    EXPECT_EQ(ctx->WaitStop(5000), LWaitStopped);
    EXPECT_EQ(ctx->WaitHandle(ev.Handle(), 5000), LWaitStopped);
    EXPECT_LT(LTickCount64() - t0, 1000u);
    EXPECT_TRUE(ctx->IsStopRequested());
}

TEST_F(Dialogs, ProgressWaitRunsItsTimeWithoutInput) {
    LProgressDialog p(u"Waiting");
    ASSERT_TRUE(p.Show(LHwnd::Null));
    uint64_t t0 = LTickCount64();
    EXPECT_EQ(p.Progress()->WaitStop(5000), LWaitDone);
    uint64_t spent = LTickCount64() - t0;
    EXPECT_GE(spent, 5000u);
    EXPECT_LT(spent, 6500u);
}

}  // namespace
