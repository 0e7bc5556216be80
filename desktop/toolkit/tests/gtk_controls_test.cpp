// The self-painted controls and links with real input on the GTK backend:
// a link released outside itself opens nothing, released inside opens its
// target through the desktop's opener; the banner paints, shows its text
// and buttons, and a click on its close glyph hides it and sends 813.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "desktop/toolkit/edit_prompt.h"
#include "desktop/toolkit/notification_banner.h"
#include "desktop/toolkit/window.h"
#include "tests/support/test_display.h"
#include "tests/support/test_pump.h"
#include "tests/support/test_root.h"

namespace {

struct Host : LDialog, LSizeHandler {
    std::vector<int> commands;
    LPushNotificationPanel* banner = nullptr;
    void OnCommand(int id, int) override { commands.push_back(id); }
    void OnSize(int width, int height) override {
        int h = DialogUnitsToPixelsY(19);
        if (banner && banner->shown) LMoveWindow(banner->hwnd, 0, height - h, width, h, true);
    }
};

void Pump(int rounds) {
    for (int i = 0; i < rounds; ++i) LTestPumpUntil([] { return true; });
}

void Mouse(const std::vector<std::string>& steps) {
    std::vector<std::string> argv = {"xdotool"};
    argv.insert(argv.end(), steps.begin(), steps.end());
    LTestRunCapture(argv, 10000);
}

class GtkControls : public ::testing::Test {
protected:
    void SetUp() override {
        LTestDisplay& d = LTestDisplay::Shared();
        ASSERT_TRUE(d.Ok()) << d.Error();
        ASSERT_TRUE(LWindowLayerOpen(LBackendKind::Gtk));
    }
    LHwnd Show(Host& host, int width, int height) {
        LDialogCreate t;
        t.title = u"Controls";
        t.style = LWS_POPUP | LWS_CAPTION | LWS_VISIBLE;
        LHwnd h = LCreateDialog(t, LHwnd::Null, LDialogProc, reinterpret_cast<LLParam>(&host));
        LMoveWindow(h, 100, 100, width, height, true);
        LForceForegroundWindow(h);
        Pump(10);
        return h;
    }
    std::string Mid(const LRect& r, bool x) { return std::to_string(x ? (r.left + r.right) / 2 : (r.top + r.bottom) / 2); }
};

TEST_F(GtkControls, LinkOpensOnlyWhenReleasedOnIt) {
    LTestRoot root;
    // A recording opener first on PATH.
    std::string bin = root.Path() + "/bin", opened = root.Path() + "/opened";
    std::filesystem::create_directories(bin);
    std::ofstream(bin + "/xdg-open") << "#!/bin/sh\necho \"$1\" >> '" << opened << "'\n";
    chmod((bin + "/xdg-open").c_str(), 0755);
    std::string old_path = getenv("PATH");
    setenv("PATH", (bin + ":" + old_path).c_str(), 1);

    Host host;
    LHwnd dlg = Show(host, 400, 200);
    LHwnd link = host.CreateChild(700, u"Static", u"Open the page", LWS_VISIBLE, 0);
    LMoveWindow(link, 20, 20, 150, 24, true);
    LMakeHyperlink(&host, 700, u"https://example.org/page");
    Pump(10);
    LRect r = LGetWindowRect(link);

    // Pressed on the link, released beside it: nothing opens.
    Mouse({"mousemove", "--sync", Mid(r, true), Mid(r, false), "mousedown", "1"});
    ASSERT_TRUE(LTestPumpUntil([&] { return LGetProp(link, "HLPressed") == 1; }));
    Mouse({"mousemove", "--sync", std::to_string(r.right + 100), Mid(r, false), "mouseup", "1"});
    ASSERT_TRUE(LTestPumpUntil([&] { return LGetProp(link, "HLPressed") == 0; }));
    // Pressed and released on it: the target opens.
    Mouse({"mousemove", "--sync", Mid(r, true), Mid(r, false), "click", "1"});
    ASSERT_TRUE(LTestWaitFor(20000, [&] {
        Pump(1);
        return !LTestReadFile(opened).empty();
    }));
    EXPECT_EQ(LTestReadFile(opened), "https://example.org/page\n");  // once: the first release opened nothing
    setenv("PATH", old_path.c_str(), 1);
    LDestroyWindow(dlg);
}

TEST_F(GtkControls, BannerPaintsAndClosesOnItsGlyph) {
    Host host;
    LPushNotificationPanel banner;
    host.banner = &banner;
    LHwnd dlg = Show(host, 640, 240);
    ASSERT_TRUE(banner.Create(&host, &host));
    banner.Show(u"A new version of Porlinex is ready to install.", u"Download", 810, u"Later", 811);
    ASSERT_TRUE(LTestPumpUntil([&] { return banner.close.rect.right > 0 && banner.buttons[1].rect.right > 0; }));
    Pump(10);

    std::filesystem::create_directories(std::string(PORLINEX_BINARY_DIR) + "/artifacts");
    std::string shot = std::string(PORLINEX_BINARY_DIR) + "/artifacts/banner.png";
    std::string wid = LTestRunCapture({"xdotool", "search", "--onlyvisible", "--name", "^Controls$"}, 10000);
    LTestRunCapture({"import", "-window", wid.substr(0, wid.find('\n')), shot}, 20000);
    EXPECT_TRUE(std::filesystem::exists(shot));

    LRect b = LGetWindowRect(banner.hwnd);
    LRect c = banner.close.rect;
    Mouse({"mousemove", "--sync", std::to_string(b.left + (c.left + c.right) / 2),
           std::to_string(b.top + (c.top + c.bottom) / 2), "click", "1"});
    ASSERT_TRUE(LTestPumpUntil([&] { return !host.commands.empty(); }));
    EXPECT_EQ(host.commands, std::vector<int>{LBannerCloseCommand});
    EXPECT_FALSE(LIsWindowVisible(banner.hwnd));
    LDestroyWindow(dlg);
}

}  // namespace
