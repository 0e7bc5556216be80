// The tray item on a private session bus with a stand-in panel: it
// registers with the watcher, shows its properties and menu, takes the
// panel's clicks as the window's messages, registers again when the
// watcher comes back, and stands in with a status icon while none runs.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

#include "desktop/app/tray_icon.h"
#include "tests/support/test_display.h"
#include "tests/support/test_pump.h"
#include "tests/support/test_root.h"

namespace {

std::vector<std::pair<uint32_t, intptr_t>> g_seen;

LResult Sink(LHwnd h, uint32_t msg, LWParam w, LLParam l) {
    if (msg == 0x8067) g_seen.push_back({msg, l});
    if (msg == LWM_COMMAND) g_seen.push_back({msg, static_cast<intptr_t>(LLoWord(w))});
    return LDefWindowProc(h, msg, w, l);
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

}  // namespace
