// Who may use the MCP endpoint: digests, loopback names, the decision table,
// the stdio token's upkeep (one token under concurrent first requests, fail
// closed when it cannot be stored), and the settings and status routes.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <sys/socket.h>
#include <unistd.h>

#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "foundation/database.h"
#include "foundation/utf8.h"
#include "mcp/mcp_auth.h"
#include "mcp/tests/mcp_harness.h"

namespace {

using json = nlohmann::json;

constexpr const char* kPing = "{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"ping\"}";
constexpr const char* kOk = "HTTP/1.1 200 OK";
constexpr const char* kRefused = "HTTP/1.1 401 Unauthorized";

std::string Digest(const std::u16string& text) {
    char16_t out[65];
    LMcpHashSecret(text.c_str(), text.size(), out);
    return LToUtf8(out);
}

TEST(McpAuthorization, DigestsAndNames) {
    EXPECT_EQ(Digest(u"abc"), "13e228567e8249fce53337f25d7970de3bd68ab2653424c7b8f9fd05e33caedf");
    EXPECT_EQ(Digest(u"K\u00e9\U0001F600"), "a4c8224fc99d10f423a3f777c1f79e12a565712d5b8de0f5cce60369dde784da");
    EXPECT_EQ(Digest(u""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_TRUE(LMcpSecretsEqual(u"abc", u"abc"));
    EXPECT_FALSE(LMcpSecretsEqual(u"abc", u"abC"));
    EXPECT_FALSE(LMcpSecretsEqual(u"abc", u"abcd"));
    EXPECT_FALSE(LMcpSecretsEqual(u"", u"a"));

    struct {
        const char16_t* host;
        bool loopback;
    } hosts[] = {
        {u"localhost", true},          {u"LOCALHOST:98", true},     {u"127.0.0.1:1098", true}, {u"[::1]", true},
        {u"[::1]:80", true},           {u"localhost.evil.example", false}, {u"127.0.0.10", false},
        {u"localhost:", false},        {u"localhost:98@evil.example", false}, {u"evil.example", false},
        {u"", false},                  {u"127.0.0.1:123456", false},
    };
    for (const auto& h : hosts) EXPECT_EQ(LMcpIsLoopbackHost(h.host), h.loopback) << LToUtf8(h.host);
}

// The local test and the DNS-rebinding refusal, through curl.
TEST(McpAuthorization, HostOriginAndPeerDecideFirst) {
    LTestMcpServer mcp;
    mcp.PostWithToken(kPing);
    std::string bearer = "Authorization: Bearer " + mcp.Token();
    std::string port = std::to_string(mcp.web.port);
    struct {
        std::vector<std::string> headers;
        const char* status;
    } cases[] = {
        {{bearer}, kOk},
        {{bearer, "Host: LOCALHOST:" + port}, kOk},
        {{bearer, "Origin: http://localhost:" + port}, kOk},
        {{bearer, "Origin: http://[::1]:" + port}, kOk},
        {{bearer, "Host: evil.example:" + port}, kRefused},
        {{bearer, "Host: evil.example", "Origin: http://evil.example"}, kRefused},
        {{bearer, "Origin: http://evil.example"}, kRefused},
        {{bearer, "Origin: null"}, kRefused},
        {{bearer, "Origin: http://localhost.evil.example"}, kRefused},
        {{bearer, "Host: 127.0.0.10:" + port}, kRefused},
    };
    auto run = [&](const std::vector<std::string>& headers) {
        std::vector<std::string> args;
        for (const std::string& h : headers) args.insert(args.end(), {"-H", h});
        return mcp.Post(kPing, args).status;
    };
    for (const auto& c : cases) EXPECT_EQ(run(c.headers), c.status) << c.headers.back();

    // Without the local test, a foreign Origin is still refused.
    mcp.SetSetting("LocalOnly", "0");
    EXPECT_EQ(run({bearer, "Host: evil.example"}), kOk);
    EXPECT_EQ(run({bearer, "Origin: http://evil.example"}), kRefused);
    mcp.SetSetting("LocalOnly", nullptr);

    std::string outside = LTestOwnNonLoopbackAddress();
    ASSERT_FALSE(outside.empty()) << "the machine has no address outside 127.0.0.0/8";
    LTestCurlResult far = LTestRunCaptured({"curl", "-s", "-i", "--max-time", "15", "-H", bearer, "--data-binary",
                                            kPing, "http://" + outside + ":" + port + "/mcp"});
    EXPECT_EQ(LTestSplitReply(far).status, kRefused);
}

// Any local page can send requests to loopback by the hundred; refused ones
// must not lock the endpoint for the user's own clients.
TEST(McpAuthorization, ForeignOriginFloodDoesNotLockLoopbackOut) {
    LTestMcpServer mcp;
    mcp.PostWithToken(kPing);
    std::string request = "POST /mcp HTTP/1.1\r\nHost: 127.0.0.1\r\nOrigin: http://evil.example\r\n"
                          "Content-Type: application/json\r\nContent-Length: " +
                          std::to_string(std::strlen(kPing)) + "\r\nConnection: close\r\n\r\n" + kPing;
    for (int i = 0; i < 200; ++i) {
        std::string a = mcp.web.Raw(request, 10000, mcp.web.source.c_str());
        ASSERT_EQ(a.substr(0, a.find("\r\n")), kRefused) << "request " << i;
    }
    auto started = std::chrono::steady_clock::now();
    LTestMcpReply r = mcp.Post(kPing, {"--max-time", "5", "-H", "Authorization: Bearer " + mcp.Token()});
    EXPECT_EQ(r.status, kOk) << r.body;
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
}

// Another process writing must neither slow a request down nor make it look
// like a credentials problem.
TEST(McpAuthorization, AnotherWriterNeitherDelaysNorRefuses) {
    LTestMcpServer mcp;
    mcp.PostWithToken(kPing);
    std::string bearer = "Authorization: Bearer " + mcp.Token();
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open((mcp.DataFolder() + "/main.db").c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE;", nullptr, nullptr, nullptr), SQLITE_OK);
    auto started = std::chrono::steady_clock::now();
    LTestMcpReply r = mcp.Post(kPing, {"-H", bearer});
    EXPECT_EQ(r.status, kOk);
    EXPECT_EQ(r.body, "{\"jsonrpc\":\"2.0\",\"id\":1,\"result\":{}}");
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
    sqlite3_exec(other, "ROLLBACK;", nullptr, nullptr, nullptr);

    // A digest to repair while the other writer holds on past the busy
    // time-out (cut short here): busy, which the endpoint answers with an
    // error the client can retry on, not with a 401.
    mcp.SetSetting("StdioAuthorizationHash", nullptr);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE;", nullptr, nullptr, nullptr), SQLITE_OK);
    {
        LAppDatabaseAccount db(false);
        sqlite3_busy_timeout(db.handle, 200);
        EXPECT_EQ(LMcpKeepStdioToken(db), LMcpTokenBusy);
    }
    sqlite3_exec(other, "ROLLBACK;", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(mcp.Post(kPing, {"-H", bearer}).status, kOk);
    EXPECT_EQ(mcp.Setting("StdioAuthorizationHash"), Digest(LFromUtf8(mcp.Token()).c_str()));
}

TEST(McpAuthorization, TokensAndBearerKeys) {
    LTestMcpServer mcp;
    mcp.PostWithToken(kPing);
    std::string token = mcp.Token();
    ASSERT_EQ(token.size(), 64u);
    for (char c : token) ASSERT_TRUE(c >= 'a' && c <= 'z');
    EXPECT_EQ(mcp.Setting("StdioAuthorizationHash"), Digest(LFromUtf8(token).c_str()));
    std::string upper = token;
    for (char& c : upper) c = static_cast<char>(c - 32);
    auto with = [&](const std::string& header) { return mcp.Post(kPing, {"-H", header}).status; };
    EXPECT_EQ(with("Authorization: bearer " + token), kOk);
    EXPECT_EQ(with("Authorization: Bearer " + upper), kOk);
    EXPECT_EQ(with("Authorization: Bearer "), kRefused);
    EXPECT_EQ(with("Authorization: Bearer " + token + "x"), kRefused);
    EXPECT_EQ(with("Authorization: Basic " + token), kRefused);

    // A bearer key set through the settings route: accepted once required,
    // in its own letter case only; without the requirement only the token.
    std::string session = mcp.web.MakeSession();
    auto save = [&](const std::string& body) {
        return mcp.Post(body, {"-H", "X-AJAX: 1", "-b", "porlinex_sess=" + session}, "/mcp/settings-save").body;
    };
    EXPECT_EQ(save("{\"requireBearerAuth\":false,\"bearerKey\":\"Key-One\"}"), "{\"ok\":true}");
    EXPECT_EQ(mcp.Setting("BearerAuthKeyHash"), Digest(u"Key-One"));
    EXPECT_EQ(with("Authorization: Bearer Key-One"), kRefused);
    EXPECT_EQ(save("{\"requireBearerAuth\":true}"), "{\"ok\":true}");
    EXPECT_EQ(with("Authorization: Bearer Key-One"), kOk);
    EXPECT_EQ(with("Authorization: Bearer key-one"), kRefused);
    EXPECT_EQ(with("Authorization: Bearer " + token), kOk);
}

// Two first requests at once must not leave a token whose digest was made
// from the other one.
TEST(McpAuthorization, FiftyConcurrentFirstRequestsLeaveOneMatchingToken) {
    LTestMcpServer mcp;
    std::string request = "POST /mcp HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\nContent-Length: " +
                          std::to_string(std::strlen(kPing)) + "\r\nConnection: close\r\n\r\n" + kPing;
    std::vector<std::thread> threads;
    std::vector<std::string> answers(50);
    for (int i = 0; i < 50; ++i)
        threads.emplace_back([&, i] { answers[i] = mcp.web.Raw(request, 20000, mcp.web.source.c_str()); });
    for (auto& t : threads) t.join();
    for (const std::string& a : answers) EXPECT_EQ(a.substr(0, a.find("\r\n")), kRefused);
    std::string token = mcp.Token();
    ASSERT_EQ(token.size(), 64u);
    EXPECT_EQ(mcp.Setting("StdioAuthorizationHash"), Digest(LFromUtf8(token).c_str()));
    EXPECT_EQ(mcp.Post(kPing, {"-H", "Authorization: Bearer " + token}).status, kOk);

    // The upkeep itself from 50 threads released at once, each on its own
    // connection as the web server's threads are: every one must see the
    // same token, and the digest must be that token's.
    for (int round = 0; round < 5; ++round) {
        mcp.SetSetting("StdioAuthorization", nullptr);
        mcp.SetSetting("StdioAuthorizationHash", nullptr);
        std::atomic<int> ready{0};
        std::vector<std::string> seen(50);
        std::vector<std::thread> upkeep;
        for (int i = 0; i < 50; ++i)
            upkeep.emplace_back([&, i] {
                LAppDatabaseAccount db(false);
                ++ready;
                while (ready < 50) std::this_thread::yield();
                EXPECT_TRUE(LMcpEnsureStdioToken(db));
                LAppDatabaseCursor c;
                c.Query(db, u"SELECT VALUE FROM main.APPSETTINGS WHERE SECTION='MCP' AND ITEM='StdioAuthorization';");
                LStringA v;
                c.GetColumnTextA(0, v);
                seen[i] = v.Str();
            });
        for (auto& t : upkeep) t.join();
        token = mcp.Token();
        for (const std::string& s : seen) EXPECT_EQ(s, token) << "round " << round;
        EXPECT_EQ(mcp.Setting("StdioAuthorizationHash"), Digest(LFromUtf8(token).c_str())) << "round " << round;
    }
}

TEST(McpAuthorization, TokenUpkeepFailsClosedAndRepairs) {
    LTestMcpServer mcp;
    {
        LAppDatabaseAccount db(false);
        ASSERT_TRUE(db.Exec(u"CREATE TRIGGER main.NO_DIGEST BEFORE INSERT ON APPSETTINGS WHEN "
                            u"new.ITEM='StdioAuthorizationHash' BEGIN SELECT RAISE(ABORT, 'refused'); END;"));
    }
    // No digest could be stored: the "none stored, all accepted" row of the
    // decision table must not be reached.
    EXPECT_EQ(mcp.Post(kPing).status, kRefused);
    EXPECT_EQ(mcp.Token(), "");  // the token went with the transaction
    {
        LAppDatabaseAccount db(false);
        ASSERT_TRUE(db.Exec(u"DROP TRIGGER main.NO_DIGEST;"));
    }
    mcp.PostWithToken(kPing);
    std::string token = mcp.Token();
    ASSERT_FALSE(token.empty());
    mcp.SetSetting("StdioAuthorizationHash", "0000000000000000000000000000000000000000000000000000000000000000");
    EXPECT_EQ(mcp.Post(kPing, {"-H", "Authorization: Bearer " + token}).status, kOk);
    EXPECT_EQ(mcp.Setting("StdioAuthorizationHash"), Digest(LFromUtf8(token).c_str()));
}

TEST(McpAuthorization, SettingsSaveNeedsTheSignedInBrowser) {
    LTestMcpServer mcp;
    std::string port = std::to_string(mcp.web.port);
    const std::string open_up = "{\"localOnly\":false,\"requireBearerAuth\":true,\"bearerKey\":\"attacker\"}";
    // A page of another site reaching this port under its own name: its
    // Origin equals its Host, but that Host does not name this machine.
    LTestMcpReply rebinding = mcp.Post(
        open_up, {"-H", "Host: evil.example:" + port, "-H", "Origin: http://evil.example:" + port}, "/mcp/settings-save");
    EXPECT_EQ(rebinding.body, "{\"errorcode\":403,\"errormsg\":\"CSRF validation failed\"}");
    // A local request that passes the CSRF test still needs a session.
    LTestMcpReply no_session = mcp.Post(open_up, {"-H", "X-AJAX: 1"}, "/mcp/settings-save");
    EXPECT_EQ(no_session.body, "{\"errorcode\":401,\"errormsg\":\"Not logged in.\"}");
    EXPECT_EQ(mcp.Setting("LocalOnly"), "<none>");
    EXPECT_EQ(mcp.Setting("BearerAuthKeyHash"), "<none>");

    std::string session = mcp.web.MakeSession();
    std::vector<std::string> signed_in = {"-H", "X-AJAX: 1", "-b", "porlinex_sess=" + session};
    auto save = [&](const std::string& body) { return mcp.Post(body, signed_in, "/mcp/settings-save").body; };
    EXPECT_EQ(save("{\"requireBearerAuth\":true}"),
              "{\"ok\":false,\"error\":\"Enter a Bearer Authentication Key before enabling authentication.\"}");
    EXPECT_EQ(save("{\"bearerKey\":\"" + std::string(260, 'k') + "\"}"),
              "{\"ok\":false,\"error\":\"The Bearer Authentication Key must be 259 characters or fewer.\"}");
    EXPECT_EQ(save("{\"localOnly\":false"), "{\"ok\":false,\"error\":\"The MCP settings could not be read from the request.\"}");
    EXPECT_EQ(mcp.Setting("LocalOnly"), "<none>");
    EXPECT_EQ(save("{\"localOnly\":false,\"bearerKey\":\"" + std::string(259, 'k') + "\"}"), "{\"ok\":true}");
    EXPECT_EQ(mcp.Setting("LocalOnly"), "0");
    EXPECT_EQ(mcp.Setting("BearerAuthKeyHash"), Digest(std::u16string(259, u'k')));
    EXPECT_EQ(save("{}"), "{\"ok\":true}");
    EXPECT_EQ(mcp.Setting("LocalOnly"), "<null>");
    EXPECT_EQ(mcp.Setting("RequireBearerAuth"), "<null>");
}

TEST(McpAuthorization, StatusRoute) {
    LTestMcpServer mcp;
    LTestMcpReply stream = mcp.Curl({"-H", "Accept: application/json, text/event-stream"}, "/mcp/status");
    EXPECT_EQ(stream.status, "HTTP/1.1 405 Method Not Allowed");
    EXPECT_NE(stream.headers.find("Allow: POST\r\n"), std::string::npos);
    EXPECT_EQ(mcp.Curl({}, "/mcp/status").status, kRefused);
    mcp.SetSetting("SendDailyLimit", "-5");
    LTestMcpReply r = mcp.Curl({"-H", "Authorization: Bearer " + mcp.Token()}, "/mcp/status");
    ASSERT_EQ(r.status, kOk);
    json status = json::parse(r.body);
    std::vector<std::string> names;
    for (auto it = status.begin(); it != status.end(); ++it) names.push_back(it.key());
    // nlohmann orders keys; the order on the wire is checked on the text.
    EXPECT_EQ(r.body.find("{\"name\":\"Porlinex Local MCP\",\"version\":\"2026-09-20.3\",\"protocolVersion\":\"2025-06-18\","
                          "\"localHTTPPort\":"),
              0u);
    EXPECT_EQ(status["enabled"], true);
    EXPECT_EQ(status["localOnly"], true);
    EXPECT_EQ(status["sendDailyLimit"], 10);
    EXPECT_EQ(status["sendDailyCount"], 0);
    EXPECT_EQ(status["sendDailyDateUTC"].get<std::string>().size(), 10u);
    // A signed-in browser needs no token.
    std::string session = mcp.web.MakeSession();
    EXPECT_EQ(mcp.Curl({"-b", "porlinex_sess=" + session}, "/mcp/status").status, kOk);
}

}  // namespace
