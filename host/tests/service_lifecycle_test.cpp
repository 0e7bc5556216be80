// The service's start: the start delay, a stop that comes during it, and
// the start-up lock that a starting service holds against other processes.
#include <gtest/gtest.h>

#include "foundation/reg_settings.h"
#include "host/startup_lock.h"
#include "tests/support/service_harness.h"
#include "tests/support/test_display.h"
#include "tests/support/test_root.h"

namespace {

class ServiceLifecycle : public ::testing::Test {
protected:
    LTestRoot root_;
};

TEST_F(ServiceLifecycle, StopDuringStartDelayEndsBeforeTheEngineStarts) {
    ASSERT_TRUE(LRegSettingsSet(u"Service", u"Delay", u"60000"));
    LTestService service(std::vector<std::string>{});
    ASSERT_TRUE(service.WaitForState("start-pending"));
    // Well inside the minute of delay: honoured at once, not after it.
    EXPECT_EQ(service.Stop(20000), 0);
    EXPECT_EQ(LTestServiceStateWord(), "stopped");
    EXPECT_EQ(LTestService::ActivityText().find("Application started"), std::string::npos);
}

TEST_F(ServiceLifecycle, ManualStartSkipsTheDelay) {
    ASSERT_TRUE(LRegSettingsSet(u"Service", u"Delay", u"60000"));
    LTestService service;  // "-manual"
    EXPECT_TRUE(service.WaitRunning(20000));
    EXPECT_NE(LTestService::ActivityText().find("Application started"), std::string::npos);
}

TEST_F(ServiceLifecycle, StartupLockHeldUntilTheServiceRuns) {
    ASSERT_TRUE(LRegSettingsSet(u"Service", u"Delay", u"1500"));
    LTestService service(std::vector<std::string>{});
    ASSERT_TRUE(service.WaitForState("start-pending"));
    // Another process (this one) gets the lock only once the service has
    // reported running.
    LStartupLock lock;
    ASSERT_TRUE(lock.Take(LStartupLockWaitMs));
    EXPECT_EQ(LTestServiceStateWord(), "running");
    lock.Release();

    // A desktop start while this process holds the lock waits for it.
    ASSERT_TRUE(lock.Take(0));
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    LTestProcess desktop({LTestProgramPath()});
    EXPECT_EQ(desktop.Wait(300), -1);
    lock.Release();
    // Without a display the desktop start prints the start address once it
    // has the lock, and ends.
    EXPECT_EQ(desktop.Wait(20000), 0);
    EXPECT_EQ(service.Stop(), 0);
}

// Per-request lines are debug lines: the service's daily log holds them only
// when the machine settings turn debug logging on.
TEST(ServiceDebugLog, RequestChatterOnlyWithDebugLogging) {
    LTestRoot root;
    size_t seen = 0;
    // One root for both runs: the second start finds its certificates made.
    for (const char16_t* debug : {u"", u"1"}) {
        ASSERT_TRUE(LRegSettingsSet(u"Settings", u"DebugLog", debug));
        LTestService service;
        ASSERT_TRUE(service.WaitWebListening());
        char16_t port[260];
        LRegSettingsGet(u"WebServer", u"Port", u"", port);
        // A session the service does not know: looked up, then refused.
        LTestRunCapture({"curl", "-s", "-o", "/dev/null", "--max-time", "10", "-d", "", "-H", "X-AJAX: 1", "-H",
                         "Cookie: porlinex_sess=unknown", "http://127.0.0.1:" + LToUtf8(port) + "/loglist"},
                        20000);
        EXPECT_EQ(service.Stop(), 0);
        const std::string log = LTestService::LogText();
        const std::string run = log.substr(seen);
        seen = log.size();
        EXPECT_NE(run.find("LoadSession timeout"), std::string::npos) << "the request was made\n" << run;
        EXPECT_EQ(run.find("cannot find session data") != std::string::npos, debug[0] != 0) << run;
    }
}

}  // namespace
