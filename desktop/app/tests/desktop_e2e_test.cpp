// The desktop end to end: the real program as service and as desktop on a
// virtual display with a private session bus and a stand-in panel. The
// tray's Activate opens the interface in a stand-in "chromium" whose start
// address signs in once; a second start hands over to the first; SIGTERM
// saves the placement and leaves the service running; "Exit" asks Confirm
// Stop: "Background" keeps both running, "Stop" stops the service and
// ends the desktop.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "foundation/lstring.h"
#include "foundation/reg_settings.h"
#include "host/crash_watch.h"
#include "host/service_control.h"
#include "tests/support/service_harness.h"
#include "tests/support/test_accessible.h"
#include "tests/support/test_display.h"
#include "tests/support/test_root.h"

namespace {

std::string Source(const std::string& rel) { return std::string(PORLINEX_SOURCE_DIR) + "/" + rel; }

class DesktopEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        LTestDisplay& d = LTestDisplay::Shared();
        ASSERT_TRUE(d.Ok()) << d.Error();
        folder_ = root_.Path() + "/e2e";
        std::filesystem::create_directories(folder_ + "/bin");
        // The stand-in browser records its arguments and stays until told.
        std::string browser = folder_ + "/bin/chromium";
        std::ofstream(browser) << "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > '" << folder_
                               << "/argv.tmp'\nmv '" << folder_ << "/argv.tmp' '" << folder_
                               << "/argv'\nwhile [ ! -e '" << folder_ << "/go' ]; do sleep 0.05; done\n";
        chmod(browser.c_str(), 0755);
        // The maker's pages go to a recording opener, not to a browser.
        std::ofstream(folder_ + "/bin/xdg-open") << "#!/bin/sh\necho \"$1\" >> '" << folder_ << "/opened'\n";
        chmod((folder_ + "/bin/xdg-open").c_str(), 0755);
        // Children inherit these (a second PATH entry would not count).
        old_path_ = getenv("PATH") ? getenv("PATH") : "";
        setenv("PATH", (folder_ + "/bin:" + old_path_).c_str(), 1);
        setenv("XDG_CACHE_HOME", (folder_ + "/cache").c_str(), 1);
    }
    void TearDown() override {
        setenv("PATH", old_path_.c_str(), 1);
        unsetenv("XDG_CACHE_HOME");
    }

    std::unique_ptr<LTestProcess> StartDesktop() {
        return std::make_unique<LTestProcess>(std::vector<std::string>{LTestProgramPath(), "-logon"});
    }
    std::string Arg(const std::string& prefix) {
        std::ifstream in(folder_ + "/argv");
        for (std::string line; std::getline(in, line);)
            if (line.rfind(prefix, 0) == 0) return line.substr(prefix.size());
        return {};
    }
    bool WaitArgv() {
        return LTestWaitFor(30000, [&] { return std::filesystem::exists(folder_ + "/argv"); });
    }
    // The status line and headers of a GET.
    std::string Get(const std::string& url) { return LTestRunCapture({"curl", "-s", "-D", "-", "-o", "/dev/null", url}, 20000); }
    std::string ItemName(pid_t desktop) { return "org.kde.StatusNotifierItem-" + std::to_string(desktop) + "-1"; }
    void Click(const std::string& name) {
        // The button's place from the accessibility tree.
        std::regex button("\\{\"role\": \"push button\", \"name\": \"" + name +
                          "\", \"x\": (-?\\d+), \"y\": (-?\\d+), \"width\": (\\d+), \"height\": (\\d+)\\}");
        std::smatch m;
        std::string tree;
        ASSERT_TRUE(LTestWaitFor(20000, [&] {
            tree = LTestRunCapture({"/usr/bin/python3", Source("toolkit/tests/testdata/atspi_tree.py"), "porlinex"}, 20000);
            return std::regex_search(tree, m, button);
        })) << tree;
        int x = std::stoi(m[1]) + std::stoi(m[3]) / 2, y = std::stoi(m[2]) + std::stoi(m[4]) / 2;
        LTestRunCapture({"xdotool", "mousemove", "--sync", std::to_string(x), std::to_string(y), "click", "1"}, 10000);
    }

    LTestRoot root_;
    std::string folder_;
    std::string old_path_;
};

TEST_F(DesktopEndToEnd, TrayOpensTheInterfaceSecondStartHandsOverExitStops) {
    // Installed, so that the desktop's exit can stop it.
    ASSERT_TRUE(LServiceInstall(LTestProgramPath()));
    LTestService service;
    ASSERT_TRUE(service.WaitRunning());
    ASSERT_TRUE(service.WaitWebListening());
    std::string jsonl = folder_ + "/watcher.jsonl";
    LTestProcess watcher({"/usr/bin/python3", Source("desktop/app/tests/testdata/fake_watcher.py"), jsonl, "activate"});

    // The running marker stands while the desktop runs.
    auto desktop = StartDesktop();
    EXPECT_TRUE(LTestWaitFor(20000, [] { return std::filesystem::exists(LCrashMarkerPath()); }));
    ASSERT_TRUE(LTestWaitFor(30000, [&] { return !LTestReadFile(jsonl).empty(); })) << LTestReadFile(jsonl);
    ASSERT_TRUE(WaitArgv()) << LTestService::LogText();
    char16_t port[260];
    LRegSettingsGet(u"WebServer", u"Port", u"", port);
    std::string url = Arg("--app=");
    std::regex start("http://localhost:" + LToUtf8(port) + "/start\\?token=[0-9a-zA-Z]{40}");
    EXPECT_TRUE(std::regex_match(url, start)) << url;
    struct stat st;
    ASSERT_EQ(stat(Arg("--user-data-dir=").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    std::string first = Get(url);
    EXPECT_NE(first.find("HTTP/1.1 302"), std::string::npos) << first;
    EXPECT_NE(first.find("Set-Cookie: porlinex_sess="), std::string::npos) << first;
    EXPECT_NE(Get(url).find("HTTP/1.1 401"), std::string::npos);

    // The browser goes: its profile goes with it and the thanks path runs.
    std::string profile = Arg("--user-data-dir=");
    std::ofstream(folder_ + "/go").close();
    EXPECT_TRUE(LTestWaitFor(20000, [&] { return !std::filesystem::exists(profile); }));
    EXPECT_TRUE(LTestWaitFor(20000, [&] {
        return LTestReadFile(folder_ + "/opened").find("/software/thanks.html?") != std::string::npos;
    }));

    // A second start hands over to the first, which opens the interface.
    std::filesystem::remove(folder_ + "/go");
    std::filesystem::remove(folder_ + "/argv");
    auto second = StartDesktop();
    EXPECT_EQ(second->Wait(30000), 0);
    EXPECT_TRUE(WaitArgv());
    EXPECT_TRUE(desktop->Running());

    // Session end: the placement is saved, the service keeps running.
    EXPECT_EQ(desktop->Signal(SIGTERM, 20000), 0);
    EXPECT_FALSE(std::filesystem::exists(LCrashMarkerPath()));
    char16_t width[260];
    EXPECT_TRUE(LRegUserSettingsGet(u"MainWindow", u"Width", u"", width) && width[0]);
    EXPECT_EQ(LTestServiceStateWord(), "running");

    // A service crash recorded earlier is offered once at the next start,
    // and the record is cleared.
    LRegSettingsSet(u"Errors", u"Exception", u"Service-LTCP-Win100");
    desktop = StartDesktop();
    Click("No");
    EXPECT_TRUE(LTestWaitFor(20000, [] {
        char16_t v[260];
        LRegSettingsGet(u"Errors", u"Exception", u"", v);
        return v[0] == 0;
    }));

    // Exit from the tray menu: "Stop" stops the service and ends the desktop.
    std::string name = ItemName(desktop->Pid());
    ASSERT_TRUE(LTestWaitFor(30000, [&] { return LTestReadFile(jsonl).find(name) != std::string::npos; }));
    auto exit = [&] {
        LTestRunCapture({"gdbus", "call", "--session", "--dest", name, "--object-path", "/MenuBar", "--method",
                         "com.canonical.dbusmenu.Event", "1003", "clicked", "<''>", "0"},
                        10000);
    };
    exit();
    Click("Background");  // both keep running
    ASSERT_TRUE(LTestWaitFor(20000, [] {
        return LTestRunCapture({"xdotool", "search", "--onlyvisible", "--name", "^Confirm Stop$"}, 5000).empty();
    }));
    EXPECT_TRUE(desktop->Running());
    EXPECT_EQ(LTestServiceStateWord(), "running");
    exit();
    Click("Stop");
    EXPECT_EQ(desktop->Wait(30000), 0);
    EXPECT_TRUE(LTestWaitFor(30000, [] { return LTestServiceStateWord() == "stopped"; })) << LTestServiceStateWord();
}

// A recorded service crash is asked about before the interface opens.
// The tray menu that the desktop shows itself when a panel asks for it
// (ContextMenu): it appears, and the hidden main window stays hidden. Its
// About and version-check entries open their dialogs; Open with the service
// stopped says so, and how to start it; with the service still starting it
// says that instead, and opens the interface once the service runs.
TEST_F(DesktopEndToEnd, TrayMenuReachesAboutAndUpdatesAndOpenTellsTheServiceIsDown) {
    auto service = std::make_unique<LTestService>();
    ASSERT_TRUE(service->WaitRunning());
    ASSERT_TRUE(service->WaitWebListening());
    // No version file to be had: the check ends at once.
    LRegSettingsSet(u"Maker", u"DownloadHost", u"127.0.0.1:1");
    std::string jsonl = folder_ + "/watcher.jsonl";
    LTestProcess watcher({"/usr/bin/python3", Source("desktop/app/tests/testdata/fake_watcher.py"), jsonl});
    // A service crash recorded earlier is asked about before the interface
    // opens by itself (an ordinary start, not one at log-on).
    LRegSettingsSet(u"Errors", u"Exception", u"Service-LTCP-Win100");
    auto desktop = std::make_unique<LTestProcess>(std::vector<std::string>{LTestProgramPath()});
    ASSERT_TRUE(LTestWaitFor(30000, [] { return LTestWindowShown("Abnormal Execution Problem"); }));
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_FALSE(std::filesystem::exists(folder_ + "/argv"));
    Click("No");
    EXPECT_TRUE(WaitArgv());
    std::ofstream(folder_ + "/go").close();
    std::string name = ItemName(desktop->Pid());
    ASSERT_TRUE(LTestWaitFor(30000, [&] { return LTestReadFile(jsonl).find(name) != std::string::npos; }))
        << LTestReadFile(jsonl);
    auto gdbus = [&](const std::string& path, const std::string& method, std::vector<std::string> args) {
        std::vector<std::string> argv = {"gdbus", "call", "--session", "--dest", name, "--object-path", path, "--method",
                                         method};
        argv.insert(argv.end(), args.begin(), args.end());
        return LTestRunCapture(argv, 10000);
    };
    auto command = [&](int id) {
        gdbus("/MenuBar", "com.canonical.dbusmenu.Event", {std::to_string(id), "clicked", "<''>", "0"});
    };
    auto click = [&](const std::string& control) {
        std::string tree;
        EXPECT_TRUE(LTestClickAccessible("porlinex", control, 30000, &tree)) << control << "\n" << tree;
    };

    gdbus("/StatusNotifierItem", "org.kde.StatusNotifierItem.ContextMenu", {"200", "150"});
    click("About Porlinex");
    EXPECT_FALSE(LTestWindowShown("Porlinex by Vek Software"));
    ASSERT_TRUE(LTestWaitFor(20000, [] { return LTestWindowShown("About Porlinex"); }));
    click("OK");
    ASSERT_TRUE(LTestWaitFor(20000, [] { return !LTestWindowShown("About Porlinex"); }));

    command(9004);
    ASSERT_TRUE(LTestWaitFor(30000, [] { return LTestWindowShown("No Version Information"); }));
    click("OK");
    ASSERT_TRUE(LTestWaitFor(20000, [] { return !LTestWindowShown("No Version Information"); }));

    EXPECT_EQ(service->Stop(), 0);
    command(1002);
    ASSERT_TRUE(LTestWaitFor(30000, [] { return LTestWindowShown("Porlinex Service Not Running"); }));
    std::string tree = LTestRunCapture({"/usr/bin/python3", Source("toolkit/tests/testdata/atspi_tree.py"), "porlinex"}, 20000);
    EXPECT_NE(tree.find("porlinex -startservice"), std::string::npos) << tree;
    click("OK");
    ASSERT_TRUE(LTestWaitFor(20000, [] { return !LTestWindowShown("Porlinex Service Not Running"); }));

    // Open while a service is still starting (its start delay runs) says so,
    // not that the service is down, and the interface opens once it runs.
    LRegSettingsSet(u"Service", u"Delay", u"8000");
    std::filesystem::remove(folder_ + "/argv");
    service = std::make_unique<LTestService>(std::vector<std::string>{});
    ASSERT_TRUE(service->WaitForState("start-pending"));
    command(1002);
    ASSERT_TRUE(LTestWaitFor(7000, [] { return LTestWindowShown("Porlinex Is Starting"); }));
    EXPECT_EQ(LTestServiceStateWord(), "start-pending");
    click("OK");
    EXPECT_TRUE(WaitArgv()) << LTestService::LogText();
    EXPECT_EQ(LTestServiceStateWord(), "running");
    EXPECT_FALSE(LTestWindowShown("Porlinex Service Not Running"));

    command(1003);
    click("Stop");
    EXPECT_EQ(desktop->Wait(30000), 0);
}

}  // namespace
