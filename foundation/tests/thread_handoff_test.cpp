#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "foundation/thread.h"
#include "foundation/thread_handoff.h"
#include "platform/thread.h"

namespace {

// The owner: a thread that waits on the queue and dispatches on itself.
class Owner : public LThread, public LQueuedNotifyCallback {
public:
    Owner() : LThread("Owner") { queue.Create(this); }
    ~Owner() override { Stop(); }
    void Run() override {
        run_tid = LPlatformThreadId();
        while (WaitHandle(queue.Handle(), LInfinite) == LWaitDone) queue.Dispatch();
        queue.Dispatch();
    }
    void OnData(uint32_t code, const void* data, uint64_t value) override {
        tids.push_back(LPlatformThreadId());
        codes.push_back(code);
        sizes.push_back(data ? value : 0);
        if (!data) values.push_back(value);
    }
    LQueuedNotifyDataHandler queue;
    std::atomic<int> run_tid{0};
    std::vector<int> tids;
    std::vector<uint32_t> codes;
    std::vector<uint64_t> sizes, values;
};

class TidProbe : public LQueuedNotifyCallback {
public:
    void OnData(uint32_t, const void*, uint64_t) override {}
};

TEST(QueuedNotify, DeliversInOrderOnTheOwnersThread) {
    Owner owner;
    owner.queue.Post(0, "x", 1);  // queued before the owner runs
    owner.Start();
    std::vector<char> limit(LQueuedNotifyDataHandler::MaxBlock + 1, 'a');
    std::thread producer([&] {
        owner.queue.Post(1, limit.data(), LQueuedNotifyDataHandler::MaxBlock);
        owner.queue.Post(2, limit.data(), LQueuedNotifyDataHandler::MaxBlock + 1);  // dropped
        owner.queue.Post(3, nullptr, 4);                                           // dropped
        owner.queue.PostValue(4, 0x1234);
        owner.queue.Post(5, "abc", 3);
    });
    producer.join();
    owner.Stop();
    // Everything posted before the stop is delivered by the final dispatch.
    ASSERT_EQ(owner.codes.size(), 4u);
    EXPECT_EQ(owner.codes, (std::vector<uint32_t>{0, 1, 4, 5}));
    EXPECT_EQ(owner.sizes[1], LQueuedNotifyDataHandler::MaxBlock);
    EXPECT_EQ(owner.values, (std::vector<uint64_t>{0x1234}));
    for (int tid : owner.tids) EXPECT_EQ(tid, owner.run_tid.load());
}

TEST(QueuedNotify, DestroyDropsPendingBlocks) {
    TidProbe probe;
    LQueuedNotifyDataHandler q;
    ASSERT_TRUE(q.Create(&probe));
    q.Post(1, "abc", 3);
    q.Destroy();
    q.Post(2, "abc", 3);  // after Destroy: dropped, no crash
    q.Dispatch();
}

}  // namespace
