// The start-up lock against a running desktop on the test display: the
// desktop holds it only while it starts, so a service start, a second
// desktop start and this process's own take do not wait for the desktop to
// end. A take that waits is logged.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>

#include "host/crash_watch.h"
#include "host/startup_lock.h"
#include "tests/support/service_harness.h"
#include "tests/support/test_display.h"
#include "tests/support/test_root.h"

namespace {

using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

// Milliseconds from the start of a service until it reports running.
int64_t TimedServiceStart() {
    Clock::time_point t = Clock::now();
    LTestService service;
    if (!service.WaitRunning(30000)) return 1000000;
    int64_t ms = MsSince(t);
    service.Stop();
    return ms;
}

class StartupLockDisplay : public ::testing::Test {
protected:
    void SetUp() override {
        LTestDisplay& d = LTestDisplay::Shared();
        ASSERT_TRUE(d.Ok()) << d.Error();
        // Nothing the desktop opens by itself may reach a real browser.
        bin_ = root_.Path() + "/bin";
        std::filesystem::create_directories(bin_);
        for (const char* tool : {"chromium", "xdg-open"}) {
            std::ofstream(bin_ + "/" + tool) << "#!/bin/sh\nexit 0\n";
            chmod((bin_ + "/" + tool).c_str(), 0755);
        }
        old_path_ = getenv("PATH") ? getenv("PATH") : "";
        setenv("PATH", (bin_ + ":" + old_path_).c_str(), 1);
    }
    void TearDown() override { setenv("PATH", old_path_.c_str(), 1); }

    LTestRoot root_;
    std::string bin_, old_path_;
};

TEST_F(StartupLockDisplay, RunningDesktopDoesNotHoldBackOtherStarts) {
    const int64_t alone = TimedServiceStart();
    ASSERT_LT(alone, 30000);

    std::unique_ptr<LTestProcess> desktop;
    {
        // A desktop that finds the service running starts nothing itself,
        // so only the end of its own start lets the lock go.
        LTestService running;
        ASSERT_TRUE(running.WaitRunning(30000));
        desktop = std::make_unique<LTestProcess>(std::vector<std::string>{LTestProgramPath(), "-logon"});
        // The running marker is made once the main window is up.
        ASSERT_TRUE(LTestWaitFor(30000, [] { return std::filesystem::exists(LCrashMarkerPath()); }));
        EXPECT_EQ(running.Stop(), 0);
    }

    // Well below the 20 s a take gives up after: the desktop let go at its
    // start, not at its end.
    LStartupLock lock;
    Clock::time_point t = Clock::now();
    EXPECT_TRUE(lock.Take(LStartupLockWaitMs));
    EXPECT_LT(MsSince(t), 5000);
    lock.Release();

    const int64_t beside_desktop = TimedServiceStart();
    EXPECT_LT(beside_desktop, alone + 5000) << "alone " << alone << " ms";

    // A second desktop start hands over to the first and ends at once.
    t = Clock::now();
    LTestProcess second({LTestProgramPath()});
    EXPECT_EQ(second.Wait(15000), 0);
    EXPECT_LT(MsSince(t), 10000);
    EXPECT_EQ(desktop->Wait(0), -1) << "the first desktop still runs";
    desktop->Signal(SIGTERM, 20000);
}

TEST_F(StartupLockDisplay, TakeThatWaitsSaysSo) {
    LStartupLock held;
    ASSERT_TRUE(held.Take(0));
    // Another process waits for it, says why, and goes on once it is free.
    unsetenv("DISPLAY");
    LTestProcess waiter({LTestProgramPath()});
    EXPECT_TRUE(LTestWaitFor(10000, [] {
        return LTestService::LogText().find("waiting for another Porlinex process to finish starting") !=
               std::string::npos;
    })) << LTestService::LogText();
    held.Release();
    // Without a display the desktop start ends with 1 once it has the lock.
    EXPECT_EQ(waiter.Wait(20000), 1);
    setenv("DISPLAY", LTestDisplay::Shared().Display().c_str(), 1);
}

}  // namespace
