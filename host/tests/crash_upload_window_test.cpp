// The upload of a crash report the user agreed to shows its progress
// window while the maker's host takes its time to answer.
#include <gtest/gtest.h>

#include "foundation/lstring.h"
#include "foundation/reg_settings.h"
#include "host/tests/crash_fixture.h"
#include "tests/support/open_recorder.h"
#include "tests/support/test_accessible.h"
#include "tests/support/test_display.h"
#include "tests/support/test_root.h"

namespace {

// Reads a request, answers it three seconds later.
constexpr const char* kSlowHost = R"py(
import socket, sys, time
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", int(sys.argv[1])))
s.listen(4)
while True:
    c, _ = s.accept()
    c.settimeout(5)
    try:
        c.recv(1 << 20)
    except OSError:
        pass
    time.sleep(3)
    c.sendall(b"HTTP/1.0 200 OK\r\n\r\n")
    c.close()
)py";

TEST(CrashUploadWindow, ShowsWhileTheReportUploads) {
    LTestDisplay& d = LTestDisplay::Shared();
    ASSERT_TRUE(d.Ok()) << d.Error();
    LTestRoot root;
    LTestOpenRecorder opener(root.Path() + "/open");
    int port = LTestFreePort();
    LTestProcess host({"/usr/bin/python3", "-c", kSlowHost, std::to_string(port)});
    LRegSettingsSet(u"Maker", u"WebHost", LFromUtf8("127.0.0.1:" + std::to_string(port)).c_str());
    auto fixture = LStartCrashFixture("null", false);
    std::string tree;
    ASSERT_TRUE(LTestClickAccessible("porlinex", "Report Bug", 60000, &tree)) << tree;
    EXPECT_TRUE(LTestWaitFor(20000, [] { return LTestWindowShown("Uploading Crash Dump File"); }));
    EXPECT_EQ(fixture->Wait(60000), 1);
    EXPECT_FALSE(LTestWindowShown("Uploading Crash Dump File"));
}

}  // namespace
