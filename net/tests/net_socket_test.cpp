// The plain socket layer against a loopback peer written in the test.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "net/net_socket.h"
#include "foundation/wait.h"
#include "net/tests/stop_thread.h"

namespace {

uint32_t Loopback(const char* text = "127.0.0.1") {
    in_addr a;
    inet_pton(AF_INET, text, &a);
    return a.s_addr;
}

// A listening socket on loopback and the one connection accepted from it.
class LoopbackPair : public ::testing::Test {
protected:
    void SetUp() override {
        listener_.Reset(LPlatformSocketListen(Loopback(), 0, 8));
        ASSERT_NE(listener_.Get(), LInvalidSocket);
        LNetSocketAddress a;
        a.port = LPlatformSocketLocalPort(listener_.Get());
        a.address = Loopback();
        LNetOpResult r;
        ASSERT_EQ(LNetConnect(r, progress_, client_, a, 5000), LNetDone);
        ASSERT_EQ(LPlatformSocketWaitReadable(listener_.Get(), 5000), 1);
        server_.Reset(LPlatformSocketAccept(listener_.Get(), nullptr, nullptr, 0, 0));
        ASSERT_NE(server_.Get(), LInvalidSocket);
    }
    void TearDown() override { LPlatformSocketClose(client_); }

    // Sends from the server side, each piece as its own segment.
    void Feed(std::initializer_list<std::string> pieces) {
        for (const auto& p : pieces) {
            ASSERT_EQ(LPlatformSocketSend(server_.Get(), p.data(), p.size()), static_cast<long>(p.size()));
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    LPlainWait progress_;
    LOwnedSocket listener_;
    LOwnedSocket server_;
    LSocket client_ = LInvalidSocket;
};

TEST_F(LoopbackPair, LinesEndAtLfWithoutTheirEnds) {
    struct Case {
        std::initializer_list<std::string> pieces;
        const char* line;
    };
    // CR elsewhere than before LF is data; a CR LF split between two pieces
    // still ends the line.
    const Case cases[] = {
        {{"ab", "c\r\n"}, "abc"},
        {{"abc\n"}, "abc"},
        {{"a\rb\n"}, "a\rb"},
        {{std::string(47, 'x') + "\r", "\n"}, nullptr},
        {{"x\r", "y\n"}, "x\ry"},
    };
    for (const auto& c : cases) {
        Feed(c.pieces);
        std::string want = c.line ? c.line : std::string(47, 'x');
        LStringA line;
        LNetOpResult r;
        EXPECT_EQ(LNetReceiveLineGrow(r, progress_, client_, line, 5000), LNetDone);
        EXPECT_EQ(line.Str(), want);
    }
}

TEST_F(LoopbackPair, BoundedLineKeepsWhatFitsAndConsumesTheWholeLine) {
    Feed({"abcdefgh\r\nnext\r\n"});
    uint8_t room[4];
    LBoundedBuffer line{room, 0, sizeof room};
    LNetOpResult r;
    EXPECT_EQ(LNetReceiveLine(r, progress_, client_, line, 5000), LNetDone);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(room), line.length), "abcd");
    LStringA next;
    EXPECT_EQ(LNetReceiveLineGrow(r, progress_, client_, next, 5000), LNetDone);
    EXPECT_EQ(next.Str(), "next");
}

TEST_F(LoopbackPair, LineReadNeverTakesBytesAfterTheLineEnd) {
    Feed({"one\r\nrest of the stream"});
    LStringA line;
    LNetOpResult r;
    ASSERT_EQ(LNetReceiveLineGrow(r, progress_, client_, line, 5000), LNetDone);
    char buf[64];
    uint64_t n = 0;
    ASSERT_EQ(LNetReceive(r, progress_, client_, buf, sizeof buf, n, 5000), LNetDone);
    EXPECT_EQ(std::string(buf, n), "rest of the stream");
}

TEST_F(LoopbackPair, PeerCloseDeliversAPartialLineThenFails) {
    Feed({"abc"});
    server_.Reset();
    LStringA line;
    LNetOpResult r;
    EXPECT_EQ(LNetReceiveLineGrow(r, progress_, client_, line, 5000), LNetDone);
    EXPECT_EQ(line.Str(), "abc");
    line.Clear();
    EXPECT_EQ(LNetReceiveLineGrow(r, progress_, client_, line, 5000), LNetFailed);
    char buf[4];
    uint64_t n = 9;
    EXPECT_EQ(LNetReceive(r, progress_, client_, buf, sizeof buf, n, 5000), LNetFailed);
    EXPECT_EQ(n, 0u);
}

TEST_F(LoopbackPair, ReceiveExactAndSendAllMoveEveryByte) {
    std::string big(3 * 1024 * 1024, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
    std::string got(big.size(), '\0');
    std::thread reader([&] {
        LPlainWait p;
        uint64_t total = 0;
        LNetOpResult r;
        LNetReceiveExact(r, p, server_.Get(), got.data(), got.size(), total, 10000);
    });
    LNetOpResult r;
    EXPECT_EQ(LNetSendAll(r, progress_, client_, big.data(), big.size(), 10000), LNetDone);
    reader.join();
    EXPECT_TRUE(got == big);
}

TEST_F(LoopbackPair, StopRequestEndsABlockedReceive) {
    LTestOperationThread worker([&](LTaskProgress& progress) {
        char buf[16];
        uint64_t n = 0;
        LNetOpResult r;
        return LNetReceive(r, progress, client_, buf, sizeof buf, n, 60000);
    });
    auto ran = worker.RunAndStop();
    EXPECT_EQ(worker.result, LNetStopped);
    // Far below the 60 s time-out: the stop was seen at a wait step.
    EXPECT_LT(ran, std::chrono::seconds(30));
}

TEST(NetConnect, RefusedConnectsLeaveNoSocket) {
    LPlainWait progress;
    LOwnedSocket probe(LPlatformSocketListen(Loopback(), 0, 1));
    LNetSocketAddress a;
    a.address = Loopback();
    a.port = LPlatformSocketLocalPort(probe.Get());
    probe.Reset();  // nothing listens there now
    LSocket s = LInvalidSocket;
    LNetOpResult r;
    EXPECT_EQ(LNetConnect(r, progress, s, a, 5000), LNetFailed);
    EXPECT_EQ(s, LInvalidSocket);
    a.address = 0xFFFFFFFFu;
    EXPECT_EQ(LNetConnect(r, progress, s, a, 5000), LNetFailed);
    EXPECT_EQ(s, LInvalidSocket);
}

TEST(NetConnect, ConnectToAPeerThatNeverAnswersTimesOutOrStops) {
    // A listener whose accept queue is full drops further SYNs: connects to
    // it stay pending.
    LOwnedSocket full(LPlatformSocketListen(Loopback(), 0, 0));
    LNetSocketAddress a;
    a.address = Loopback();
    a.port = LPlatformSocketLocalPort(full.Get());
    LPlainWait plain;
    LSocket first = LInvalidSocket;
    LNetOpResult r;
    ASSERT_EQ(LNetConnect(r, plain, first, a, 5000), LNetDone);
    LOwnedSocket first_owned(first);

    LSocket s = LInvalidSocket;
    EXPECT_EQ(LNetConnect(r, plain, s, a, 1000), LNetFailed);
    EXPECT_EQ(s, LInvalidSocket);

    LTestOperationThread worker([&](LTaskProgress& p) {
        LNetOpResult res;
        return LNetConnect(res, p, s, a, 60000);
    });
    worker.RunAndStop();
    EXPECT_EQ(worker.result, LNetStopped);
    EXPECT_EQ(s, LInvalidSocket);
}

TEST(NetConnect, ConnectAnyTakesTheFirstAddressThatAnswers) {
    LPlainWait progress;
    LOwnedSocket listener(LPlatformSocketListen(Loopback("127.0.0.4"), 0, 4));
    ASSERT_NE(listener.Get(), LInvalidSocket);
    LNetAddressList list;
    list.port = ntohs(LPlatformSocketLocalPort(listener.Get()));
    list.addresses[0] = Loopback("127.0.0.2");
    list.addresses[1] = Loopback("127.0.0.3");
    list.addresses[2] = Loopback("127.0.0.4");
    list.count = 3;
    LSocket s = LInvalidSocket;
    LNetOpResult r;
    EXPECT_EQ(LNetConnectAny(r, progress, s, list, 5000), LNetDone);
    EXPECT_NE(s, LInvalidSocket);
    LPlatformSocketClose(s);
    s = LInvalidSocket;
    LNetAddressList empty;
    EXPECT_EQ(LNetConnectAny(r, progress, s, empty, 5000), LNetFailed);
    EXPECT_EQ(s, LInvalidSocket);
}

}  // namespace
