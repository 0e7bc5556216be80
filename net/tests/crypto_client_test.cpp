// Our TLS client against openssl s_server (and a Python STARTTLS peer).
#include <arpa/inet.h>
#include <poll.h>

#include <atomic>
#include <chrono>
#include <cstring>

#include "net/tests/tls_fixture.h"

namespace {

std::string ReceiveSome(LCryptoSocket& record, LTaskProgress& progress, uint64_t n, LNetOpResult& r) {
    std::string s(n, '\0');
    uint64_t got = 0;
    record.ReceiveExact(r, progress, s.data(), n, got, 10000);
    s.resize(got);
    return s;
}

TEST_F(TlsTest, ClientHandshakeAndDataWithBothVersions) {
    struct Case {
        const char* version_flag;
        const char* protocol;
    };
    for (const Case& c : {Case{"-tls1_3", "TLSv1.3"}, Case{"-tls1_2", "TLSv1.2"}}) {
        LTestTlsServer server;
        ASSERT_TRUE(server.Start(leaf_, {"-rev", c.version_flag}));
        LCryptoSocket record;
        ASSERT_TRUE(Connect(record, "localhost", server.Port()));
        ASSERT_TRUE(record.StartTls(LTlsClient)) << server.Output();
        EXPECT_STREQ(record.ProtocolName(), c.protocol);
        EXPECT_EQ(record.name_mismatch, 0u);
        // Session tickets arrive after the handshake: they are not data, so
        // a receive with nothing sent times out empty-handed.
        char buf[16];
        uint64_t n = 99;
        LNetOpResult r;
        EXPECT_EQ(record.Receive(r, progress_, buf, sizeof buf, n, 600), LNetFailed);
        EXPECT_EQ(n, 0u);
        ASSERT_EQ(record.Send(r, progress_, "hello\r\n", 7, 5000), LNetDone);
        EXPECT_EQ(ReceiveSome(record, progress_, 6, r), "olleh\n");
        // 100 bytes of plaintext in one record, read 10 at a time.
        std::string line(99, 'a');
        for (size_t i = 0; i < line.size(); ++i) line[i] = static_cast<char>('a' + i % 26);
        std::string sent = line + "\n";
        ASSERT_EQ(record.Send(r, progress_, sent.data(), sent.size(), 5000), LNetDone);
        std::string got;
        while (got.size() < 100) {
            char piece[10];
            ASSERT_EQ(record.Receive(r, progress_, piece, sizeof piece, n, 5000), LNetDone);
            ASSERT_LE(n, 10u);
            got.append(piece, n);
        }
        EXPECT_EQ(got, std::string(line.rbegin(), line.rend()) + "\n");
    }
}

TEST_F(TlsTest, IpLiteralIsCheckedAgainstTheCertificateAddress) {
    LTestTlsServer server;
    ASSERT_TRUE(server.Start(leaf_, {"-rev"}));
    LCryptoSocket record;
    ASSERT_TRUE(Connect(record, "127.0.0.1", server.Port()));
    EXPECT_TRUE(record.StartTls(LTlsClient));
    EXPECT_EQ(record.name_mismatch, 0u);
}

TEST_F(TlsTest, ServerNameIndicationIsSentForNamesOnly) {
    // This server ends the handshake of a client that names another host;
    // a client that names none is served.
    LTestTlsServer server;
    ASSERT_TRUE(server.Start(leaf_, {"-rev", "-servername", "other.test", "-servername_fatal", "-cert2",
                                     leaf_.chain_path, "-key2", leaf_.key_path}));
    LCryptoSocket by_name;
    ASSERT_TRUE(Connect(by_name, "localhost", server.Port()));
    EXPECT_FALSE(by_name.StartTls(LTlsClient));
    LCryptoSocket by_address;
    ASSERT_TRUE(Connect(by_address, "127.0.0.1", server.Port()));
    EXPECT_TRUE(by_address.StartTls(LTlsClient));
}

TEST_F(TlsTest, NameMismatchFailsOnlyWithVerifyName) {
    LTestCertificateOptions o;
    o.common_name = "other.test";
    o.dns_names = {"other.test"};
    o.ip_addresses = {};
    LTestIssuedCertificate other = ca_->Issue("other", o);
    LTestTlsServer server;
    ASSERT_TRUE(server.Start(other, {"-rev"}));
    for (uint8_t verify : {1, 0}) {
        LCryptoSocket record;
        record.verify_name = verify;
        ASSERT_TRUE(Connect(record, "localhost", server.Port()));
        EXPECT_EQ(record.StartTls(LTlsClient), verify == 0) << int(verify);
        EXPECT_EQ(record.name_mismatch, 1u);
        EXPECT_EQ(record.IsTls(), verify == 0);
    }
}

TEST_F(TlsTest, BadChainsFailEvenWithoutTheNameCheck) {
    LTestCertificateOptions expired;
    expired.not_before_days = -30;
    expired.not_after_days = -1;
    LTestIssuedCertificate expired_cert = ca_->Issue("expired", expired);
    LTestCertificateAuthority stranger(root_.Path(), "stranger");
    LTestIssuedCertificate untrusted = stranger.Issue("untrusted", {});
    for (const auto* cert : {&expired_cert, &untrusted}) {
        LTestTlsServer server;
        ASSERT_TRUE(server.Start(*cert, {"-rev"}));
        for (uint8_t verify : {1, 0}) {
            LCryptoSocket record;
            record.verify_name = verify;
            ASSERT_TRUE(Connect(record, "localhost", server.Port()));
            EXPECT_FALSE(record.StartTls(LTlsClient)) << cert->cert_path;
            EXPECT_FALSE(record.IsTls());
            // The connection is not secured, and it does not fall back to
            // sending in clear.
            LNetOpResult r;
            EXPECT_EQ(record.Send(r, progress_, "x", 1, 1000), LNetFailed);
        }
    }
}

TEST_F(TlsTest, CloseNotifyAfterDataEndsTheConnection) {
    LTestTlsServer server;
    ASSERT_TRUE(server.Start(leaf_, {"-rev"}));
    LCryptoSocket record;
    ASSERT_TRUE(Connect(record, "localhost", server.Port()));
    ASSERT_TRUE(record.StartTls(LTlsClient));
    LNetOpResult r;
    ASSERT_EQ(record.Send(r, progress_, "abc\r\nCLOSE\r\n", 12, 5000), LNetDone);
    EXPECT_EQ(ReceiveSome(record, progress_, 4, r), "cba\n");
    EXPECT_EQ(r, LNetDone);
    char buf[16];
    uint64_t n = 0;
    EXPECT_EQ(record.Receive(r, progress_, buf, sizeof buf, n, 5000), LNetFailed);
    EXPECT_EQ(n, 0u);
    EXPECT_FALSE(record.IsTls());
    EXPECT_EQ(record.Receive(r, progress_, buf, sizeof buf, n, 5000), LNetFailed);
    EXPECT_EQ(record.Send(r, progress_, "x", 1, 1000), LNetFailed);
}

// A TCP relay between our client and a TLS server. Once told to cut, it
// forwards only the first bytes of the server's next piece and then closes
// both ends. Told to hold, it keeps the server's bytes back for 300 ms after
// the client's second flight, so that the server's last handshake message
// and the data behind it reach the client in one piece.
class Relay {
public:
    explicit Relay(int target_port, bool hold = false) : hold_(hold) {
        listener_.Reset(LPlatformSocketListen(htonl(INADDR_LOOPBACK), 0, 4));
        port_ = ntohs(LPlatformSocketLocalPort(listener_.Get()));
        thread_ = std::thread([this, target_port] { Run(target_port); });
    }
    ~Relay() {
        done_ = true;
        thread_.join();
    }
    int Port() const { return port_; }
    std::atomic<bool> cut{false};

private:
    void Run(int target_port) {
        if (LPlatformSocketWaitReadable(listener_.Get(), 20000) != 1) return;
        LOwnedSocket client(LPlatformSocketAccept(listener_.Get(), nullptr, nullptr, 0, 0));
        LPlainWait progress;
        LSocket server = LInvalidSocket;
        LNetSocketAddress a;
        a.address = htonl(INADDR_LOOPBACK);
        a.port = htons(static_cast<uint16_t>(target_port));
        LNetOpResult r;
        if (LNetConnect(r, progress, server, a, 5000) != LNetDone) return;
        LOwnedSocket owned_server(server);
        char buf[65536];
        int client_pieces = 0;
        auto hold_until = std::chrono::steady_clock::now();
        while (!done_) {
            pollfd p[2] = {{client.Get(), POLLIN, 0}, {server, POLLIN, 0}};
            bool holding = std::chrono::steady_clock::now() < hold_until;
            if (poll(p, holding ? 1 : 2, 50) <= 0) continue;
            for (int i = 0; i < (holding ? 1 : 2); ++i) {
                if (!p[i].revents) continue;
                LSocket from = i == 0 ? client.Get() : server;
                LSocket to = i == 0 ? server : client.Get();
                long n = LPlatformSocketReceive(from, buf, sizeof buf, false);
                if (n <= 0) return;
                if (i == 1 && cut) {
                    LNetSendAll(r, progress, to, buf, std::min<long>(n, 10), 5000);
                    return;  // both ends close here
                }
                LNetSendAll(r, progress, to, buf, static_cast<uint64_t>(n), 5000);
                if (i == 0 && ++client_pieces == 2 && hold_)
                    hold_until = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
            }
        }
    }
    bool hold_;
    LOwnedSocket listener_;
    int port_ = 0;
    std::atomic<bool> done_{false};
    std::thread thread_;
};

TEST_F(TlsTest, PeerClosingInsideARecordIsAFailure) {
    LTestTlsServer server;
    ASSERT_TRUE(server.Start(leaf_, {"-rev", "-num_tickets", "0"}));
    Relay relay(server.Port());
    LCryptoSocket record;
    ASSERT_TRUE(Connect(record, "localhost", relay.Port()));
    ASSERT_TRUE(record.StartTls(LTlsClient));
    relay.cut = true;
    LNetOpResult r;
    ASSERT_EQ(record.Send(r, progress_, "hello\r\n", 7, 5000), LNetDone);
    char buf[64];
    uint64_t n = 99;
    EXPECT_EQ(record.Receive(r, progress_, buf, sizeof buf, n, 10000), LNetFailed);
    EXPECT_EQ(n, 0u);
}

TEST_F(TlsTest, DataBehindTheLastHandshakeMessageIsHeldForTheFirstReceive) {
    int port = LTestFreePort();
    std::string out = root_.Path() + "/greeter.out";
    LTestProcess peer(LTestRedirectedArgv({"/usr/bin/python3", PORLINEX_SOURCE_DIR "/net/tests/testdata/tls12_greeter.py",
                                           std::to_string(port), leaf_.chain_path, leaf_.key_path},
                                          "/dev/null", out));
    ASSERT_TRUE(LTestWaitFor(10000, [&] { return LTestReadFile(out).find("READY") != std::string::npos; }));
    Relay relay(port, true);
    LCryptoSocket record;
    ASSERT_TRUE(Connect(record, "localhost", relay.Port()));
    ASSERT_TRUE(record.StartTls(LTlsClient)) << LTestReadFile(out);
    EXPECT_STREQ(record.ProtocolName(), "TLSv1.2");
    EXPECT_GT(record.HeldBytes(), 0u);
    LNetOpResult r;
    LStringA line;
    EXPECT_EQ(LReceiveLineToString(r, progress_, record, line, 5000), LNetDone);
    EXPECT_EQ(line.Str(), "welcome");
    record.Send(r, progress_, "bye\r\n", 5, 5000);
}

TEST_F(TlsTest, StopRequestEndsABlockedTlsReceive) {
    LTestTlsServer server;
    ASSERT_TRUE(server.Start(leaf_, {"-rev"}));
    LCryptoSocket record;
    ASSERT_TRUE(Connect(record, "localhost", server.Port()));
    ASSERT_TRUE(record.StartTls(LTlsClient));
    LTestOperationThread worker([&](LTaskProgress& progress) {
        char buf[16];
        uint64_t n = 0;
        LNetOpResult r;
        return record.Receive(r, progress, buf, sizeof buf, n, 60000);
    });
    auto ran = worker.RunAndStop();
    EXPECT_EQ(worker.result, LNetStopped);
    EXPECT_LT(ran, std::chrono::seconds(30));
}

TEST_F(TlsTest, StartTlsOnTheSameConnection) {
    int port = LTestFreePort();
    std::string out = root_.Path() + "/starttls.out";
    LTestProcess peer(LTestRedirectedArgv({"/usr/bin/python3", PORLINEX_SOURCE_DIR "/net/tests/testdata/starttls_peer.py",
                                           std::to_string(port), leaf_.chain_path, leaf_.key_path},
                                          "/dev/null", out));
    ASSERT_TRUE(LTestWaitFor(10000, [&] { return LTestReadFile(out).find("READY") != std::string::npos; }));
    LCryptoSocket record;
    ASSERT_TRUE(Connect(record, "localhost", port));
    LStringA line;
    LNetOpResult r;
    ASSERT_EQ(LReceiveLineToString(r, progress_, record, line, 5000), LNetDone);
    EXPECT_EQ(line.Str(), "220 ready");
    ASSERT_EQ(record.Send(r, progress_, "STARTTLS\r\n", 10, 5000), LNetDone);
    ASSERT_EQ(LReceiveLineToString(r, progress_, record, line, 5000), LNetDone);
    EXPECT_EQ(line.Str(), "220 go ahead");
    ASSERT_TRUE(record.StartTls(LTlsClient)) << LTestReadFile(out);
    ASSERT_EQ(record.Send(r, progress_, "over tls\r\n", 10, 5000), LNetDone);
    ASSERT_EQ(LReceiveLineToString(r, progress_, record, line, 5000), LNetDone);
    EXPECT_EQ(line.Str(), "echo over tls");
    EXPECT_EQ(peer.Wait(10000), 0) << LTestReadFile(out);
}

}  // namespace
