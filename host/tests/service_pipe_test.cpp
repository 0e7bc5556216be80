// The service and its desktops over the real socket: `porlinex -service`
// under a fresh root, real LServiceEngineProxy clients and raw sockets that
// misbehave.
#include <gtest/gtest.h>

#include <algorithm>
#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/reg_settings.h"
#include "host/engine_proxy.h"
#include "host/pipe_message.h"
#include "platform/unix_socket.h"
#include "tests/support/service_harness.h"
#include "tests/support/test_root.h"

namespace {

// Records what the reader hands over.
class Recorder : public LServiceEngineProxyOwner {
public:
    void OnServiceLogLine(const std::string& time_text, const std::string& line_text, int level) override {
        std::lock_guard<std::mutex> lock(lock_);
        lines_.push_back(line_text);
        (void)time_text;
        (void)level;
    }
    void OnServiceEvent(uint32_t code, const void*, uint32_t) override {
        std::lock_guard<std::mutex> lock(lock_);
        events_.push_back(code);
    }
    size_t CountEvents(uint32_t code) {
        std::lock_guard<std::mutex> lock(lock_);
        size_t n = 0;
        for (uint32_t c : events_) n += c == code;
        return n;
    }
    std::vector<std::string> Lines() {
        std::lock_guard<std::mutex> lock(lock_);
        return lines_;
    }
    bool HasLine(const std::string& part) {
        for (const auto& l : Lines())
            if (l.find(part) != std::string::npos) return true;
        return false;
    }

private:
    std::mutex lock_;
    std::vector<std::string> lines_;
    std::vector<uint32_t> events_;
};

// A client that speaks raw bytes (or nothing at all).
LUnixSocket RawClient() {
    LUnixSocket s;
    EXPECT_TRUE(LUnixSocketConnect(LServiceSocketPath(), s));
    return s;
}

void SendHeader(LUnixSocket& s, uint16_t magic, uint16_t type, uint32_t code, uint32_t length) {
    LPipeHeader h;
    h.magic = magic;
    h.type = type;
    h.code = code;
    h.length = length;
    unsigned char raw[LPipeHeaderSize];
    LPipeHeaderEncode(h, raw);
    ASSERT_EQ(LUnixSocketWrite(s.Fd(), raw, sizeof raw, 5000, -1), LSocketDone);
}

// True once the service has closed this client: a read ends in EOF.
bool ClosedByService(LUnixSocket& s, int timeout_ms) {
    return LTestWaitFor(timeout_ms, [&] {
        char buf[4096];
        ssize_t n = recv(s.Fd(), buf, sizeof buf, MSG_DONTWAIT);
        return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
    });
}

class ServicePipe : public ::testing::Test {
protected:
    LTestRoot root_;
};

// A running service (a manual start) with one desktop connected.
class ServicePipeRunning : public ServicePipe {
protected:
    void SetUp() override {
        ASSERT_TRUE(service_.WaitRunning());
        ASSERT_TRUE(service_.WaitWebListening());
        ASSERT_TRUE(proxy_.Connect());
    }
    LTestService service_;
    Recorder rec_;
    LServiceEngineProxy proxy_{&rec_};
};

TEST_F(ServicePipe, DesktopQueriesCommandsEventsAndStop) {
    LTestService service(std::vector<std::string>{});  // an automatic start: the delay runs
    Recorder rec;
    LServiceEngineProxy proxy(&rec);
    ASSERT_TRUE(proxy.Connect());
    // Asked while the service may still be starting: answered once it runs.
    EXPECT_EQ(proxy.Query(LPipeQueryServiceThere), 1u);
    EXPECT_EQ(LTestServiceStateWord(), "running");
    EXPECT_EQ(proxy.Query(0x1234567), 0u);
    EXPECT_EQ(proxy.Query(LPipeQueryBindFailed), 0u);
    EXPECT_EQ(proxy.Query(LPipeQueryWebUp), 1u);
    std::string version;
    EXPECT_EQ(proxy.Request(LPipeRequestVersion, version), 1u);
    EXPECT_EQ(version, std::string("2.01EN", 7));
    EXPECT_EQ(proxy.Request(0x7777, version), 0u);
    EXPECT_EQ(version, "");

    proxy.Send(LPipeCommandRestartPlain, nullptr, 0);
    EXPECT_TRUE(LTestWaitFor(10000, [&] { return rec.CountEvents(LPipeEventListening) >= 1; }));
    EXPECT_TRUE(LTestWaitFor(10000, [&] { return rec.HasLine("Restarting web server (Non-secure)"); }));

    EXPECT_EQ(service.Stop(), 0);
    EXPECT_EQ(LTestServiceStateWord(), "stopped");
    EXPECT_NE(LTestService::ActivityText().find("Application stopped"), std::string::npos);
    // No service: "not there", which a desktop must not take for "no".
    EXPECT_EQ(proxy.Query(LPipeQueryServiceThere), LProxyNotConnected);
}

// A question the service has taken but not answered (it is still in its
// start delay) ends as soon as the service goes, as "not there".
TEST(ServicePipeStart, QuestionInFlightEndsWhenTheServiceGoes) {
    LTestRoot root;
    ASSERT_TRUE(LRegSettingsSet(u"Service", u"Delay", u"60000"));
    LTestService service(std::vector<std::string>{});
    ASSERT_TRUE(service.WaitForState("start-pending"));
    Recorder rec;
    LServiceEngineProxy proxy(&rec);
    ASSERT_TRUE(proxy.Connect());
    auto asked = std::async(std::launch::async, [&] { return proxy.Query(LPipeQueryServiceThere); });
    EXPECT_EQ(asked.wait_for(std::chrono::seconds(1)), std::future_status::timeout);
    auto stopped_at = std::chrono::steady_clock::now();
    EXPECT_EQ(service.Stop(), 0);
    EXPECT_EQ(asked.get(), LProxyNotConnected);
    EXPECT_LT(std::chrono::steady_clock::now() - stopped_at, std::chrono::seconds(10));
}

TEST_F(ServicePipe, TwoDesktopsGetTheSameLinesInOrder) {
    LTestService service;
    ASSERT_TRUE(service.WaitRunning());
    ASSERT_TRUE(service.WaitWebListening());
    Recorder a_rec, b_rec;
    LServiceEngineProxy a(&a_rec), b(&b_rec);
    ASSERT_TRUE(a.Connect());
    ASSERT_TRUE(b.Connect());
    ASSERT_EQ(b.Query(LPipeQueryServiceThere), 1u);  // b is linked before the commands
    constexpr size_t kRounds = 20;
    // One restart at a time: a restart that comes before the listener it
    // replaces has started listening takes that listener's event with it.
    // The listening event follows each command's log lines on the same
    // connection: once both have every event, both have every line.
    for (size_t i = 1; i <= kRounds; ++i) {
        a.Send(LPipeCommandRestartPlain, nullptr, 0);
        ASSERT_TRUE(LTestWaitFor(10000, [&] {
            return a_rec.CountEvents(LPipeEventListening) == i && b_rec.CountEvents(LPipeEventListening) == i;
        })) << i;
    }
    // A line logged while b was still connecting (the web probe's own
    // closed connection, say) reaches a alone: from b's link on, both
    // streams are the same.
    auto a_lines = a_rec.Lines(), b_lines = b_rec.Lines();
    EXPECT_GE(b_lines.size(), kRounds);
    ASSERT_GE(a_lines.size(), b_lines.size());
    EXPECT_TRUE(std::equal(b_lines.begin(), b_lines.end(), a_lines.end() - static_cast<long>(b_lines.size())));
}

TEST_F(ServicePipeRunning, PayloadsAndNumbersKeepTheStreamInStep) {
    // A number without payload (type 0x8001), then payloads on both sides
    // of the fixed buffer and at the limit: each must be read whole, or the
    // next header would be read from the middle of a payload.
    proxy_.Send(LPipeCommandRestartPlain, nullptr, 12345);
    EXPECT_TRUE(LTestWaitFor(10000, [&] { return rec_.CountEvents(LPipeEventListening) == 1; }));
    for (uint32_t size : {1u, LPipeFixedPayload, LPipeFixedPayload + 1, LPipeMaxPayload}) {
        std::string payload(size, 'p');
        proxy_.Send(0x7777, payload.data(), size);
        EXPECT_EQ(proxy_.Query(LPipeQueryServiceThere), 1u) << size;
    }
}

TEST_F(ServicePipeRunning, ClientThatStopsReadingIsCutOffOthersCarryOn) {
    LUnixSocket stuck = RawClient();
    int small = 4096;
    setsockopt(stuck.Fd(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    bool cut = false;
    for (int i = 0; i < 3000 && !cut; ++i) {
        proxy_.Send(LPipeCommandRestartPlain, nullptr, 0);
        ASSERT_EQ(proxy_.Query(LPipeQueryServiceThere), 1u);
        pollfd p{stuck.Fd(), POLLRDHUP, 0};
        cut = poll(&p, 1, 0) == 1 && (p.revents & (POLLRDHUP | POLLHUP));
    }
    EXPECT_TRUE(cut);
    EXPECT_TRUE(ClosedByService(stuck, 10000));
    size_t before = rec_.CountEvents(LPipeEventListening);
    proxy_.Send(LPipeCommandRestartPlain, nullptr, 0);
    EXPECT_TRUE(LTestWaitFor(10000, [&] { return rec_.CountEvents(LPipeEventListening) > before; }));
}

TEST_F(ServicePipeRunning, BadClientsAreDroppedAlone) {
    struct Case {
        const char* what;
        uint16_t magic;
        uint16_t type;
        uint32_t length;
    };
    const Case cases[] = {
        {"wrong magic", 0x4321, LPipeTypeQuery, 0},
        {"payload above 64 KiB", LPipeMagic, LPipeTypeCommand, LPipeMaxPayload + 1},
        {"payload of 4 GiB", LPipeMagic, LPipeTypeCommand, 0xFFFFFFFFu},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LUnixSocket bad = RawClient();
        SendHeader(bad, c.magic, c.type, LPipeQueryServiceThere, c.length);
        EXPECT_TRUE(ClosedByService(bad, 10000));
        EXPECT_EQ(proxy_.Query(LPipeQueryServiceThere), 1u);
    }
    // A client that goes away with its message pending leaves the rest as is.
    {
        LUnixSocket gone = RawClient();
        SendHeader(gone, LPipeMagic, LPipeTypeQuery, LPipeQueryServiceThere, 0);
    }
    EXPECT_EQ(proxy_.Query(LPipeQueryServiceThere), 1u);
    EXPECT_EQ(service_.Stop(), 0);
}

TEST_F(ServicePipe, ProxyReconnectsAfterServiceRestart) {
    Recorder rec;
    LServiceEngineProxy proxy(&rec);
    {
        LTestService first;
        ASSERT_TRUE(first.WaitRunning());
        ASSERT_TRUE(proxy.Connect());
        ASSERT_EQ(proxy.Query(LPipeQueryServiceThere), 1u);
        ASSERT_EQ(first.Stop(), 0);
    }
    size_t lines_before = rec.Lines().size();
    LTestService second;
    ASSERT_TRUE(second.WaitRunning());
    // Log lines and events resume without any action by the desktop.
    EXPECT_TRUE(LTestWaitFor(10000, [&] {
        proxy.Send(LPipeCommandRestartPlain, nullptr, 0);
        return rec.CountEvents(LPipeEventListening) > 0;
    }));
    // The lines travel apart from the event and may come after it.
    EXPECT_TRUE(LTestWaitFor(10000, [&] { return rec.Lines().size() > lines_before; }));
}

TEST_F(ServicePipe, ConnectGivesUpWhenNoServiceRuns) {
    Recorder rec;
    LServiceEngineProxy proxy(&rec);
    EXPECT_FALSE(proxy.Connect());
    EXPECT_EQ(proxy.Query(LPipeQueryServiceThere), LProxyNotConnected);
}

TEST_F(ServicePipe, SecondServiceLeavesTheFirstAlone) {
    LTestService first;
    ASSERT_TRUE(first.WaitRunning());
    LTestService second;
    EXPECT_EQ(second.Process().Wait(20000), 1);
    EXPECT_EQ(LTestServiceStateWord(), "running");
    Recorder rec;
    LServiceEngineProxy proxy(&rec);
    ASSERT_TRUE(proxy.Connect());
    EXPECT_EQ(proxy.Query(LPipeQueryServiceThere), 1u);
}

}  // namespace
