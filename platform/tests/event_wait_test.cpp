#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "platform/event.h"
#include "platform/wait.h"
#include "tests/support/test_root.h"

namespace {

TEST(Event, ManualResetStaysSetUntilReset) {
    LEvent e(true, false);
    ASSERT_TRUE(e.IsValid());
    EXPECT_EQ(e.Wait(0), LPlatformWaitTimeout);
    e.Set();
    e.Set();
    EXPECT_EQ(e.Wait(0), 0);
    EXPECT_EQ(e.Wait(0), 0);
    e.Reset();
    EXPECT_EQ(e.Wait(5), LPlatformWaitTimeout);
}

TEST(Event, AutoResetIsTakenByOneWait) {
    LEvent e(false, true);
    EXPECT_EQ(e.Wait(0), 0);
    EXPECT_EQ(e.Wait(0), LPlatformWaitTimeout);
    e.Set();
    e.Set();  // setting a set event does not count twice
    EXPECT_TRUE(e.TryWait());
    EXPECT_FALSE(e.TryWait());
}

TEST(Event, AutoResetWakesOneOfTwoWaiters) {
    LEvent e(false, false);
    std::atomic<int> woke{0};
    std::thread a([&] { if (e.Wait(0xFFFFFFFFu) == 0) ++woke; });
    std::thread b([&] { if (e.Wait(0xFFFFFFFFu) == 0) ++woke; });
    e.Set();
    ASSERT_TRUE(LTestWaitFor(5000, [&] { return woke.load() == 1; }));
    EXPECT_FALSE(e.TryWait());  // the waiter that woke consumed it
    e.Set();
    a.join();
    b.join();
    EXPECT_EQ(woke.load(), 2);
}

struct WaitCase {
    const char* name;
    bool set_first;
    bool set_second;
    bool invalid_second;
    int expected;
};

TEST(WaitAny, ResultTable) {
    const WaitCase cases[] = {
        {"nothing set times out", false, false, false, LPlatformWaitTimeout},
        {"second set", false, true, false, 1},
        {"both set: lower index wins", true, true, false, 0},
        {"invalid descriptor fails", false, false, true, LPlatformWaitError},
    };
    for (const WaitCase& c : cases) {
        LEvent first(true, c.set_first), second(true, c.set_second);
        int fds[2] = {first.Handle(), c.invalid_second ? 999999 : second.Handle()};
        EXPECT_EQ(LPlatformWaitAny(fds, 2, 10), c.expected) << c.name;
    }
    EXPECT_EQ(LPlatformWaitAny(nullptr, 0, 0), LPlatformWaitError);
    int closed = dup(0);
    close(closed);
    EXPECT_EQ(LPlatformWaitAny(&closed, 1, 0), LPlatformWaitError);
}

TEST(WaitAny, SocketPeerClosingCountsAsSignalled) {
    int sv[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv), 0);
    EXPECT_EQ(LPlatformWaitAny(&sv[0], 1, 0), LPlatformWaitTimeout);
    close(sv[1]);
    EXPECT_EQ(LPlatformWaitAny(&sv[0], 1, 1000), 0);
    close(sv[0]);
}

TEST(WaitAny, WakesWhenAnotherThreadSets) {
    LEvent e(true, false);
    std::thread t([&] { e.Set(); });
    int fd = e.Handle();
    EXPECT_EQ(LPlatformWaitAny(&fd, 1, 0xFFFFFFFFu), 0);
    t.join();
}

}  // namespace
