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
#include "foundation/data_folder.h"
#include "foundation/exe_task.h"
#include "foundation/lstring.h"
#include "foundation/reg_settings.h"
#include "foundation/wait.h"
#include "host/crash_handler.h"
#include "host/hang_report.h"
#include "tests/support/http_peer.h"
#include "tests/support/open_recorder.h"
#include "tests/support/test_accessible.h"
#include "tests/support/test_display.h"
#include "tests/support/test_pump.h"
#include "tests/support/test_root.h"
#include "toolkit/dialog_template.h"

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
        LTestRunCapture({"/usr/bin/python3", Source("toolkit/tests/testdata/atspi_tree.py"), "porlinex"}, 20000);
    EXPECT_NE(tree.find("Report bug"), std::string::npos) << tree;
    EXPECT_NE(tree.find("Close Porlinex"), std::string::npos) << tree;
    EXPECT_NE(tree.find("We're sorry for the interruption in your work."), std::string::npos) << tree;
    // The two links are as wide as the layout made them (the same), inside
    // the dialog, however long their notes.
    auto extents = [&](const std::string& role, const std::string& name) {
        std::smatch m;
        std::regex node("\\{\"role\": \"" + role + "\", \"name\": \"" + name +
                        "[^\"]*\", \"x\": (-?\\d+), \"y\": -?\\d+, \"width\": (\\d+)");
        return std::regex_search(tree, m, node) ? std::make_pair(std::stoi(m[1]), std::stoi(m[2])) : std::make_pair(0, -1);
    };
    auto report = extents("push button", "Report bug"), close = extents("push button", "Close Porlinex");
    auto dialog = extents("dialog", "Notify Development Team");
    EXPECT_EQ(report.second, close.second) << tree;
    EXPECT_GT(report.second, 0) << tree;
    EXPECT_LE(report.first + report.second, dialog.first + dialog.second) << tree;
    // The thread answers again: the dialog goes and its copy ends.
    EXPECT_TRUE(LTestPumpUntil([] { return !DialogShown(); }));
    EXPECT_TRUE(LTestPumpUntil([&] { return !window.dog->report.IsRunning(); }));
}

// Run as the hung process of the next test: its window thread never
// returns to its loop.
TEST(HangFixture, Hang) {
    if (!std::getenv("PORLINEX_HANG_FIXTURE")) GTEST_SKIP() << "only run as the hung process of the hang tests";
    // As in the program: its dumps are written by the real program.
    LCrashHandlerInstall(LTestProgramPath().c_str());
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
        tree = LTestRunCapture({"/usr/bin/python3", Source("toolkit/tests/testdata/atspi_tree.py"), "porlinex"}, 20000);
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

// "Report bug": the hung process has its dump written by the real program,
// opens the problem-report page, uploads the text report to the maker's
// host and ends; its dump files go with it.
TEST(HangReportDesktop, ReportBugDumpsUploadsAndEndsTheHungProcess) {
    LTestDisplay& display = LTestDisplay::Shared();
    ASSERT_TRUE(display.Ok()) << display.Error();
    LTestRoot root;
    LTestOpenRecorder opener(root.Path() + "/open");
    auto peer = LTestHttpPeer::Recorder(root.Path() + "/peer", "HTTP/1.0 200 OK\r\n\r\n");
    ASSERT_TRUE(peer->Ready());
    std::string host = "127.0.0.1:" + std::to_string(peer->Port());
    LRegSettingsSet(u"Maker", u"WebHost", LFromUtf8(host).c_str());

    LTestProcess hung({std::filesystem::read_symlink("/proc/self/exe").string(), "--gtest_filter=HangFixture.Hang"},
                      {"PORLINEX_HANG_FIXTURE=1"});
    std::string tree;
    ASSERT_TRUE(LTestClickAccessible("porlinex", "Report bug[^\"]*", 60000, &tree)) << tree;
    EXPECT_EQ(hung.Wait(60000), 1);
    EXPECT_TRUE(LTestWaitFor(20000, [] { return !LTestWindowShown("Notify Development Team"); }));

    ASSERT_TRUE(LTestWaitFor(20000, [&] { return !opener.Opened().empty(); }));
    std::string opened = opener.Opened();
    std::smatch m;
    ASSERT_TRUE(std::regex_match(opened, m,
                                 std::regex("https://" + host +
                                            "/software/bug\\.html\\?software=Porlinex&version=2\\.01&xi=AbHangSysCb-"
                                            "Win100-MAIN\\(Cmd-?\\d+\\)&iid=[^&]+&data=dump%3D([^%&]+)%26memfrhp%3D.*"
                                            "&appbits=64&rdf=")))
        << opened;
    std::string name = m[1];
    EXPECT_TRUE(std::regex_match(name, std::regex("\\d{4}(-\\d\\d){5}-\\d{4}\\.dmp"))) << name;

    // The text report of the hung process, walked while its window thread
    // slept, under the name the page was given; never the dump itself.
    std::vector<std::string> requests = peer->Requests();
    ASSERT_EQ(requests.size(), 1u);
    const std::string& r = requests[0];
    std::string head = "POST /minidumpupload HTTP/1.0\r\nHost: " + host +
                       "\r\nContent-Type: multipart/form-data; boundary=Tq7Rm3Yb4Al9Wp8Hg2Co1Bj5Nv6\r\nContent-Length: ";
    ASSERT_EQ(r.rfind(head, 0), 0u) << r;
    size_t body = r.find("\r\n\r\n");
    ASSERT_NE(body, std::string::npos);
    EXPECT_EQ(r.substr(head.size(), body - head.size()), std::to_string(r.size() - body - 4));
    std::string part = "\r\n\r\n--Tq7Rm3Yb4Al9Wp8Hg2Co1Bj5Nv6\r\nContent-Disposition: form-data; name=\"file\"; filename=\"" +
                       name + "\"\r\nContent-Type: application/octet-stream\r\n\r\n\nThread " +
                       std::to_string(hung.Pid()) + "\n";
    EXPECT_EQ(r.compare(body, part.size(), part), 0) << r.substr(0, 1000);
    EXPECT_NE(r.find("HangFixture_Hang_Test::TestBody()"), std::string::npos) << r;
    EXPECT_NE(r.find("\nModules (base, build id, file)\n"), std::string::npos);
    EXPECT_EQ(r.find("PLXDUMP1"), std::string::npos);
    std::string tail = "\r\n--Tq7Rm3Yb4Al9Wp8Hg2Co1Bj5Nv6--\r\n";
    ASSERT_GT(r.size(), tail.size());
    EXPECT_EQ(r.compare(r.size() - tail.size(), tail.size(), tail), 0);

    char16_t appdata[260];
    LGetUserAppDataFolder(appdata);
    EXPECT_FALSE(std::filesystem::exists(LToUtf8(appdata) + "/Porlinex.dmp"));
    EXPECT_FALSE(std::filesystem::exists(LToUtf8(appdata) + "/Porlinex.dmp.txt"));
    char16_t check[260];
    EXPECT_TRUE(LRegUserSettingsGet(u"Settings", u"VersionCheckAfterCrash", u"", check));
    EXPECT_EQ(std::u16string(check), u"1");
}

}  // namespace
