// The hang watch: when heartbeats go unanswered the report starts and when
// they are answered again it closes; the real program shows the dialog
// over a window thread that stops, and closes it once the thread answers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <thread>

#include "desktop/app/hang_watchdog.h"
#include "desktop/toolkit/dialog_template.h"
#include "foundation/exe_task.h"
#include "foundation/reg_settings.h"
#include "foundation/wait.h"
#include "host/hang_report.h"
#include "tests/support/test_display.h"
#include "tests/support/test_pump.h"
#include "tests/support/test_root.h"

namespace {

std::string Source(const std::string& rel) { return std::string(PORLINEX_SOURCE_DIR) + "/" + rel; }

TEST(HangDecision, ReportsAfterTenSilentSecondsOnceAndRecoversOnAnAnswer) {
    struct Step {
        uint64_t now, last_answer;
        LHangDecision::Action expect;
    };
    const Step steps[] = {
        {1000, 1000, LHangDecision::None},      // answered at once
        {10999, 1000, LHangDecision::None},     // just short of the limit
        {11000, 1000, LHangDecision::Report},   // ten seconds unanswered
        {15000, 1000, LHangDecision::None},     // still hung: one report only
        {16000, 15500, LHangDecision::Recovered},
        {17000, 16500, LHangDecision::None},
        {27000, 16500, LHangDecision::Report},  // a second hang reports again
        {28000, 30000, LHangDecision::Recovered},  // an answer stamped after now counts as answered
    };
    LHangDecision d;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.now);
        EXPECT_EQ(d.Step(s.now, s.last_answer), s.expect);
    }
}

TEST(HangReportTask, RefusesAProcessThatIsNotItsParent) {
    LTestRoot root;
    // A stranger (this test's own parent), the first process, nothing, a
    // negative one: none may be ended from the dialog, which never shows.
    for (int32_t pid : {static_cast<int32_t>(getppid()), 1, 0, -5}) {
        SCOPED_TRACE(pid);
        LHangReportRequest request;
        request.pid = pid;
        uint32_t result = 0;
        LPlainWait wait;
        LExeTaskRun(&result, &wait, &request, sizeof request, u"HangReport", LTestProgramPath().c_str());
        EXPECT_EQ(result, 2u);
    }
}

// A window that answers heartbeats whenever its thread runs its loop, with
// its watchdog started on the real program's dialog.
class HeartbeatWindow : public LDialog {
public:
    ~HeartbeatWindow() override {
        dog.reset();
        if (hwnd != LHwnd::Null) LDestroyWindow(hwnd);
    }
    bool Open() {
        if (LCreateDialogFromResource(this) == LHwnd::Null) return false;
        dog = std::make_unique<LHangWatchdog>(hwnd);
        dog->report.program = LTestProgramPath();
        dog->Start();
        return LTestPumpUntil([] { return true; });
    }
    void End(intptr_t) override {}
    LResult HandleMessage(uint32_t msg, LWParam w, LLParam l) override {
        if (msg == LWM_HEARTBEAT) {
            if (dog) dog->Answer();
            return 1;
        }
        return LDialog::HandleMessage(msg, w, l);
    }
    std::unique_ptr<LHangWatchdog> dog;
};

bool DialogShown() {
    return !LTestRunCapture({"xdotool", "search", "--onlyvisible", "--name", "^Notify Development Team$"}, 5000).empty();
}

TEST(HangReportDesktop, AStoppedWindowThreadShowsTheReportAndRecoveryClosesIt) {
    LTestDisplay& display = LTestDisplay::Shared();
    ASSERT_TRUE(display.Ok()) << display.Error();
    ASSERT_TRUE(LWindowLayerOpen(LBackendKind::Gtk));
    LTestRoot root;
    HeartbeatWindow window;
    ASSERT_TRUE(window.Open());
    // The window thread stops: nothing here runs its loop.
    ASSERT_TRUE(LTestWaitFor(60000, [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        return DialogShown();
    }));
    std::string tree =
        LTestRunCapture({"/usr/bin/python3", Source("desktop/toolkit/tests/testdata/atspi_tree.py"), "porlinex"}, 20000);
    EXPECT_NE(tree.find("Report bug"), std::string::npos) << tree;
    EXPECT_NE(tree.find("Close Porlinex"), std::string::npos) << tree;
    EXPECT_NE(tree.find("We're sorry for the interruption in your work."), std::string::npos) << tree;
    // The thread answers again: the dialog goes and its copy ends.
    EXPECT_TRUE(LTestPumpUntil([] { return !DialogShown(); }));
    EXPECT_TRUE(LTestPumpUntil([&] { return !window.dog->report.IsRunning(); }));
}

// Run as the hung process of the next test: its window thread never
// returns to its loop.
TEST(HangFixture, Hang) {
    if (!std::getenv("PORLINEX_HANG_FIXTURE")) GTEST_SKIP() << "only run as the hung process of the hang tests";
    ASSERT_TRUE(LWindowLayerOpen(LBackendKind::Gtk));
    HeartbeatWindow window;
    ASSERT_TRUE(window.Open());
    std::this_thread::sleep_for(std::chrono::seconds(120));
}

TEST(HangReportDesktop, CloseEndsTheHungProcess) {
    LTestDisplay& display = LTestDisplay::Shared();
    ASSERT_TRUE(display.Ok()) << display.Error();
    LTestRoot root;
    LTestProcess hung({std::filesystem::read_symlink("/proc/self/exe").string(), "--gtest_filter=HangFixture.Hang"},
                      {"PORLINEX_HANG_FIXTURE=1"});
    std::regex link("\\{\"role\": \"[^\"]*\", \"name\": \"Close Porlinex[^\"]*\", \"x\": (-?\\d+), \"y\": "
                    "(-?\\d+), \"width\": (\\d+), \"height\": (\\d+)\\}");
    std::smatch m;
    std::string tree;
    ASSERT_TRUE(LTestWaitFor(60000, [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        if (!DialogShown()) return false;
        tree = LTestRunCapture({"/usr/bin/python3", Source("desktop/toolkit/tests/testdata/atspi_tree.py"), "porlinex"}, 20000);
        return std::regex_search(tree, m, link);
    })) << tree;
    int x = std::stoi(m[1]) + std::stoi(m[3]) / 2, y = std::stoi(m[2]) + std::stoi(m[4]) / 2;
    LTestRunCapture({"xdotool", "mousemove", "--sync", std::to_string(x), std::to_string(y), "click", "1"}, 10000);
    EXPECT_EQ(hung.Wait(30000), 128 + SIGKILL);
    char16_t check[260];
    EXPECT_TRUE(LRegUserSettingsGet(u"Settings", u"VersionCheckAfterCrash", u"", check));
    EXPECT_EQ(std::u16string(check), u"1");
    EXPECT_TRUE(LTestWaitFor(20000, [] { return !DialogShown(); }));
}

}  // namespace
