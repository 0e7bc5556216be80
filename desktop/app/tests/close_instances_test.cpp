// The installer's and uninstaller's first step: a running desktop is told to
// exit through its doorbell and the service is stopped. The real program
// runs as service and as desktop on the virtual display.
#include <gtest/gtest.h>

#include "host/service_control.h"
#include "host/single_instance.h"
#include "platform/unix_socket.h"
#include "tests/support/service_harness.h"
#include "tests/support/test_display.h"
#include "tests/support/test_root.h"
#include "toolkit/instance_socket.h"

namespace {

// A bare connection rings nothing: the desktop takes it as no message.
bool DesktopAnswers() {
    LUnixSocket s;
    return LUnixSocketConnect(LInstanceSocketPath(), s);
}

TEST(CloseOtherInstances, RunningDesktopExitsAndServiceStops) {
    LTestDisplay& display = LTestDisplay::Shared();
    ASSERT_TRUE(display.Ok()) << display.Error();
    LTestRoot root;
    // Installed, so that it can be stopped.
    ASSERT_TRUE(LServiceInstall(LTestProgramPath()));
    LTestService service;
    ASSERT_TRUE(service.WaitRunning());
    LTestProcess desktop({LTestProgramPath(), "-logon"});
    ASSERT_TRUE(LTestWaitFor(30000, DesktopAnswers)) << LTestService::LogText();

    EXPECT_TRUE(LCloseOtherInstances());
    EXPECT_EQ(desktop.Wait(30000), 0);
    EXPECT_FALSE(DesktopAnswers());
    EXPECT_TRUE(LTestWaitFor(30000, [] { return LTestServiceStateWord() == "stopped"; })) << LTestServiceStateWord();
}

}  // namespace
