// The tray item on a private session bus with a stand-in panel: it
// registers with the watcher, shows its properties and menu, takes the
// panel's clicks as the window's messages, registers again when the
// watcher comes back, and stands in with a status icon while none runs.
// Its menu is read and clicked through libdbusmenu, as panels do, and the
// popup it shows itself (a panel's ContextMenu, the status icon's right
// click) appears on the display and takes a click.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "desktop/app/tray_icon.h"
#include "tests/support/test_accessible.h"
#include "tests/support/test_display.h"
#include "tests/support/test_pump.h"
#include "tests/support/test_root.h"

namespace {

std::vector<std::pair<uint32_t, intptr_t>> g_seen;
// The window's part in a right click: the tray's menu where it was asked for.
LTrayIcon* g_tray = nullptr;
std::vector<LMenuItem> g_menu;
std::vector<bool> g_popups;

LResult Sink(LHwnd h, uint32_t msg, LWParam w, LLParam l) {
    if (msg == 0x8067) g_seen.push_back({msg, l});
    if (msg == LWM_COMMAND) g_seen.push_back({msg, static_cast<intptr_t>(LLoWord(w))});
    if (msg == 0x8067 && l == LWM_CONTEXTMENU && g_tray) {
        LPoint at;
        bool asked = g_tray->TakeMenuPoint(&at);
        g_popups.push_back(LShowPopupMenu(h, g_menu, asked ? &at : nullptr));
    }
    return LDefWindowProc(h, msg, w, l);
}

int Count(uint32_t msg, intptr_t value) {
    int n = 0;
    for (auto& s : g_seen) n += s.first == msg && s.second == value;
    return n;
}

// Clicks a showing menu entry from another thread while this one runs the
// loop that answers the accessibility bus.
bool ClickMenuEntry(const std::string& name, std::string* tree) {
    bool clicked = false, done = false;
    std::thread t([&] {
        clicked = LTestClickAccessible("porlinex", name, 20000, tree);
        done = true;
    });
    LTestPumpUntil([&] { return done; });
    t.join();
    return clicked;
}

bool Seen(uint32_t msg, intptr_t value) {
    for (auto& s : g_seen)
        if (s.first == msg && s.second == value) return true;
    return false;
}

int Lines(const std::string& path) {
    std::string s = LTestReadFile(path);
    return static_cast<int>(std::count(s.begin(), s.end(), '\n'));
}

TEST(TrayItem, RegistersAnswersThePanelAndComesBack) {
    LTestDisplay& d = LTestDisplay::Shared();
    ASSERT_TRUE(d.Ok()) << d.Error();
    ASSERT_TRUE(LWindowLayerOpen(LBackendKind::Gtk));
    LTestRoot root;
    LRegisterClass(u"TraySink", Sink);
    LHwnd sink = LCreateWindowEx(0, u"TraySink", u"", LWS_POPUP, 0, 0, 10, 10, LHwnd::Null, 0);
    std::string script = std::string(PORLINEX_SOURCE_DIR) + "/desktop/app/tests/testdata/fake_watcher.py";
    std::string out = root.Path() + "/watcher.jsonl";
    std::vector<LMenuItem> menu = {{1002, u"&Open Porlinex", true, true}, {1003, u"Exit Porlinex", false, true}};

    auto watcher = std::make_unique<LTestProcess>(
        std::vector<std::string>{"/usr/bin/python3", script, out, "activate", "click:1003"});
    LTrayIcon tray;
    ASSERT_TRUE(tray.Add(sink, u"Porlinex", menu));
    ASSERT_TRUE(LTestPumpUntil([&] { return Lines(out) == 1 && Seen(0x8067, 0x0202) && Seen(LWM_COMMAND, 1003); }))
        << LTestReadFile(out);
    std::string record = LTestReadFile(out);
    for (const char* part : {"\"id\": \"porlinex\"", "\"title\": \"Porlinex\"", "\"status\": \"Active\"",
                             "\"tooltip\": \"Porlinex\"", "\"menu\": \"/MenuBar\"", "[32, 32, 4096]",
                             "[1002, \"_Open Porlinex\"]", "[1003, \"Exit Porlinex\"]"})
        EXPECT_NE(record.find(part), std::string::npos) << part << " in " << record;
    EXPECT_TRUE(tray.Registered());
    EXPECT_FALSE(tray.HasFallback());

    // The panel goes away: the status icon stands in.
    watcher->Signal(SIGTERM, 5000);
    ASSERT_TRUE(LTestPumpUntil([&] { return !tray.Registered() && tray.HasFallback(); }));
    // It comes back: the item registers again.
    watcher = std::make_unique<LTestProcess>(std::vector<std::string>{"/usr/bin/python3", script, out});
    ASSERT_TRUE(LTestPumpUntil([&] { return Lines(out) == 2 && tray.Registered(); })) << LTestReadFile(out);
    EXPECT_FALSE(tray.HasFallback());
    tray.Remove();
    LDestroyWindow(sink);
}

TEST(TrayItem, PanelsDrawItsMenuAndItsOwnPopupAppears) {
    LTestDisplay& d = LTestDisplay::Shared();
    ASSERT_TRUE(d.Ok()) << d.Error();
    ASSERT_TRUE(LWindowLayerOpen(LBackendKind::Gtk));
    LTestRoot root;
    g_seen.clear();
    g_popups.clear();
    LRegisterClass(u"TraySink", Sink);
    LHwnd sink = LCreateWindowEx(0, u"TraySink", u"", LWS_POPUP, 0, 0, 10, 10, LHwnd::Null, 0);
    std::string script = std::string(PORLINEX_SOURCE_DIR) + "/desktop/app/tests/testdata/fake_watcher.py";
    std::string out = root.Path() + "/watcher.jsonl";
    g_menu = {{1002, u"&Open Porlinex", true, true}, {0, u"", false, true}, {1003, u"E&xit snake_case && more", false, true}};
    LTrayIcon tray;
    g_tray = &tray;

    // libdbusmenu reads the layout and clicks Exit; then the panel asks the
    // item for its own popup at a point.
    auto watcher = std::make_unique<LTestProcess>(std::vector<std::string>{
        "/usr/bin/python3", script, out, "client", "clientclick:1003", "contextmenu:200,150"});
    ASSERT_TRUE(tray.Add(sink, u"Porlinex", g_menu));
    ASSERT_TRUE(LTestPumpUntil([&] { return Lines(out) == 1 && g_popups.size() == 1; })) << LTestReadFile(out);
    std::string record = LTestReadFile(out);
    for (const char* part : {"[1002, \"_Open Porlinex\", true]", "[65537, \"\"",
                             "[1003, \"E_xit snake__case & more\", true]"})
        EXPECT_NE(record.find(part), std::string::npos) << part << " in " << record;
    EXPECT_EQ(Count(LWM_COMMAND, 1003), 1);
    EXPECT_TRUE(g_popups[0]);
    std::string tree;
    ASSERT_TRUE(ClickMenuEntry("Open Porlinex", &tree)) << tree;
    ASSERT_TRUE(LTestPumpUntil([] { return Count(LWM_COMMAND, 1002) == 1; }));

    // No panel: the status icon's right click pops the same menu up.
    watcher->Signal(SIGTERM, 5000);
    ASSERT_TRUE(LTestPumpUntil([&] { return tray.HasFallback(); }));
    LTestRunCapture({"xdotool", "mousemove", "--sync", "300", "300"}, 10000);
    g_signal_emit_by_name(tray.Fallback(), "popup-menu", 3u, static_cast<guint>(GDK_CURRENT_TIME));
    ASSERT_TRUE(LTestPumpUntil([] { return g_popups.size() == 2; }));
    EXPECT_TRUE(g_popups[1]);
    ASSERT_TRUE(ClickMenuEntry("Open Porlinex", &tree)) << tree;
    EXPECT_TRUE(LTestPumpUntil([] { return Count(LWM_COMMAND, 1002) == 2; }));
    g_tray = nullptr;
    tray.Remove();
    LDestroyWindow(sink);
}

}  // namespace
