// The desktop application's parts without a display: the launch token,
// the browser launch with a stand-in browser on PATH (its arguments, its
// private profile, the thanks path, closing), the log ring, the start
// placement and the per-user doorbell socket.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "desktop/app/browser_launch.h"
#include "desktop/app/log_view.h"
#include "desktop/app/main_placement.h"
#include "foundation/lstring.h"
#include "foundation/reg_settings.h"
#include "tests/support/test_root.h"
#include "toolkit/instance_socket.h"

namespace {

TEST(LaunchToken, FortyCharactersOfTheAlphabetAndAllOfThem) {
    std::set<char> seen;
    std::set<std::string> tokens;
    for (int i = 0; i < 300; ++i) {
        std::string t = LMakeLaunchToken();
        ASSERT_EQ(t.size(), LLaunchTokenLength);
        for (char c : t) {
            ASSERT_TRUE(isalnum(static_cast<unsigned char>(c))) << t;
            seen.insert(c);
        }
        tokens.insert(t);
    }
    EXPECT_EQ(seen.size(), 62u);
    EXPECT_EQ(tokens.size(), 300u);
}

TEST(LogView, The129thLineReplacesTheFirst) {
    LLogView view;
    EXPECT_EQ(view.Newest(), -1);
    for (int i = 1; i <= 129; ++i) view.AddLine("12:00:0" + std::to_string(i % 10) + " and more text", "line " + std::to_string(i), 2);
    std::vector<LLogView::Entry> lines = view.Lines();
    ASSERT_EQ(lines.size(), 128u);
    EXPECT_EQ(lines.front().text, "line 2");
    EXPECT_EQ(lines.back().text, "line 129");
    EXPECT_EQ(lines.back().time.size(), 16u);  // the time text is cut
    EXPECT_EQ(view.Oldest(), 1);
    EXPECT_EQ(view.Newest(), 0);
}

TEST(MainPlacement, RaisedToTheMinimumCentredAndClamped) {
    LMainPlacementInput in;
    in.minimum = {320, 80};
    in.fallback = {640, 320};
    in.desktop = {0, 0, 1920, 1080};
    in.width = 200;  // saved smaller than the minimum
    in.height = 300;
    in.has_height = true;
    in.x = 5000;
    in.has_x = true;
    LRect r = LComputeMainPlacement(in);
    EXPECT_EQ(r.Width(), 320);
    EXPECT_EQ(r.left, 5000);  // a saved size means a saved place: not clamped
    EXPECT_EQ(r.top, 1080 / 2 - 150);

    LMainPlacementInput none;
    none.minimum = {320, 80};
    none.fallback = {2400, 320};
    none.desktop = {0, 0, 1920, 1080};
    r = LComputeMainPlacement(none);
    EXPECT_EQ(r, (LRect{0, 380, 1920, 700}));  // centred, then shrunk and moved inside
}

class Launch : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = root_.Path() + "/launch";
        std::filesystem::create_directories(folder_ + "/bin");
        setenv("XDG_CACHE_HOME", (folder_ + "/cache").c_str(), 1);
        old_path_ = getenv("PATH") ? getenv("PATH") : "";
    }
    void TearDown() override {
        setenv("PATH", old_path_.c_str(), 1);
        unsetenv("XDG_CACHE_HOME");
    }
    // A stand-in browser that records its arguments, one per line, then
    // waits until the test lets it go (or for ever).
    void StandIn(const std::string& name) {
        std::string path = folder_ + "/bin/" + name;
        std::ofstream(path) << "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > '" << folder_
                            << "/argv.tmp'\nmv '" << folder_ << "/argv.tmp' '" << folder_
                            << "/argv'\nwhile [ ! -e '" << folder_ << "/go' ]; do sleep 0.05; done\n";
        chmod(path.c_str(), 0755);
        setenv("PATH", (folder_ + "/bin:" + old_path_).c_str(), 1);
    }
    std::vector<std::string> Argv() {
        std::vector<std::string> out;
        std::ifstream in(folder_ + "/argv");
        for (std::string line; std::getline(in, line);) out.push_back(line);
        return out;
    }
    std::string Arg(const std::string& prefix) {
        for (const std::string& a : Argv())
            if (a.rfind(prefix, 0) == 0) return a.substr(prefix.size());
        return {};
    }
    bool WaitEnded(int fd) {
        pollfd p{fd, POLLIN, 0};
        return poll(&p, 1, 20000) == 1;
    }

    LTestRoot root_;
    std::string folder_, old_path_;
};

TEST_F(Launch, ChromiumGetsTheStartAddressAndAPrivateProfile) {
    StandIn("chromium");
    StandIn("vivaldi");  // a later family never wins over an earlier one
    EXPECT_EQ(LFindInterfaceBrowser(), folder_ + "/bin/chromium");
    LWebAppLauncher launcher;
    int thanks = 0, started = -1;
    launcher.on_thanks = [&] { ++thanks; };
    launcher.on_started = [&](int fd) { started = fd; };
    ASSERT_TRUE(launcher.Open(1234, true));
    ASSERT_TRUE(LTestWaitFor(20000, [&] { return std::filesystem::exists(folder_ + "/argv"); }));

    char16_t token[260];
    LRegSettingsGet(u"MainWindowWebApp", u"LaunchToken", u"", token);
    EXPECT_EQ(Arg("--app="), "http://localhost:1234/start?token=" + LToUtf8(token));
    std::string profile = Arg("--user-data-dir=");
    ASSERT_EQ(profile.rfind(folder_ + "/cache/porlinex/webapp-", 0), 0u) << profile;
    struct stat st;
    ASSERT_EQ(stat(profile.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_TRUE(LRegSettingsExists(u"MainWindowWebApp", u"LaunchTokenTime"));

    std::ofstream(folder_ + "/go").close();
    ASSERT_GE(started, 0);
    ASSERT_TRUE(WaitEnded(started));
    launcher.Ended(started);
    EXPECT_EQ(thanks, 1);
    EXPECT_EQ(launcher.Count(), 0u);
    EXPECT_FALSE(std::filesystem::exists(profile));  // removed with its browser
}

TEST_F(Launch, WithNeitherBrowserNorOpenerTheAddressGoesToStandardError) {
    setenv("PATH", (folder_ + "/bin").c_str(), 1);  // nothing on it
    LWebAppLauncher launcher;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(launcher.Open(1234, false));
    std::string err = testing::internal::GetCapturedStderr();
    char16_t token[260];
    LRegSettingsGet(u"MainWindowWebApp", u"LaunchToken", u"", token);
    ASSERT_EQ(LToUtf8(token).size(), LLaunchTokenLength);
    EXPECT_NE(err.find("Open this address in a browser on this machine"), std::string::npos) << err;
    EXPECT_NE(err.find("\n  http://localhost:1234/start?token=" + LToUtf8(token) + "\n"), std::string::npos) << err;
}

TEST_F(Launch, ClosingSignalsOnlyTheLaunchedBrowsers) {
    StandIn("google-chrome");
    LWebAppLauncher launcher;
    int thanks = 0;
    launcher.on_thanks = [&] { ++thanks; };
    ASSERT_TRUE(launcher.Open(1234, false));
    ASSERT_TRUE(LTestWaitFor(20000, [&] { return std::filesystem::exists(folder_ + "/argv"); }));
    std::string profile = Arg("--user-data-dir=");
    // A process of the same name not started here is left alone.
    LTestProcess other({folder_ + "/bin/google-chrome"});
    launcher.CloseAll();
    EXPECT_EQ(launcher.Count(), 0u);
    EXPECT_FALSE(std::filesystem::exists(profile));
    EXPECT_TRUE(other.Running());
    EXPECT_EQ(thanks, 0);
}

TEST(InstanceSocket, OneDesktopPerUserAndOnlyKnownMessages) {
    LTestRoot root;
    LInstanceSocket first;
    ASSERT_TRUE(first.Listen());
    LInstanceSocket second;
    EXPECT_FALSE(second.Listen());  // the first still answers
    EXPECT_EQ(first.Accept(), 0u);  // that probe carried no message
    struct stat st;
    ASSERT_EQ(stat(LInstanceSocketPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0077, 0u);

    for (uint32_t m : {0x8068u, 0x466u, 0x10u}) {
        bool sent = false;
        std::thread ringer([&] { sent = LInstanceSocketSend(m); });
        pollfd p{first.Fd(), POLLIN, 0};
        ASSERT_EQ(poll(&p, 1, 10000), 1);
        uint32_t got = first.Accept();
        ringer.join();
        EXPECT_EQ(got, m == 0x10u ? 0u : m);
        EXPECT_EQ(sent, m != 0x10u);
    }
    first.Close();
    EXPECT_FALSE(LInstanceSocketSend(0x8068));
}

}  // namespace
