#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "foundation/thread.h"
#include "tests/support/test_root.h"

namespace {

std::atomic<int> g_alive{0};
std::atomic<int> g_ran{0};

// Some workers end on their own at once, some after a short wait, the rest
// only when asked to stop: every path that unlinks a pooled thread runs.
class PooledWorker : public LThread {
public:
    explicit PooledWorker(int kind) : LThread("WEBC"), kind_(kind) { ++g_alive; }
    ~PooledWorker() override {
        Stop();
        --g_alive;
    }
    void Run() override {
        ++g_ran;
        if (kind_ == 1) WaitStop(1);
        if (kind_ == 2) WaitStopForever();
    }

private:
    int kind_;
};

TEST(ThreadPool, ThreadsDeleteThemselvesWhenRunReturns) {
    {
        LThreadPool pool;
        for (int i = 0; i < 20; ++i) ASSERT_TRUE(pool.Start(new PooledWorker(0)));
        ASSERT_TRUE(LTestWaitFor(10000, [&] { return pool.IsEmpty() && g_alive.load() == 0; }));
    }
    EXPECT_EQ(g_alive.load(), 0);
}

TEST(ThreadPool, StopAndDeleteAllRacesThreadsEndingOnTheirOwn) {
    for (int round = 0; round < 30; ++round) {
        LThreadPool pool;
        for (int i = 0; i < 24; ++i) ASSERT_TRUE(pool.Start(new PooledWorker(i % 3)));
        if (round % 2) pool.SignalStopAll();
        pool.StopAndDeleteAll();
        EXPECT_TRUE(pool.IsEmpty());
        // Threads that unlinked themselves may still be on their way out.
        ASSERT_TRUE(LTestWaitFor(10000, [] { return g_alive.load() == 0; })) << "round " << round;
    }
}

TEST(ThreadPool, StartsFromSeveralThreadsAtOnce) {
    LThreadPool pool;
    std::vector<std::thread> starters;
    for (int s = 0; s < 4; ++s) {
        starters.emplace_back([&pool, s] {
            for (int i = 0; i < 25; ++i) {
                EXPECT_TRUE(pool.Start(new PooledWorker((i + s) % 3)));
            }
        });
    }
    for (auto& t : starters) t.join();
    pool.StopAndDeleteAll();
    ASSERT_TRUE(LTestWaitFor(10000, [] { return g_alive.load() == 0; }));
}

TEST(ThreadPool, RemoveOfARunningThreadStopsAndDeletesIt) {
    LThreadPool pool;
    PooledWorker* w = new PooledWorker(2);
    ASSERT_TRUE(pool.Start(w));
    pool.Remove(w);  // joins: the worker waits for its stop event
    EXPECT_TRUE(pool.IsEmpty());
    EXPECT_EQ(g_alive.load(), 0);
}

}  // namespace
