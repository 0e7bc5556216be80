// The maker's notices on a virtual display: the main window fetches the
// notes from a recording server, shows the first due notice in its banner,
// and the banner's buttons, clicked with xdotool, open the address (through
// a recording xdg-open), ask to be reminded later, or close the notice for
// good. Each start of the main window shows at most one notice.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "desktop/app/main_window.h"
#include "foundation/lstring.h"
#include "foundation/reg_settings.h"
#include "setup/push_notification_thread.h"
#include "setup/tests/browser_stand_in.h"
#include "tests/support/http_peer.h"
#include "tests/support/test_display.h"
#include "tests/support/test_pump.h"
#include "tests/support/test_root.h"
#include "toolkit/dialog_template.h"

namespace {

// Three notices; each start of the window shows the first one still due.
const char kNotes[] =
    "id=web&body=Porlinex+2.1+is+out&btn1act=webpage&btn1label=Read+more&btn1data=https%3A%2F%2Fexample.test%2F2.1\n"
    "id=later&body=Try+the+tools&btn1act=later&btn1label=Remind+me+later\n"
    "id=plain&body=Thank+you+for+using+Porlinex\n";

std::string Viewed(const char16_t* id, const char16_t* name) {
    char16_t out[260];
    std::u16string key = std::u16string(u"Software\\Vek Software\\Porlinex\\PushNotifications\\") + id;
    LRegReadString(LRegHive::CurrentUser, key.c_str(), name, u"", out);
    return LToUtf8(out);
}

class PushBanner : public ::testing::Test {
protected:
    void SetUp() override {
        LTestDisplay& d = LTestDisplay::Shared();
        ASSERT_TRUE(d.Ok()) << d.Error();
        ASSERT_TRUE(LWindowLayerOpen(LBackendKind::Gtk));
        recorder_ = LTestHttpPeer::Recorder(root_.Path() + "/peer", LTestHttpAnswer("200 OK", kNotes));
        ASSERT_TRUE(recorder_->Ready());
        LRegSettingsSet(u"Maker", u"DownloadHost", LFromUtf8(recorder_->Host()).c_str());
        LRegSettingsSet(u"Settings", u"Runs", u"2");
        LPushNotificationThread::SetWaitsForTests(0, 100);
    }
    void TearDown() override { LPushNotificationThread::SetWaitsForTests(300000, 60000); }

    // The main window shown in front, as after the user opened it.
    std::unique_ptr<LAppMainWindow> Start() {
        auto w = std::make_unique<LAppMainWindow>();
        EXPECT_NE(LCreateDialogFromResource(w.get()), LHwnd::Null);
        w->banner.Create(w.get(), w.get());
        // The window hides itself after start; the user brings it back.
        EXPECT_TRUE(LTestPumpUntil([&] { return w->hidden_to_background; }));
        LMoveWindow(w->hwnd, 100, 100, 720, 260, true);
        LShowWindow(w->hwnd, LSW_SHOW);
        LForceForegroundWindow(w->hwnd);
        return w;
    }
    // Waits for the banner with the text and clicks the middle of an area.
    void ClickWhenShown(LAppMainWindow& w, const std::u16string& text, const LPushNotificationPanel::Area& area) {
        ASSERT_TRUE(LTestPumpUntil([&] { return w.banner.shown && area.rect.right > 0; })) << LToUtf8(text.c_str());
        EXPECT_EQ(w.banner.text, text);
        LRect b = LGetWindowRect(w.banner.hwnd);
        int x = b.left + (area.rect.left + area.rect.right) / 2, y = b.top + (area.rect.top + area.rect.bottom) / 2;
        LTestRunCapture({"xdotool", "mousemove", "--sync", std::to_string(x), std::to_string(y), "click", "1"}, 10000);
        ASSERT_TRUE(LTestPumpUntil([&] { return !w.banner.shown; }));
    }
    void End(std::unique_ptr<LAppMainWindow>& w) {
        LDestroyWindow(w->hwnd);
        LTestPumpUntil([] { return true; });
        w.reset();
    }

    LTestRoot root_;
    std::unique_ptr<LTestHttpPeer> recorder_;
};

TEST_F(PushBanner, ButtonsOpenTheAddressRemindLaterAndClose) {
    LTestBrowserStandIn browser(root_.Path() + "/bin");

    auto w = Start();
    ASSERT_TRUE(LTestPumpUntil([&] { return w->banner.buttons[0].rect.right > 0; }));
    // A picture of the banner for people to look at.
    std::filesystem::create_directories(std::string(PORLINEX_BINARY_DIR) + "/artifacts");
    std::string wid = LTestRunCapture({"xdotool", "search", "--onlyvisible", "--name", "^Porlinex by Vek Software$"}, 10000);
    LTestRunCapture({"import", "-window", wid.substr(0, wid.find('\n')),
                     std::string(PORLINEX_BINARY_DIR) + "/artifacts/push_banner.png"},
                    20000);
    ClickWhenShown(*w, u"Porlinex 2.1 is out", w->banner.buttons[0]);
    EXPECT_EQ(w->banner.buttons[0].caption, u"Read more");
    EXPECT_EQ(w->banner.buttons[1].caption, u"");
    ASSERT_TRUE(LTestWaitFor(20000, [&] { return LTestReadFile(browser.Record()) == "https://example.test/2.1\n"; }))
        << LTestReadFile(browser.Record());
    EXPECT_NE(Viewed(u"web", u"Viewed"), "");
    End(w);

    // The next start shows the next notice; "later" sets it aside.
    w = Start();
    ClickWhenShown(*w, u"Try the tools", w->banner.buttons[0]);
    EXPECT_NE(Viewed(u"later", u"RemindLater"), "");
    EXPECT_EQ(Viewed(u"later", u"Viewed"), "");
    End(w);

    // A notice without buttons; its close glyph dismisses it for good.
    w = Start();
    ClickWhenShown(*w, u"Thank you for using Porlinex", w->banner.close);
    EXPECT_EQ(w->banner.buttons[0].caption, u"");
    EXPECT_NE(Viewed(u"plain", u"Viewed"), "");
    End(w);

    // The notes were fetched once; the later starts used the saved copy.
    std::string log = recorder_->Log();
    EXPECT_EQ(log.find("GET /components/notifications/porlinex.txt"), log.rfind("GET /components/notifications/porlinex.txt"))
        << log;
    EXPECT_EQ(LTestReadFile(browser.Record()), "https://example.test/2.1\n");
}

}  // namespace
