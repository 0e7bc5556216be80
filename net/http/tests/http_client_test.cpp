// The HTTP client against recording peers (tests/support/http_peer.py),
// python3 -m http.server and openssl s_server behind a recording CONNECT proxy.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/utf8.h"
#include "foundation/wait.h"
#include "net/http/http_client.h"
#include "net/http/proxy_settings.h"
#include "tests/support/http_peer.h"
#include "tests/support/test_root.h"
#include "tests/support/tls_peer.h"

namespace {

using Peer = LTestHttpPeer;

class HttpClientTest : public ::testing::Test {
protected:
    std::unique_ptr<Peer> Recorder(const std::string& reply) {
        std::string folder = root_.Path() + "/rec" + std::to_string(++peers_);
        std::filesystem::create_directories(folder);
        std::ofstream(folder + "/reply", std::ios::binary) << reply;
        auto p = std::make_unique<Peer>(folder, std::vector<std::string>{"--mode", "record", "--reply", folder + "/reply"});
        EXPECT_TRUE(p->Ready());
        return p;
    }
    std::string Url(int port, const std::string& path = "") { return "http://127.0.0.1:" + std::to_string(port) + path; }

    LTestRoot root_;
    LPlainWait wait_;
    int peers_ = 0;
};

TEST_F(HttpClientTest, GetWithoutPathAsksForTheRoot) {
    auto peer = Recorder("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nhello");
    char buffer[1024];
    LNetOpResult r;
    EXPECT_EQ(LHttpGetToBuffer(r, wait_, Url(peer->Port()).c_str(), buffer, sizeof buffer, 16024), 0u);
    EXPECT_STREQ(buffer, "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nhello");
    ASSERT_EQ(peer->Requests().size(), 1u);
    EXPECT_EQ(peer->Requests()[0], "GET / HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(peer->Port()) + "\r\n\r\n");

    // A small buffer keeps what fits, terminated.
    char small[8];
    EXPECT_EQ(LHttpGetToBuffer(r, wait_, Url(peer->Port(), "/x?y=1").c_str(), small, sizeof small, 16024), 0u);
    EXPECT_STREQ(small, "HTTP/1.");
    EXPECT_EQ(peer->Requests()[1].substr(0, 20), "GET /x?y=1 HTTP/1.0\r");
}

TEST_F(HttpClientTest, PostHeadsAndAnswers) {
    // Header names in any case: the length is found in lower case too.
    auto peer = Recorder("HTTP/1.1 200 OK\r\ncontent-length: 5\r\n\r\nhello and more");
    std::string host = "127.0.0.1:" + std::to_string(peer->Port());
    int status = 0;
    LByteBuffer answer;
    LNetOpResult r;
    EXPECT_EQ(LHttpPost(r, wait_, Url(peer->Port(), "/mcp").c_str(), nullptr, "{}", 2, status, answer), 0u);
    EXPECT_EQ(status, 200);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(answer.buffer), answer.length), "hello");
    EXPECT_EQ(LHttpPost(r, wait_, Url(peer->Port(), "/mcp").c_str(), "Content-Type: application/json", "[1]", 3,
                        status, answer),
              0u);
    EXPECT_EQ(LPostProblemReportTo(r, wait_, host.c_str(), "a=1&b=2"), 0u);
    // The report does not wait for an answer: the peer may log it later.
    ASSERT_TRUE(LTestWaitFor(10000, [&] { return peer->Requests().size() == 3; }));
    auto requests = peer->Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0], "POST /mcp HTTP/1.0\r\nHost: " + host + "\r\nContent-Length: 2\r\n\r\n{}");
    EXPECT_EQ(requests[1],
              "POST /mcp HTTP/1.0\r\nHost: " + host + "\r\nContent-Length: 3\r\nContent-Type: application/json\r\n\r\n[1]");
    EXPECT_EQ(requests[2], "POST /cgi-bin/report.exe HTTP/1.0\r\nHost: " + host +
                               "\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: 7\r\n\r\na=1&b=2");
}

TEST_F(HttpClientTest, AnswerLengthIsBounded) {
    auto peer = Recorder("HTTP/1.0 200 OK\r\nContent-Length: 99999999999999\r\n\r\nx");
    int status = 0;
    LByteBuffer answer;
    LNetOpResult r;
    EXPECT_EQ(LHttpPost(r, wait_, Url(peer->Port(), "/").c_str(), nullptr, "", 0, status, answer), 2u);
    EXPECT_EQ(answer.length, 0u);

    // Without a length the body runs to the close.
    auto open = Recorder("HTTP/1.0 404 Not Found\r\n\r\nnot here");
    EXPECT_EQ(LHttpPost(r, wait_, Url(open->Port(), "/").c_str(), nullptr, "", 0, status, answer), 0u);
    EXPECT_EQ(status, 404);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(answer.buffer), answer.length), "not here");
}

TEST_F(HttpClientTest, CrashDumpUpload) {
    auto peer = Recorder("HTTP/1.0 201 Created\r\n\r\n");
    std::string host = "127.0.0.1:" + std::to_string(peer->Port());
    std::string dump(5000, 'D');
    for (std::string content : {dump, std::string()}) {
        std::string path = root_.Path() + "/dump.bin";
        std::ofstream(path, std::ios::binary) << content;
        int status = 0;
        LNetOpResult r;
        EXPECT_EQ(LHttpUploadCrashDumpTo(r, wait_, host.c_str(), LFromUtf8(path).c_str(), u"crash \"1\".dmp", status), 0u);
        EXPECT_EQ(status, 201);
        std::string part =
            "--Tq7Rm3Yb4Al9Wp8Hg2Co1Bj5Nv6\r\nContent-Disposition: form-data; name=\"file\"; filename=\"crash 1.dmp\"\r\n"
            "Content-Type: application/octet-stream\r\n\r\n";
        std::string body = part + content + "\r\n--Tq7Rm3Yb4Al9Wp8Hg2Co1Bj5Nv6--\r\n";
        EXPECT_EQ(body.size(), part.size() + content.size() + 35);
        EXPECT_EQ(peer->Requests().back(),
                  "POST /minidumpupload HTTP/1.0\r\nHost: " + host +
                      "\r\nContent-Type: multipart/form-data; boundary=Tq7Rm3Yb4Al9Wp8Hg2Co1Bj5Nv6\r\nContent-Length: " +
                      std::to_string(body.size()) + "\r\n\r\n" + body);
    }
}

// A download replaces the file only when it is whole: every failure leaves
// the earlier file as it was, and no partial file anywhere.
TEST_F(HttpClientTest, DownloadEndsAtTheLengthOrTheClose) {
    std::string half(50000, 'h');
    struct Case {
        std::string reply;
        LNetOpResult result;
        std::string file;
    } cases[] = {
        // No length: everything up to the close is the file.
        {"HTTP/1.0 200 OK\r\n\r\n" + half, 0, half},
        {"HTTP/1.0 200 OK\r\nCONTENT-LENGTH: 4\r\n\r\nfour and more", 0, "four"},
        // The connection ends before the announced length.
        {"HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n" + half, 2, ""},
        // A chunked body would be saved with its framing.
        {"HTTP/1.0 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nfour\r\n0\r\n\r\n", 2, ""},
        {"HTTP/1.0 200 OK\r\nTransfer-Encoding: identity\r\n\r\nplain", 0, "plain"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply.substr(0, 60));
        auto peer = Recorder(c.reply);
        std::string path = root_.Path() + "/download.bin";
        for (bool existing : {false, true}) {
            std::filesystem::remove(path);
            if (existing) std::ofstream(path, std::ios::binary) << "the old file";
            LNetOpResult r;
            EXPECT_EQ(LHttpDownloadToFile(r, wait_, Url(peer->Port(), "/f").c_str(), LFromUtf8(path).c_str()), c.result);
            if (c.result == 0) {
                EXPECT_EQ(LTestReadFile(path), c.file);
            } else {
                EXPECT_EQ(std::filesystem::exists(path), existing);
                EXPECT_EQ(LTestReadFile(path), existing ? "the old file" : "");
            }
            EXPECT_FALSE(std::filesystem::exists(path + ".part"));
        }
    }
}

// A server that sends without end: a header line, header lines, or a
// trickle. The client fails (or ends) within its bounds instead of
// growing and waiting with it.
TEST_F(HttpClientTest, EndlessHeadsAreCutShort) {
    for (const char* mode : {"endless-line", "endless-headers"}) {
        SCOPED_TRACE(mode);
        int port = LTestFreePort();
        std::string out = root_.Path() + "/" + mode + ".out";
        LTestProcess peer(LTestRedirectedArgv({"/usr/bin/python3", PORLINEX_SOURCE_DIR "/net/http/tests/testdata/hostile_http.py",
                                               std::to_string(port), mode},
                                              "/dev/null", out));
        ASSERT_TRUE(LTestWaitFor(10000, [&] { return LTestReadFile(out).find("READY") != std::string::npos; }));
        std::string path = root_.Path() + "/endless.bin";
        std::ofstream(path, std::ios::binary) << "the old file";
        LNetOpResult r;
        EXPECT_EQ(LHttpDownloadToFile(r, wait_, Url(port, "/f").c_str(), LFromUtf8(path).c_str()), 2u);
        EXPECT_EQ(LTestReadFile(path), "the old file");
        int status = 0;
        LByteBuffer answer;
        EXPECT_EQ(LHttpPost(r, wait_, Url(port, "/p").c_str(), nullptr, "x", 1, status, answer), 2u);
        // What the server got out is bounded by the client's limits and the
        // sockets' buffers, not by the server's patience.
        ASSERT_TRUE(LTestWaitFor(10000, [&] {
            std::string o = LTestReadFile(out);
            return o.find("SENT") != o.rfind("SENT");
        }));
        std::string o = LTestReadFile(out);
        for (size_t at = o.find("SENT "); at != std::string::npos; at = o.find("SENT ", at + 1))
            EXPECT_LT(std::stoull(o.substr(at + 5)), uint64_t(16) << 20);
    }
    // A trickle of one byte every 200 ms holds a request no longer than its
    // time-out: what arrived is the answer.
    int port = LTestFreePort();
    std::string out = root_.Path() + "/drip.out";
    LTestProcess peer(LTestRedirectedArgv({"/usr/bin/python3", PORLINEX_SOURCE_DIR "/net/http/tests/testdata/hostile_http.py",
                                           std::to_string(port), "drip"},
                                          "/dev/null", out));
    ASSERT_TRUE(LTestWaitFor(10000, [&] { return LTestReadFile(out).find("READY") != std::string::npos; }));
    char buffer[4096];
    LNetOpResult r;
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(LHttpGetToBuffer(r, wait_, Url(port, "/").c_str(), buffer, sizeof buffer, 1500), 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(10));
    EXPECT_EQ(std::string(buffer).substr(0, 17), "HTTP/1.0 200 OK\r\n");
}

// A request to this machine never goes to the proxy, even when the direct
// connection fails: its query (a token) would reach the proxy in clear.
TEST_F(HttpClientTest, LoopbackTargetsNeverUseTheProxy) {
    auto proxy = Recorder("HTTP/1.0 200 Connection established\r\n\r\n");
    LTestScopedEnv noBypass("no_proxy", "");
    LTestScopedEnv http("http_proxy", "127.0.0.1:" + std::to_string(proxy->Port()));
    LTestScopedEnv https("https_proxy", "127.0.0.1:" + std::to_string(proxy->Port()));
    int dead = LTestFreePort();
    for (std::string host : {"127.0.0.1", "localhost", "127.1.2.3", "app.localhost"}) {
        SCOPED_TRACE(host);
        std::string target = host + ":" + std::to_string(dead) + "/start?token=secret";
        char buffer[256];
        LNetOpResult r;
        EXPECT_EQ(LHttpGetToBuffer(r, wait_, ("http://" + target).c_str(), buffer, sizeof buffer, 2000), 2u);
        EXPECT_EQ(LHttpsGetToBuffer(r, wait_, ("https://" + target).c_str(), buffer, sizeof buffer), 2u);
    }
    EXPECT_TRUE(proxy->Requests().empty());
    for (const char* host : {"127.0.0.1:80", "localhost", "LOCALHOST:1", "[::1]:8080", "127.255.0.1"})
        EXPECT_TRUE(LHttpIsLoopbackHost(host)) << host;
    for (const char* host : {"127.0.0.1.example.com", "128.0.0.1", "localhost.example", "10.0.0.1", "1270.0.0.1"})
        EXPECT_FALSE(LHttpIsLoopbackHost(host)) << host;
}

// python3 -m http.server serving a folder of the test.
class HttpServerTest : public HttpClientTest {
protected:
    void SetUp() override {
        site_ = root_.Path() + "/site";
        std::filesystem::create_directories(site_ + "/folder");
        content_.resize(100000);
        for (size_t i = 0; i < content_.size(); ++i) content_[i] = char('a' + i % 26);
        std::ofstream(site_ + "/data.txt", std::ios::binary) << content_;
        port_ = LTestFreePort();
        server_ = std::make_unique<LTestProcess>(LTestRedirectedArgv(
            {"/usr/bin/python3", "-m", "http.server", std::to_string(port_), "--bind", "127.0.0.1", "--directory", site_},
            "/dev/null", root_.Path() + "/http.log"));
        char buffer[64];
        LNetOpResult r;
        ASSERT_TRUE(LTestWaitFor(20000, [&] {
            return LHttpGetToBuffer(r, wait_, Url(port_, "/data.txt").c_str(), buffer, sizeof buffer, 1000) == 0 &&
                   buffer[0] != 0;
        }));
    }
    std::string site_, content_;
    int port_ = 0;
    std::unique_ptr<LTestProcess> server_;
};

TEST_F(HttpServerTest, DownloadToFile) {
    std::string path = root_.Path() + "/copy.txt";
    LNetOpResult r;
    EXPECT_EQ(LHttpDownloadToFile(r, wait_, Url(port_, "/data.txt").c_str(), LFromUtf8(path).c_str()), 0u);
    EXPECT_EQ(LTestReadFile(path), content_);
}

TEST_F(HttpServerTest, RedirectAndMissingFilesLeaveNoFile) {
    // http.server answers a folder without its slash with 301 and a Location.
    for (const char* what : {"/folder", "/missing.txt"}) {
        std::string path = root_.Path() + "/copy.txt";
        LNetOpResult r;
        EXPECT_EQ(LHttpDownloadToFile(r, wait_, Url(port_, what).c_str(), LFromUtf8(path).c_str()), 2u) << what;
        EXPECT_FALSE(std::filesystem::exists(path)) << what;
    }
}

// A CONNECT proxy in front of peers that cannot be reached directly: the
// client asks for a name that does not resolve, and the proxy tunnels to
// the real peer on this machine. (Loopback targets never go through a
// proxy: that has a test of its own.)
class HttpProxyTest : public HttpClientTest {
protected:
    std::unique_ptr<Peer> Proxy(int targetPort, bool refuse = false) {
        std::vector<std::string> args{"--mode", "proxy", "--target-port", std::to_string(targetPort)};
        if (refuse) args.push_back("--refuse");
        auto p = std::make_unique<Peer>(root_.Path() + "/proxy" + std::to_string(++peers_), args);
        EXPECT_TRUE(p->Ready());
        return p;
    }
};

TEST_F(HttpProxyTest, HttpsThroughTheTunnelChecksTheTargetName) {
    LTestCertificateAuthority ca(root_.Path());
    LTestScopedEnv trust("SSL_CERT_FILE", ca.CaPath());
    LTestTlsServer tls;
    LTestCertificateOptions named;
    named.dns_names = {"www.porlinex.invalid"};
    named.common_name = "www.porlinex.invalid";
    ASSERT_TRUE(tls.Start(ca.Issue("www", named), {"-www"}));
    auto proxy = Proxy(tls.Port());
    LTestScopedEnv noBypass("no_proxy", "");
    LTestScopedEnv https("https_proxy", "http://127.0.0.1:" + std::to_string(proxy->Port()));
    int dead = LTestFreePort();
    std::string target = "www.porlinex.invalid:" + std::to_string(dead);
    char buffer[4096];
    LNetOpResult r;
    EXPECT_EQ(LHttpsGetToBuffer(r, wait_, ("https://" + target + "/").c_str(), buffer, sizeof buffer), 0u);
    EXPECT_EQ(std::string(buffer).substr(0, 15), "HTTP/1.0 200 ok");
    ASSERT_EQ(proxy->Requests().size(), 1u);
    EXPECT_EQ(proxy->Requests()[0], "CONNECT " + target + " HTTP/1.0\r\n\r\n");

    // The tunnel does not change whose certificate is checked.
    LTestCertificateOptions other;
    other.dns_names = {"elsewhere.example"};
    other.ip_addresses = {};
    other.common_name = "elsewhere.example";
    LTestTlsServer wrong;
    ASSERT_TRUE(wrong.Start(ca.Issue("other", other), {"-www"}));
    auto proxy2 = Proxy(wrong.Port());
    LTestScopedEnv https2("https_proxy", "http://127.0.0.1:" + std::to_string(proxy2->Port()));
    EXPECT_EQ(LHttpsGetToBuffer(r, wait_, ("https://" + target + "/").c_str(), buffer, sizeof buffer), 2u);
    EXPECT_STREQ(buffer, "");
}

TEST_F(HttpProxyTest, PlainHttpTunnelAndRefusal) {
    auto peer = Recorder("HTTP/1.0 200 OK\r\n\r\nthrough");
    auto proxy = Proxy(peer->Port());
    LTestScopedEnv noBypass("no_proxy", "");
    LTestScopedEnv http("http_proxy", "127.0.0.1:" + std::to_string(proxy->Port()));
    std::string target = "www.porlinex.invalid:" + std::to_string(LTestFreePort());
    char buffer[256];
    LNetOpResult r;
    EXPECT_EQ(LHttpGetToBuffer(r, wait_, ("http://" + target + "/p").c_str(), buffer, sizeof buffer, 16024), 0u);
    EXPECT_STREQ(buffer, "HTTP/1.0 200 OK\r\n\r\nthrough");
    EXPECT_EQ(proxy->Requests(), std::vector<std::string>{"CONNECT " + target + " HTTP/1.0\r\n\r\n"});
    EXPECT_EQ(peer->Requests(), std::vector<std::string>{"GET /p HTTP/1.0\r\nHost: " + target + "\r\n\r\n"});

    // A host named in no_proxy is never sent through the proxy.
    {
        LTestScopedEnv bypass("no_proxy", "porlinex.invalid");
        EXPECT_EQ(LHttpGetToBuffer(r, wait_, ("http://" + target + "/p").c_str(), buffer, sizeof buffer, 16024), 2u);
        EXPECT_EQ(proxy->Requests().size(), 1u);
    }
    auto refusing = Proxy(peer->Port(), true);
    LTestScopedEnv http2("http_proxy", "127.0.0.1:" + std::to_string(refusing->Port()));
    EXPECT_EQ(LHttpGetToBuffer(r, wait_, ("http://" + target + "/p").c_str(), buffer, sizeof buffer, 16024), 2u);
    EXPECT_EQ(refusing->Requests().size(), 1u);
}

}  // namespace
