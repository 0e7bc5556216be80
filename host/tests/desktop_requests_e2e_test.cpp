// The service's requests to the desktop, end to end: the real service under
// a fresh root raises them through its routes, and this test process is the
// desktop, dispatching events as the main window does and replying through
// the real sender and socket. Every reply is seen on its way out.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/utf8.h"
#include "host/desktop_requests.h"
#include "host/engine_proxy.h"
#include "host/tests/mcp_service_session.h"
#include "mcp/clients/json_clients.h"
#include "tests/support/service_harness.h"
#include "tests/support/test_root.h"
#include "web/http/tests/http_harness.h"

namespace fs = std::filesystem;

namespace {

using json = nlohmann::json;

struct Reply {
    uint32_t id;
    bool ok;
    std::string message, detail;
};

std::mutex g_lock;
std::vector<Reply> g_replies;
LDesktopReplySend g_real_send = nullptr;

void RecordAndSend(uint32_t id, bool ok, const std::string& message, const std::string& detail) {
    {
        std::lock_guard<std::mutex> lock(g_lock);
        g_replies.push_back({id, ok, message, detail});
    }
    if (g_real_send) g_real_send(id, ok, message, detail);
}

bool WholeCharacters(const std::string& text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    for (size_t i = 0; i < text.size();) {
        uint32_t cp;
        i += LUtf8Decode(p + i, text.size() - i, &cp);
        if (cp == 0xFFFD) return false;
    }
    return true;
}

// The main window's dispatch: codes 1 to 8 go to the request handler, and
// what it does not answer is an ordinary event.
class Desktop : public LServiceEngineProxyOwner {
public:
    void OnServiceLogLine(const std::string&, const std::string&, int) override {}
    void OnServiceEvent(uint32_t code, const void*, uint32_t value) override {
        bool request = code >= 1 && code <= 8 && LDesktopRequestHandle(code, value);
        std::lock_guard<std::mutex> lock(g_lock);
        (request ? requests : events).push_back({code, value});
    }
    std::vector<std::pair<uint32_t, uint32_t>> requests, events;
};

class DesktopRequestsE2E : public ::testing::Test {
protected:
    void SetUp() override {
        {
            std::lock_guard<std::mutex> lock(g_lock);
            g_replies.clear();
        }
        g_real_send = LDesktopRequestSetReplySender(RecordAndSend);
        ASSERT_NE(g_real_send, nullptr);
        LStartMcpServiceSession(run);
        ASSERT_FALSE(HasFatalFailure());
        port = run.port;
        session = run.session;
        ASSERT_TRUE(proxy.Connect());
    }
    void TearDown() override { LDesktopRequestSetReplySender(g_real_send); }

    std::string Call(const std::string& path, const char* body) {
        std::vector<std::string> argv = {"curl", "-s", "--max-time", "90", "-H", "X-AJAX: 1",
                                         "-b", "porlinex_sess=" + session};
        if (body) argv.insert(argv.end(), {"-X", "POST", "--data-binary", body});
        argv.push_back("http://127.0.0.1:" + port + path);
        return LTestRunCaptured(argv, 100000).output;
    }

    std::vector<Reply> Replies() {
        std::lock_guard<std::mutex> lock(g_lock);
        return g_replies;
    }

    LTestRoot root;
    LMcpServiceSession run;
    std::string port, session;
    Desktop desktop;
    LServiceEngineProxy proxy{&desktop};
};

TEST_F(DesktopRequestsE2E, EachRaisedRequestGetsExactlyOneReplyWithItsId) {
    // The cloud folder is looked up in the desktop user's home.
    const std::string home = root.Path() + "/home";
    fs::create_directories(home + "/Dropbox");
    const char* old_home = getenv("HOME");
    std::string saved = old_home ? old_home : "";
    setenv("HOME", home.c_str(), 1);

    for (const char* route : {"/mcp/claude-install", "/mcp/antigravity-install", "/mcp/codex-install"})
        EXPECT_EQ(Call(route, "{}"), "{\"ok\":true}") << route;
    json status = json::parse(Call("/mcp/status", nullptr), nullptr, false);
    ASSERT_FALSE(status.is_discarded());
    EXPECT_EQ(status["claudeDesktopInstalled"], true);
    EXPECT_EQ(status["codexInstalled"], true);
    std::string backup = Call("/backupsettings", "{\"enabled\":1,\"folder\":\"\",\"zip_after_months\":0}");
    EXPECT_EQ(backup, "{\"errorcode\":200,\"errormsg\":\"OK\"}");
    if (old_home) setenv("HOME", saved.c_str(), 1);
    else unsetenv("HOME");

    std::vector<Reply> replies = Replies();
    std::map<uint32_t, uint32_t> code_of_id;
    {
        std::lock_guard<std::mutex> lock(g_lock);
        for (auto [code, id] : desktop.requests) code_of_id[id] = code;
        EXPECT_TRUE(desktop.events.empty());
    }
    std::map<uint32_t, int> replies_per_code;
    for (const Reply& r : replies) {
        ASSERT_TRUE(code_of_id.count(r.id)) << "a reply for an id never received: " << r.id;
        ++replies_per_code[code_of_id[r.id]];
        if (code_of_id[r.id] == 5) {
            EXPECT_TRUE(r.ok) << r.message;
            EXPECT_EQ(r.detail.rfind(home + "/Dropbox", 0), 0u) << r.detail;
        }
    }
    EXPECT_EQ(code_of_id.size(), replies.size()) << "one reply per request";
    for (uint32_t code : {1u, 2u, 3u, 4u, 5u, 7u, 8u}) EXPECT_EQ(replies_per_code[code], 1) << "code " << code;
}

// A status record longer than the reply's field is cut before a character
// that would not fit whole, never inside it; the service then holds a text
// that is valid UTF-8 (though no longer a whole record).
TEST_F(DesktopRequestsE2E, LongStatusIsCutOnACharacterBoundary) {
    const std::string real_root = root.Path();
    // The status names its file under the root; a long root (never opened,
    // only named) makes the record long. The socket is already open.
    std::string long_root = real_root + "/";
    const size_t start = std::string("{\"configPath\":\"").size() + long_root.size();
    if (start % 2 == 1) long_root += 'a';
    for (int i = 0; i < 5000; ++i) long_root += "\xC3\xA9";  // é: its second byte lands on the limit
    setenv("PORLINEX_ROOT", long_root.c_str(), 1);
    std::string full;
    LClaudeDesktopConfigStatusJson(full);
    json status = json::parse(Call("/mcp/status", nullptr), nullptr, false);
    setenv("PORLINEX_ROOT", real_root.c_str(), 1);

    ASSERT_GT(full.size(), 8191u);
    ASSERT_EQ(static_cast<unsigned char>(full[8191]) & 0xC0, 0x80);
    // The two JSON clients' records share their first 8190 bytes (the
    // root); the Codex file cannot be read at such a path and says "{}".
    int cut = 0;
    for (const Reply& r : Replies()) {
        EXPECT_LE(r.detail.size(), 8191u);
        EXPECT_TRUE(WholeCharacters(r.detail)) << r.detail.substr(r.detail.size() - 8);
        cut += r.detail == full.substr(0, 8190);
    }
    EXPECT_EQ(cut, 2);
    ASSERT_FALSE(status.is_discarded());
    EXPECT_EQ(status["claudeDesktopStatusUnknown"], true);
}

}  // namespace
