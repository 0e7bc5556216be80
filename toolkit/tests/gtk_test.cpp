// The GTK backend under a private Xvfb and session bus: what the layer
// says it shows is what the accessibility tree and the X server show, and
// real input (xdotool) drives the dialogs.
#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <chrono>
#include <filesystem>
#include <functional>
#include <sstream>
#include <thread>

#include <gtk/gtk.h>

#include "foundation/json_value.h"
#include "tests/support/test_display.h"
#include "toolkit/gtk_peer.h"
#include "toolkit/message_box.h"
#include "toolkit/progress_dialog.h"
#include "toolkit/tests/modal_driver.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Node {
    std::string role, name;
    int x = 0, y = 0, width = 0, height = 0;
    bool visible = true;
};

std::vector<Node> ParseNodes(const std::string& json) {
    std::vector<Node> out;
    LJsonValue v;
    if (v.Parse(json.c_str()) != 0) return out;
    for (size_t i = 0; i < v.count; ++i) {
        const LJsonValue& e = v.elements[i];
        Node n;
        n.role = e.Member("role").text.c_str();
        n.name = e.Member("name").text.c_str();
        n.x = static_cast<int>(e.Member("x").AsInt64());
        n.y = static_cast<int>(e.Member("y").AsInt64());
        n.width = static_cast<int>(e.Member("width").AsInt64());
        n.height = static_cast<int>(e.Member("height").AsInt64());
        const LJsonValue* vis = e.FindMember("visible");
        n.visible = !vis || vis->payload.b;
        out.push_back(n);
    }
    return out;
}

const Node* Find(const std::vector<Node>& nodes, const std::string& role, const std::string& name) {
    for (const Node& n : nodes)
        if (n.role == role && n.name == name) return &n;
    return nullptr;
}

std::string Script(const char* name) {
    return std::string(PORLINEX_SOURCE_DIR) + "/toolkit/tests/testdata/" + name;
}

std::string WindowId(const std::string& title) {
    std::string out = LTestRunCapture({"xdotool", "search", "--sync", "--onlyvisible", "--name", "^" + title + "$"}, 10000);
    return out.substr(0, out.find('\n'));
}

void Click(const Node& n) {
    LTestRunCapture({"xdotool", "mousemove", "--sync", std::to_string(n.x + n.width / 2),
                     std::to_string(n.y + n.height / 2), "click", "1"},
                    10000);
}

// Compares the layer's tree with the accessibility tree and the X window:
// names, roles and rectangles; returns what disagrees.
std::vector<std::string> Agree(const std::vector<Node>& dump, const std::string& wid) {
    std::vector<std::string> errors;
    std::vector<Node> a11y;
    for (int i = 0; i < 50 && !Find(a11y, dump[0].role, dump[0].name); ++i) {
        a11y = ParseNodes(LTestRunCapture({"/usr/bin/python3", Script("atspi_tree.py"), "porlinex"}, 20000));
        if (!Find(a11y, dump[0].role, dump[0].name)) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    for (const Node& d : dump) {
        if (!d.visible || d.role == "icon") continue;
        if (d.role == "label" && d.name.empty()) continue;
        const Node* a = Find(a11y, d.role, d.name);
        if (!a) {
            std::string seen;
            for (const Node& n : a11y) seen += "\n  " + n.role + " '" + n.name + "'";
            errors.push_back("not in the accessibility tree: " + d.role + " '" + d.name + "'; it has:" + seen);
            continue;
        }
        if (a->x != d.x || a->y != d.y || a->width != d.width || a->height != d.height) {
            std::ostringstream s;
            s << d.role << " '" << d.name << "' at " << a->x << "," << a->y << " " << a->width << "x" << a->height
              << ", the layer says " << d.x << "," << d.y << " " << d.width << "x" << d.height;
            errors.push_back(s.str());
        }
    }
    std::string info = LTestRunCapture({"xwininfo", "-id", wid}, 10000);
    auto field = [&](const char* key) {
        size_t p = info.find(key);
        return p == std::string::npos ? -1 : std::atoi(info.c_str() + p + std::strlen(key));
    };
    const Node& top = dump[0];
    if (field("Absolute upper-left X:") != top.x || field("Absolute upper-left Y:") != top.y ||
        field("Width:") != top.width || field("Height:") != top.height)
        errors.push_back("xwininfo disagrees on the window's rectangle:\n" + info);
    if (info.find("\"" + top.name + "\"") == std::string::npos) errors.push_back("xwininfo names another window:\n" + info);
    return errors;
}

// Lets GTK map and draw what was just shown.
void Settle(int ms) {
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) LMsgWaitForMultiple(nullptr, 0, 20);
}

class GtkDesktop : public ::testing::Test {
protected:
    void SetUp() override {
        LTestDisplay& d = LTestDisplay::Shared();
        ASSERT_TRUE(d.Ok()) << d.Error();
        ASSERT_TRUE(LWindowLayerOpen(LBackendKind::Gtk));
    }
};

TEST_F(GtkDesktop, TaskDialogAgreesWithAccessibilityAndTakesRealInput) {
    const LTaskChoice choices[] = {{41, u"Keep the mirror", u"Mail stays on this computer."},
                                   {42, u"Remove the mirror", u"Every stored message is deleted."},
                                   {43, u"Decide later", u"Nothing changes now."},
                                   {0, nullptr, nullptr}};
    struct Case {
        const char* action;
        bool close_button;
        int expect;
    };
    const Case cases[] = {{"second", false, 42}, {"escape", false, -1}, {"close", true, LIDCLOSE}};
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.action);
        std::string title = "Mirror choice " + std::to_string(++n);
        std::u16string wtitle(title.begin(), title.end());
        LTaskDialog d(LHwnd::Null, wtitle.c_str(), u"What should happen to the mirror?",
                      u"Porlinex keeps a copy of your mail.", choices, 41);
        d.show_verification = true;
        d.use_close_button = c.close_button;
        std::vector<std::string> errors;
        std::thread driver;
        LTestWhenModalLoopRuns([&] {
            Settle(300);
            std::vector<Node> dump = ParseNodes(LDumpWindowTree(d.hwnd));
            LHwnd h = d.hwnd;
            driver = std::thread([&errors, dump, h, title, c] {
                std::string wid = WindowId(title);
                if (wid.empty()) {
                    errors.push_back("no X window named " + title);
                } else {
                    if (std::string(c.action) == "second") errors = Agree(dump, wid);
                    auto item = [&](const char* role, const char* name) { return Find(dump, role, name); };
                    if (std::string(c.action) == "second") {
                        Click(*item("radio button", "Remove the mirror"));
                        Click(*item("push button", "OK"));
                    } else if (std::string(c.action) == "escape") {
                        LTestRunCapture({"xdotool", "windowfocus", "--sync", wid, "key", "Escape"}, 10000);
                    } else {
                        Click(*item("push button", "Close"));
                    }
                }
                // Whatever happened, the dialog must not stay up for ever.
                for (int i = 0; i < 250 && LIsWindow(h); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
                if (LIsWindow(h)) LPostMessage(h, LWM_COMMAND, LIDCANCEL, 0);
            });
        });
        int r = d.Run();
        driver.join();
        EXPECT_EQ(r, c.expect);
        for (const std::string& e : errors) ADD_FAILURE() << e;
    }
}

TEST_F(GtkDesktop, RelabelledMessageBoxMatchesItsArithmeticAndLooks) {
    const LMessageButton buttons[] = {{LIDYES, u"Keep running in the background"}, {LIDNO, u"Stop"}};
    std::vector<std::string> errors;
    std::thread driver;
    std::string shot = std::string(PORLINEX_BINARY_DIR) + "/artifacts/message_box.png";
    std::filesystem::create_directories(std::filesystem::path(shot).parent_path());
    LTestWhenModalLoopRuns([&] {
        Settle(500);
        LHwnd box = LGetActiveWindow();
        LHwnd yes = LGetDlgItem(box, LIDYES), no = LGetDlgItem(box, LIDNO);
        LRect ry = LGetWindowRect(yes), rn = LGetWindowRect(no);
        LRect client = LGetClientRect(box);
        LPoint py = LScreenToClient(box, {ry.left, ry.top});
        int text = LMeasureText(*LGetWindowFont(box), u"Keep running in the background", 0).cx;
        // The arithmetic: every listed button text width + 12, 8 apart,
        // 12 above the bottom, from the right or from 5 in a grown box.
        EXPECT_EQ(ry.Width(), text + 12);
        EXPECT_EQ(rn.Width(), text + 12);
        EXPECT_EQ(rn.left - ry.left, text + 20);
        EXPECT_EQ(py.y, client.bottom - ry.Height() - 12);
        EXPECT_TRUE(py.x == 5 || py.x == client.right - 2 * (text + 20) + 3) << py.x;
        std::vector<Node> dump = ParseNodes(LDumpWindowTree(box));
        std::string title = "Confirm Stop";
        driver = std::thread([&errors, dump, box, title, shot] {
            std::string wid = WindowId(title);
            errors = Agree(dump, wid);
            LTestRunCapture({"import", "-window", wid, shot}, 20000);
            std::string golden = Script("message_box_golden.png");
            std::string size = LTestRunCapture({"identify", "-format", "%w %h", shot}, 20000);
            std::string differing = LTestRunCapture(
                {"compare", "-metric", "AE", "-fuzz", "20%", golden, shot, "null:"}, 20000, nullptr, true);
            // Anti-aliasing and a hovered button may change a few pixels;
            // more than 1 % is a different picture.
            int w = 0, h = 0;
            std::sscanf(size.c_str(), "%d %d", &w, &h);
            bool same_size = size == LTestRunCapture({"identify", "-format", "%w %h", golden}, 20000);
            if (w == 0 || !same_size || differing.empty() || !std::isdigit(static_cast<unsigned char>(differing[0])) ||
                std::atof(differing.c_str()) > w * h / 100.0)
                errors.push_back("the screenshot (" + shot + ", " + size + ") differs from the golden picture in " +
                                 differing + " pixels");
            Click(*Find(dump, "push button", "Stop"));
            for (int i = 0; i < 250 && LIsWindow(box); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (LIsWindow(box)) LPostMessage(box, LWM_COMMAND, LIDCANCEL, 0);
        });
    });
    int r = LShowMessageBox(LHwnd::Null, u"Do you want Porlinex to continue to operate in the background?",
                            u"Confirm Stop", buttons, 2, LTD_INFORMATION_ICON, 0x24, 0);
    driver.join();
    EXPECT_EQ(r, LIDNO);
    for (const std::string& e : errors) ADD_FAILURE() << e;
}

// A long text wraps at the width the layout gave it: GTK would size the
// window from the text on one line. A question of type MB_TOPMOST stays
// above other windows.
TEST_F(GtkDesktop, LongQuestionsTakeTheirLayoutsSizeAndTopmostOnesStayAbove) {
    const char16_t* text =
        u"Oops! Porlinex had an abnormal termination. Help us fix this problem by clicking 'Report Bug' below and "
        u"entering a bug report for our developers. Please describe what you were doing when it happened, in as much "
        u"detail as you can.\r\n\r\nWe appreciate your help!";
    for (bool topmost : {false, true}) {
        SCOPED_TRACE(topmost);
        std::vector<std::string> errors;
        std::string state;
        std::thread driver;
        LTestWhenModalLoopRuns([&] {
            Settle(500);
            LHwnd box = LGetActiveWindow();
            std::vector<Node> dump = ParseNodes(LDumpWindowTree(box));
            driver = std::thread([&errors, &state, dump, box] {
                std::string wid = WindowId("Abnormal Termination Detected");
                errors = Agree(dump, wid);
                state = LTestRunCapture({"xprop", "-id", wid, "_NET_WM_STATE"}, 10000);
                Click(*Find(dump, "push button", "No"));
                for (int i = 0; i < 250 && LIsWindow(box); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
                if (LIsWindow(box)) LPostMessage(box, LWM_COMMAND, LIDNO, 0);
            });
        });
        bool yes = topmost ? LAskYesNoTopmost(text, u"Abnormal Termination Detected", u"Report Bug", u"No")
                           : LAskYesNoCustom(LHwnd::Null, text, u"Abnormal Termination Detected", u"Report Bug", u"No");
        driver.join();
        EXPECT_FALSE(yes);
        for (const std::string& e : errors) ADD_FAILURE() << e;
        EXPECT_EQ(state.find("_NET_WM_STATE_ABOVE") != std::string::npos, topmost) << state;
    }
}

TEST_F(GtkDesktop, CancelEndsAProgressWaitAtOnce) {
    LProgressDialog p(u"Copying mail");
    ASSERT_TRUE(p.Show(LHwnd::Null));
    p.Progress()->SetStatusText(u"Copying the Inbox", 0);
    Settle(300);
    std::vector<Node> dump = ParseNodes(LDumpWindowTree(p.hwnd));
    const Node* cancel = Find(dump, "push button", "Cancel");
    ASSERT_NE(cancel, nullptr);
    std::atomic<int64_t> clicked_at{0};
    std::thread driver([&] {
        std::string wid = WindowId("Copying mail");
        LTestRunCapture({"xdotool", "mousemove", "--sync", std::to_string(cancel->x + cancel->width / 2),
                         std::to_string(cancel->y + cancel->height / 2)},
                        10000);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        clicked_at = Clock::now().time_since_epoch().count();
        LTestRunCapture({"xdotool", "click", "1"}, 10000);
    });
    uint32_t r = p.Progress()->WaitStop(5000);
    int64_t returned = Clock::now().time_since_epoch().count();
    driver.join();
    EXPECT_EQ(r, LWaitStopped);
    ASSERT_NE(clicked_at.load(), 0);
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::duration(returned - clicked_at)).count(), 200);
    p.Close(LHwnd::Null);
}

TEST_F(GtkDesktop, BalloonClosesOnAKeyPress) {
    struct Form : LDialog {
        void OnInitDialog() override {
            LSetWindowText(hwnd, u"Uninstall Reason");
            CreateChild(110, u"Edit", u"", LWS_VISIBLE | LWS_TABSTOP, 0);
            SetClientSize(400, 120);
            MoveItem(110, 20, 20, 360, 28);
        }
    } form;
    std::atomic<bool> shown{false}, there_before_key{false}, closed{false};
    std::string icon;
    bool icon_shown = false;
    GtkAllocation icon_at{}, title_at{};
    std::thread driver;
    LTestWhenModalLoopRuns([&] {
        Settle(300);
        form.ShowBalloonTip(110, u"Please tell us why you are leaving.", LTTI_WARNING, u"Uninstall Reason");
        LHwnd tip = form.balloon.tip;
        shown = LIsWindowVisible(tip);
        // The warning icon before the title, 8 pixels in from the bubble's edge.
        Settle(200);
        LGtkPeer* peer = LGtkPeerOf(*LWndFind(tip));
        const gchar* name = nullptr;
        gtk_image_get_icon_name(GTK_IMAGE(peer->icon), &name, nullptr);
        icon = name ? name : "";
        icon_shown = gtk_widget_get_mapped(peer->icon);
        gtk_widget_get_allocation(peer->icon, &icon_at);
        gtk_widget_get_allocation(peer->title, &title_at);
        driver = std::thread([&, tip] {
            std::string wid = WindowId("Uninstall Reason");
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            there_before_key = LIsWindow(tip);
            LTestRunCapture({"xdotool", "windowfocus", "--sync", wid, "key", "a"}, 10000);
            for (int i = 0; i < 100 && LIsWindow(tip); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
            closed = !LIsWindow(tip);
            LPostMessage(form.hwnd, LWM_COMMAND, LIDOK, 0);
        });
    });
    EXPECT_TRUE(LDialog::RunModal(&form, LHwnd::Null));
    driver.join();
    EXPECT_TRUE(shown);
    EXPECT_TRUE(there_before_key);
    EXPECT_TRUE(closed);
    EXPECT_EQ(icon, "dialog-warning");
    EXPECT_TRUE(icon_shown);
    EXPECT_EQ(icon_at.x, 8);
    EXPECT_EQ(icon_at.y, 8);
    EXPECT_GT(title_at.x, icon_at.x + icon_at.width);
}

}  // namespace

namespace {

TEST_F(GtkDesktop, TaskbarProgressGoesOutOnTheSessionBus) {
    std::string seen;
    std::thread monitor([&] {
        seen = LTestRunCapture({"dbus-monitor", "--session", "interface='com.canonical.Unity.LauncherEntry'"}, 3000);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    LProgressDialog p(u"Backing up");
    ASSERT_TRUE(p.Show(LHwnd::Null));
    p.Progress()->SetProgress(0.25);
    p.Progress()->StartMarquee();
    p.Close(LHwnd::Null);
    monitor.join();
    EXPECT_NE(seen.find("member=Update"), std::string::npos) << seen;
    EXPECT_NE(seen.find("application://porlinex.desktop"), std::string::npos) << seen;
    EXPECT_NE(seen.find("double 0.25"), std::string::npos) << seen;
    EXPECT_NE(seen.find("progress-visible"), std::string::npos) << seen;
}

}  // namespace
