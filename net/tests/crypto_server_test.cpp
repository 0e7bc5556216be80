// Our TLS server against openssl s_client, its first-record checks, TLS
// line reads, handing a connection over, and the PKCS#12 loader.
#include <arpa/inet.h>
#include <openssl/x509.h>

#include <chrono>
#include <filesystem>

#include "foundation/data_folder.h"
#include "net/tests/tls_fixture.h"

namespace {

LStringA ReadLine(LCryptoSocket& record, LTaskProgress& progress, LNetOpResult& r) {
    LStringA line;
    LReceiveLineToString(r, progress, record, line, 10000);
    return line;
}

TEST_F(TlsTest, ServerHandshakeWithSClient) {
    std::string got_line;
    OneConnectionServer server(server_cert_, [&](LCryptoSocket& record) {
        LPlainWait p;
        if (!record.StartTls(LTlsServer)) return;
        LNetOpResult r;
        got_line = ReadLine(record, p, r).Str();
        record.Send(r, p, "pong\r\n", 6, 5000);
    });
    std::string out;
    int rc = LTestRunTlsClient(server.Port(), ca_->CaPath(), {"-servername", "localhost", "-verify_hostname", "localhost"},
                               "ping\r\n", out, 20000);
    server.Join();
    EXPECT_EQ(rc, 0) << out;
    EXPECT_EQ(got_line, "ping");
    EXPECT_NE(out.find("pong"), std::string::npos) << out;
}

TEST_F(TlsTest, ServerStartTlsWithSClient) {
    std::string got_line, ehlo;
    OneConnectionServer server(server_cert_, [&](LCryptoSocket& record) {
        LPlainWait p;
        LNetOpResult r;
        record.Send(r, p, "220 test ESMTP\r\n", 16, 5000);
        ehlo = ReadLine(record, p, r).Str();
        const char caps[] = "250-test\r\n250 STARTTLS\r\n";
        record.Send(r, p, caps, sizeof caps - 1, 5000);
        if (ReadLine(record, p, r).Str() != "STARTTLS") return;
        record.Send(r, p, "220 go ahead\r\n", 14, 5000);
        // The plain line reads took nothing of the ClientHello.
        if (!record.StartTls(LTlsServer)) return;
        got_line = ReadLine(record, p, r).Str();
        record.Send(r, p, "250 secured\r\n", 13, 5000);
    });
    std::string out;
    int rc = LTestRunTlsClient(server.Port(), ca_->CaPath(),
                               {"-starttls", "smtp", "-name", "client.test", "-verify_hostname", "localhost"},
                               "MAIL FROM:<a@b>\r\n", out, 20000);
    server.Join();
    EXPECT_EQ(rc, 0) << out;
    EXPECT_EQ(ehlo, "EHLO client.test");
    EXPECT_EQ(got_line, "MAIL FROM:<a@b>");
    EXPECT_NE(out.find("250 secured"), std::string::npos) << out;
}

TEST_F(TlsTest, FirstRecordChecks) {
    struct Case {
        std::string bytes;
        const char* log;
    };
    std::string oversized = std::string("\x16\x03\x01\x13\x88", 5) + std::string(200, 'x');  // 5000 announced
    const Case cases[] = {
        {oversized, "Content length exceeds buffer size"},
        {"GET / HTTP/1.0\r\n\r\n", "Expected 22 for content type but received 71"},
        {std::string("\x16\x03", 2), "Failed to receive bytes for TLS header. Read = 2"},
        {std::string("\x16\x03\x01\x00\x40", 5) + "short", "Failed to receive bytes for TLS payload."},
    };
    for (const auto& c : cases) {
        bool secured = true;
        OneConnectionServer server(server_cert_, [&](LCryptoSocket& record) {
            secured = record.StartTls(LTlsServer);
            EXPECT_FALSE(record.IsTls());
        });
        LPlainWait p;
        LSocket s = LInvalidSocket;
        LNetSocketAddress a;
        a.address = htonl(INADDR_LOOPBACK);
        a.port = htons(static_cast<uint16_t>(server.Port()));
        LNetOpResult r;
        ASSERT_EQ(LNetConnect(r, p, s, a, 5000), LNetDone);
        LNetSendAll(r, p, s, c.bytes.data(), c.bytes.size(), 5000);
        LPlatformSocketClose(s);  // the short cases end here
        server.Join();
        EXPECT_FALSE(secured) << c.log;
        EXPECT_NE(Logs().find(c.log), std::string::npos) << c.log << "\n" << Logs();
    }
}

// A client that sends its first record a byte at a time gets one budget for
// the whole handshake, not one per byte.
TEST_F(TlsTest, DrippedFirstRecordHasOneBudget) {
    bool secured = true;
    std::chrono::steady_clock::duration took{};
    OneConnectionServer server(server_cert_, [&](LCryptoSocket& record) {
        LPlainWait p;
        auto start = std::chrono::steady_clock::now();
        secured = record.StartTls(LTlsServer, p, 1500);
        took = std::chrono::steady_clock::now() - start;
    });
    // A byte every 400 ms: each comes well within any one wait.
    LTestProcess client({"/usr/bin/python3", PORLINEX_SOURCE_DIR "/tests/support/drip_client.py",
                         std::to_string(server.Port()), "0.4"});
    server.Join();
    EXPECT_FALSE(secured);
    EXPECT_LT(took, std::chrono::seconds(4));
    EXPECT_NE(Logs().find("Failed to receive bytes for TLS"), std::string::npos) << Logs();
}

// Our client against our server: the line rules over TLS.
TEST_F(TlsTest, TlsLinesEndOnlyAtCrLf) {
    OneConnectionServer server(server_cert_, [&](LCryptoSocket& record) {
        LPlainWait p;
        if (!record.StartTls(LTlsServer)) return;
        LNetOpResult r;
        // Each Send is a record of its own: the CR LF of "x" is split
        // between two records.
        for (const char* piece : {"ab\r\n", "a\nb\r\n", "x\r", "\nc\rd\r\n", "abcdefgh\r\nrest"})
            record.Send(r, p, piece, std::strlen(piece), 5000);
        ReadLine(record, p, r);  // waits for the client to finish
    });
    LCryptoSocket record;
    ASSERT_TRUE(Connect(record, "localhost", server.Port()));
    ASSERT_TRUE(record.StartTls(LTlsClient));
    LNetOpResult r;
    for (const char* want : {"ab", "a\nb", "x", "c\rd"}) {
        EXPECT_EQ(ReadLine(record, progress_, r).Str(), want);
        EXPECT_EQ(r, LNetDone);
    }
    uint8_t room[4];
    LBoundedBuffer bounded{room, 0, sizeof room};
    EXPECT_EQ(record.ReceiveLine(r, progress_, bounded, 10000), LNetDone);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(room), bounded.length), "abcd");
    char rest[4];
    uint64_t total = 0;
    EXPECT_EQ(record.ReceiveExact(r, progress_, rest, 4, total, 10000), LNetDone);
    EXPECT_EQ(std::string(rest, total), "rest");
    record.Send(r, progress_, "done\r\n", 6, 5000);
}

TEST_F(TlsTest, MoveFromHandsOverALiveConnection) {
    OneConnectionServer server(server_cert_, [&](LCryptoSocket& accepted) {
        LCryptoSocket record;
        record.MoveFrom(accepted);
        EXPECT_EQ(accepted.socket, LInvalidSocket);
        accepted.Close();  // must not touch the moved connection
        LPlainWait p;
        if (!record.StartTls(LTlsServer)) return;
        LCryptoSocket moved;
        moved.MoveFrom(record);  // with TLS running
        EXPECT_FALSE(record.IsTls());
        LNetOpResult r;
        std::string line = ReadLine(moved, p, r).Str();
        moved.Send(r, p, (line + "!\r\n").data(), line.size() + 3, 5000);
    });
    LCryptoSocket record;
    ASSERT_TRUE(Connect(record, "localhost", server.Port()));
    ASSERT_TRUE(record.StartTls(LTlsClient));
    LNetOpResult r;
    record.Send(r, progress_, "moved\r\n", 7, 5000);
    EXPECT_EQ(ReadLine(record, progress_, r).Str(), "moved!");
}

TEST_F(TlsTest, PfxLoading) {
    LString error;
    EXPECT_FALSE(LLoadPfxCertificate(u"/nonexistent/cert.p12", u"secret", error));
    EXPECT_EQ(LToUtf8(error), "Couldn't open certificate file.");
    EXPECT_FALSE(LLoadPfxCertificate(LFromUtf8(leaf_.p12_no_key_path).c_str(), u"secret", error));
    EXPECT_EQ(LToUtf8(error), "Couldn't find the private key in the certificate file.");
    EXPECT_FALSE(LLoadPfxCertificate(LFromUtf8(leaf_.p12_path).c_str(), u"wrong", error));
    EXPECT_FALSE(error.IsEmpty());
    EXPECT_EQ(LToUtf8(error).find("Couldn't"), std::string::npos) << LToUtf8(error);  // OpenSSL's own text
    EXPECT_FALSE(LLoadPfxCertificate(LFromUtf8(leaf_.key_path).c_str(), u"secret", error));
    EXPECT_FALSE(error.IsEmpty());
    LCertificateContext cert = LLoadPfxCertificate(LFromUtf8(leaf_.p12_path).c_str(), u"secret", error);
    ASSERT_TRUE(cert);
    EXPECT_TRUE(error.IsEmpty());
    EXPECT_EQ(sk_X509_num(cert->chain), 1);  // the CA travels with it
}

void TestPassword(LString& out) { out.SetUtf8("secret"); }

TEST_F(TlsTest, ServerCertificateSourceUsesTheDataFolder) {
    LServerCertificateSource source;
    LSetCertificatePasswordReader(TestPassword);
    EXPECT_FALSE(source.Load());
    EXPECT_NE(Logs().find("Couldn't load SSL/TLS certificate"), std::string::npos);
    std::filesystem::copy_file(leaf_.p12_path, LDataSubfolderPath("Crypt") + "/certificate.p12");
    EXPECT_TRUE(source.Load());
    EXPECT_NE(Logs().find("SSL/TLS certificate loaded"), std::string::npos);
    EXPECT_TRUE(source.certificate);
    source.Free();
    EXPECT_FALSE(source.certificate);
    LSetCertificatePasswordReader(nullptr);
}

}  // namespace
