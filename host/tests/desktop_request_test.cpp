// Pending desktop requests and the reply that reaches them through the
// engine's command 2.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "engine/service_engine.h"
#include "host/desktop_request.h"
#include "host/pipe_message.h"
#include "tests/support/test_root.h"

namespace {

// A progress whose waits end at once, as if the 15000 ms had passed.
class ElapsedWait : public LTaskProgress {
public:
    bool IsStopRequested() override { return false; }
    uint32_t WaitStop(uint32_t) override { return LWaitDone; }
    uint32_t WaitHandle(LHandle, uint32_t) override { return LWaitFailed; }
    uint32_t WaitHandles(LHandleList&, uint32_t) override { return LWaitFailed; }
};

void ReplyThroughEngine(LServiceEngine& engine, uint32_t id, bool ok, const std::string& message,
                        const std::string& detail, uint32_t size = LDesktopReplyBlockSize) {
    LDesktopReply r;
    r.id = id;
    r.ok = ok;
    r.message = message;
    r.detail = detail;
    std::vector<unsigned char> block(LDesktopReplyBlockSize + 1);
    LDesktopReplyEncode(r, block.data());
    engine.OnCommand(LPipeCommandDesktopReply, block.data(), size);
}

class DesktopRequest : public ::testing::Test {
protected:
    void SetUp() override { LDesktopRequestRegisterReplyHook(); }
    LTestRoot root_;  // the engine makes its folders under it
    LServiceEngine engine_;
};

TEST_F(DesktopRequest, ReplyFromAnotherThreadReachesTheWaiter) {
    uint32_t id = LDesktopRequestBegin();
    ASSERT_NE(id, 0u);
    std::string long_detail(8191, 'd');
    std::thread desktop([&] { ReplyThroughEngine(engine_, id, true, "done", long_detail); });
    std::string message, detail;
    EXPECT_TRUE(LDesktopRequestWait(id, nullptr, message, &detail));
    desktop.join();
    EXPECT_EQ(message, "done");
    EXPECT_EQ(detail, long_detail);
    // Answered and gone: a second wait finds nothing.
    EXPECT_FALSE(LDesktopRequestWait(id, nullptr, message, nullptr));
    EXPECT_EQ(message, "Unable to reach the Porlinex window to complete this.");
}

TEST_F(DesktopRequest, FailedReplyKeepsItsTexts) {
    uint32_t id = LDesktopRequestBegin();
    ReplyThroughEngine(engine_, id, false, "No supported cloud folder was found.", "");
    std::string message;
    EXPECT_FALSE(LDesktopRequestWait(id, nullptr, message, nullptr));
    EXPECT_EQ(message, "No supported cloud folder was found.");
}

TEST_F(DesktopRequest, NoAnswerInTimeAndLateReplyDropped) {
    uint32_t id = LDesktopRequestBegin();
    ElapsedWait elapsed;
    std::string message, detail = "old";
    EXPECT_FALSE(LDesktopRequestWait(id, &elapsed, message, &detail));
    EXPECT_EQ(message, "No Porlinex window is currently open to complete this. Open Porlinex and try again.");
    EXPECT_EQ(detail, "");
    EXPECT_FALSE(LDesktopRequestReply(id, true, "late", ""));
}

TEST_F(DesktopRequest, BlockOfAnotherSizeIsIgnored) {
    uint32_t id = LDesktopRequestBegin();
    ReplyThroughEngine(engine_, id, true, "short", "", LDesktopReplyBlockSize - 1);
    ReplyThroughEngine(engine_, id, true, "long", "", LDesktopReplyBlockSize + 1);
    ElapsedWait elapsed;
    std::string message;
    EXPECT_FALSE(LDesktopRequestWait(id, &elapsed, message, nullptr));
}

TEST_F(DesktopRequest, IdsAreDistinctAndNeverZero) {
    uint32_t a = LDesktopRequestBegin(), b = LDesktopRequestBegin();
    EXPECT_NE(a, 0u);
    EXPECT_NE(a, b);
    ElapsedWait elapsed;
    std::string m;
    LDesktopRequestWait(a, &elapsed, m, nullptr);
    LDesktopRequestWait(b, &elapsed, m, nullptr);
}

}  // namespace
