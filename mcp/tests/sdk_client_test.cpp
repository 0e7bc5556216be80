// The real service against the official MCP client (TypeScript SDK over
// Streamable HTTP, and over the stdio relay for a long wait) and the MCP
// conformance suite, on a store filled from the shared benchmark corpus.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "foundation/database.h"
#include "foundation/reg_settings.h"
#include "foundation/sha256.h"
#include "foundation/utf8.h"
#include "mcp/mcp_auth.h"
#include "mcp/tests/mcp_client_support.h"
#include "mcp/tests/mcp_harness.h"
#include "mcp/tools/tool_framework.h"
#include "tests/support/dovecot_server.h"
#include "tests/support/service_harness.h"
#include "tests/support/test_root.h"
#include "tests/support/throttle_relay.h"

namespace fs = std::filesystem;

namespace {

using json = nlohmann::json;

// The service with MCP enabled and its stdio token made.
class McpService : public ::testing::Test {
protected:
    void SetUp() override {
        client = LTestMcpClientFolder();
        ASSERT_FALSE(client.empty()) << "npm ci of tests/mcp-client failed";
        service = std::make_unique<LTestService>();
        ASSERT_TRUE(service->WaitRunning());
        char16_t port[260];
        LRegSettingsGet(u"WebServer", u"Port", u"", port);
        url = "http://127.0.0.1:" + LToUtf8(port) + "/mcp";
        web_port = LToUtf8(port);
        LAppDatabaseAccount db(false);
        db.Exec(u"INSERT OR REPLACE INTO main.APPSETTINGS VALUES ('MCP', 'Enabled', '1', '');");
        ASSERT_TRUE(LMcpEnsureStdioToken(db));
        char16_t t[260];
        ASSERT_TRUE(LMcpGetStdioToken(t));
        token = LToUtf8(t);
    }

    json RunClient(const json& calls) {
        std::string calls_file = root.Path() + "/calls.json", out_file = root.Path() + "/client.json";
        std::ofstream(calls_file) << calls.dump();
        LTestCurlResult r = LTestRunCaptured({"node", client + "/client_check.mjs", url, token, calls_file, out_file}, 120000);
        EXPECT_EQ(r.exit_code, 0) << r.output;
        return json::parse(LTestReadFile(out_file), nullptr, false);
    }

    LTestRoot root;
    std::string client, url, web_port, token;
    std::unique_ptr<LTestService> service;
};

std::string Sha256(const std::string& bytes) {
    LSha256 ctx;
    LSha256Init(ctx);
    ctx.Update(bytes.data(), static_cast<uint32_t>(bytes.size()));
    uint32_t w[8];
    ctx.Final(w, sizeof w);
    char hex[65];
    for (int i = 0; i < 8; ++i) std::snprintf(hex + i * 8, 9, "%08x", w[i]);
    return hex;
}

// One text column of the store.
std::string Query(const char16_t* sql) {
    LAppDatabaseAccount db(false);
    LAppDatabaseCursor c;
    c.Query(db, sql);
    LStringA v;
    c.GetColumnTextA(0, v);
    return v.Str();
}

TEST_F(McpService, OfficialClientCallsEveryToolOnAMirroredCorpus) {
    // The corpus in a real Dovecot, mirrored by the service's own sync.
    LTestDovecot dovecot;
    std::string error;
    service->Stop();
    std::string stats_text = LTestCorpusInDovecot(dovecot, 200, 7, error);
    ASSERT_FALSE(stats_text.empty()) << error;
    json stats = json::parse(stats_text);
    service = std::make_unique<LTestService>();
    ASSERT_TRUE(service->WaitRunning());
    ASSERT_TRUE(LTestWaitForMirror(200)) << Query(u"SELECT COUNT(*) FROM main.EMAIL_MESSAGES;");

    std::string word = stats["queries"]["common word"];
    std::string with_file = Query(u"SELECT MESSAGE_ID FROM main.EMAIL_MESSAGE_ATTACHMENTS ORDER BY ID LIMIT 1;");
    std::string attachment = Query(u"SELECT ID FROM main.EMAIL_MESSAGE_ATTACHMENTS ORDER BY ID LIMIT 1;");
    std::string cached = Query(u"SELECT STORAGE_PATH FROM main.EMAIL_MESSAGE_ATTACHMENTS ORDER BY ID LIMIT 1;");
    std::string other = Query(u"SELECT ID FROM main.EMAIL_MESSAGES ORDER BY ID DESC LIMIT 1;");
    ASSERT_FALSE(with_file.empty());
    std::string saved = root.Path() + "/saved/" + attachment + ".bin";
    std::string address = Query(u"SELECT FROM_TEXT FROM main.EMAIL_MESSAGES ORDER BY ID LIMIT 1;");
    if (address.find('<') != std::string::npos) address = address.substr(address.find('<') + 1);
    address = address.substr(0, address.find('>'));
    std::string sender_part = address.substr(0, address.find('@'));
    json calls = json::array({
        {{"name", "list_accounts"}},
        {{"name", "list_mailboxes"}, {"arguments", {{"account_email", "ALICE@example.org"}}}},
        {{"name", "downloadmessages_wait"}, {"arguments", {{"timeout_ms", 1000}}}},
        {{"name", "search_mail"}, {"arguments", {{"query", word}, {"limit", 50}}}},
        {{"name", "explain_search_schema"}},
        {{"name", "check_search_index"}, {"arguments", {{"deep", true}}}},
        {{"name", "get_mail"}, {"arguments", {{"email_id", with_file}, {"max_body_chars", 100}}}},
        {{"name", "get_mail_batch"}, {"arguments", {{"email_ids", {with_file, other, "missing"}}}}},
        {{"name", "get_mail_headers"}, {"arguments", {{"email_id", other}}}},
        {{"name", "get_mail_attachments"}, {"arguments", {{"email_id", with_file}}}},
        {{"name", "save_attachment"}, {"arguments", {{"attachment_id", attachment}, {"destination_path", saved}}}},
        {{"name", "add_rule"}, {"arguments", {{"action", "TRASH"}}}},
        {{"name", "advanced_search_mail"}, {"arguments", {{"from", sender_part}, {"after_utc", 0}}}},
        {{"name", "search_mail_address"}, {"arguments", {{"address", address}, {"after_utc", 0}, {"limit", 50}}}},
        {{"name", "list_recent_mail"}, {"arguments", {{"limit", 7}, {"body_format", "text"}}}},
        {{"name", "list_recent_threads"}, {"arguments", {{"limit", 5}}}},
        {{"name", "mail_stats"}, {"arguments", {{"account_email", "alice@example.org"}}}},
        {{"name", "get_thread"}, {"arguments", {{"email_id", other}, {"after_utc", 0}}}},
        {{"name", "get_thread_compact"}, {"arguments", {{"email_id", other}}}},
        {{"name", "list_mailbox_mail"}, {"arguments", {{"mailbox_name", "INBOX"}, {"before_utc", 4102444800}}}},
        {{"name", "list_rules"}},
        {{"name", "delete_rule"}, {"arguments", {{"rule_id", "norule0000"}}}},
        {{"name", "draft_mail"}, {"arguments", {{"account_email", "alice@example.org"}, {"to", "x@example.net"}}}},
        {{"name", "send_mail"}, {"arguments", {{"account_email", "alice@example.org"}, {"to", "x@example.net"}}}},
        {{"name", "move_mail_trash"}, {"arguments", {{"email_id", other}}}},
        {{"name", "move_mail_mailbox"}, {"arguments", {{"email_id", other}, {"mailbox_name", "Archive"}}}},
        {{"name", "forward_mail"}, {"arguments", {{"email_id", other}, {"to", "not-an-address"}}}},
        {{"name", "redirect_mail"}, {"arguments", {{"email_id", other}}}},
        {{"name", "reply_mail"}, {"arguments", {{"email_id", other}}}},
    });
    json seen = RunClient(calls);
    ASSERT_FALSE(seen.is_discarded());
    EXPECT_EQ(seen["errors"], json::array());
    // initialize, then 202 for notifications/initialized, 405 for the GET
    // of the optional event stream.
    ASSERT_GE(seen["exchanges"].size(), 3u);
    EXPECT_EQ(seen["exchanges"][0].dump(), "{\"method\":\"POST\",\"status\":200}");
    EXPECT_EQ(seen["exchanges"][1].dump(), "{\"method\":\"POST\",\"status\":202}");
    EXPECT_EQ(seen["exchanges"][2].dump(), "{\"method\":\"GET\",\"status\":405}");
    EXPECT_EQ(seen["server"]["name"], "Porlinex");
    EXPECT_EQ(seen["tools"].size(), 29u);
    EXPECT_EQ(seen["ping"], json::object());
    ASSERT_EQ(seen["calls"].size(), calls.size());

    std::map<std::string, json> results;
    std::map<std::string, json> data;
    for (const json& c : seen["calls"]) {
        results[c["name"]] = c["result"];
        std::string text = c["result"]["content"][0]["text"];
        size_t lf = text.find('\n');
        if (lf != std::string::npos) data[c["name"]] = json::parse(text.substr(lf + 1), nullptr, false);
    }
    for (const char* tool : {"list_accounts", "list_mailboxes", "search_mail", "explain_search_schema",
                             "check_search_index", "get_mail", "get_mail_batch", "get_mail_headers",
                             "get_mail_attachments", "save_attachment"})
        EXPECT_FALSE(results[tool].value("isError", false)) << tool << ": " << results[tool].dump();
    EXPECT_EQ(data["list_accounts"]["accounts"][0]["email"], "alice@example.org");
    EXPECT_EQ(data["list_mailboxes"]["mailboxes"][0]["mailbox_name"], "INBOX");
    // Until the sync engine runs, the wait reports it with its counts.
    EXPECT_TRUE(data["downloadmessages_wait"].contains("account_count"));
    EXPECT_EQ(data["search_mail"]["search_mode"], "fts");
    EXPECT_EQ(data["search_mail"]["emails"].size(),
              std::min<size_t>(50, static_cast<size_t>(stats["expected_hits"]["common word"].get<int>())));
    EXPECT_EQ(data["check_search_index"]["verified"], true);
    EXPECT_EQ(data["check_search_index"]["coverage"]["messages_total"], 200);
    EXPECT_EQ(data["get_mail_batch"]["found_count"], 2);
    EXPECT_GE(data["get_mail_attachments"]["attachments"]["attachment_count"], 1);
    EXPECT_EQ(data["get_mail_attachments"]["attachments"]["items"][0]["stored_content_available"], true);
    EXPECT_EQ(Sha256(LTestReadFile(saved)), Sha256(LTestReadFile(cached)));
    EXPECT_TRUE(results["add_rule"]["isError"]);
    for (const char* tool : {"advanced_search_mail", "search_mail_address", "list_recent_mail", "list_recent_threads",
                             "mail_stats", "get_thread", "get_thread_compact", "list_mailbox_mail", "list_rules"})
        EXPECT_FALSE(results[tool].value("isError", false)) << tool << ": " << results[tool].dump();
    EXPECT_FALSE(data["advanced_search_mail"]["emails"].empty());
    EXPECT_FALSE(data["search_mail_address"]["emails"].empty());
    EXPECT_EQ(data["list_recent_mail"]["emails"].size(), 7u);
    EXPECT_EQ(data["list_recent_mail"]["has_more"], true);
    EXPECT_EQ(data["list_recent_threads"]["threads"].size(), 5u);
    EXPECT_EQ(data["mail_stats"]["summary"]["total_messages"], 200);
    EXPECT_EQ(data["get_thread"]["emails"][0]["id"].is_string(), true);
    EXPECT_EQ(data["list_mailbox_mail"]["mailbox_name"], "INBOX");
    // The writing tools answer with their refusals: nothing is enabled.
    auto text = [&](const char* tool) { return results[tool]["content"][0]["text"].get<std::string>(); };
    EXPECT_EQ(text("delete_rule"), "delete_rule rule_id was not found.");
    EXPECT_EQ(text("draft_mail"), "draft_mail is disabled. Enable MCP draft actions on the MCP page first.");
    EXPECT_EQ(text("send_mail"), "send_mail is disabled. Enable MCP send actions on the MCP page first.");
    EXPECT_EQ(text("move_mail_trash"), "move_mail_trash is disabled. Enable MCP move actions on the MCP page first.");
    EXPECT_EQ(text("move_mail_mailbox"), "move_mail_mailbox is disabled. Enable MCP move actions on the MCP page first.");
    EXPECT_EQ(text("forward_mail"), "forward_mail to must be a valid email address.");
    EXPECT_EQ(text("redirect_mail"), "redirect_mail arguments were invalid.");
    EXPECT_EQ(text("reply_mail"), "reply_mail arguments were invalid.");
}

// A wait longer than the client library's default request time-out (60 s)
// on a sync pass that lasts longer still, because the server's answers
// reach the service at a few hundred bytes a second. The stdio relay holds
// the request for the whole wait and passes the tool's answer on.
TEST_F(McpService, StdioRelayAnswersAWaitLongerThanTheClientDefault) {
    LTestDovecot dovecot;
    std::string error;
    service->Stop();
    ASSERT_FALSE(LTestCorpusInDovecot(dovecot, 20, 11, error).empty()) << error;
    LTestThrottleOptions throttle;
    throttle.targetPort = dovecot.ImapsPort();
    LTestThrottleRelay slow(root.Path() + "/slow", throttle);
    ASSERT_TRUE(slow.Ready());
    {
        LAppDatabaseAccount db(false);
        ASSERT_TRUE(db.ExecF(u"UPDATE main.EMAILACCOUNTS SET INCOMINGSERVER='127.0.0.1:%d';", slow.Port()));
    }
    service = std::make_unique<LTestService>();
    ASSERT_TRUE(service->WaitRunning());
    // The pass is past the log-in and receiving more than the link lets
    // through.
    ASSERT_TRUE(LTestWaitFor(60000, [&] { return slow.Held() > 0; }));

    // The call's own time-out is raised above the wait, as a client must.
    json calls = json::array(
        {{{"name", "downloadmessages_wait"}, {"arguments", {{"timeout_ms", 100000}}}, {"timeout_ms", 150000}}});
    int64_t delivered_before = slow.Delivered();
    LTestCurlResult run;
    json seen = json::parse(LTestRunStdioClient(root.Path(), calls.dump(), run), nullptr, false);
    ASSERT_FALSE(seen.is_discarded()) << run.output;
    EXPECT_EQ(run.exit_code, 0) << run.output;
    EXPECT_EQ(seen["errors"], json::array()) << run.output;
    ASSERT_EQ(seen["calls"].size(), 1u) << seen.dump();
    const json& result = seen["calls"][0]["result"];
    EXPECT_EQ(result.value("isError", false), true) << result.dump();
    std::string text = result["content"][0]["text"];
    size_t lf = text.find('\n');
    EXPECT_EQ(text.substr(0, lf), "Porlinex mail sync did not settle before the timeout.");
    json data = json::parse(lf == std::string::npos ? "" : text.substr(lf + 1), nullptr, false);
    EXPECT_EQ(data["timeout_ms"], 100000) << text;
    EXPECT_EQ(data["account_count"], 1) << text;
    // The answer is the end of the whole wait, not an early give-up.
    ASSERT_EQ(seen["timings_ms"].size(), 1u);
    EXPECT_GE(seen["timings_ms"][0].get<double>(), 100000.0);
    // The pass went on receiving all along and is not done yet.
    EXPECT_GT(slow.Delivered(), delivered_before);
    EXPECT_NE(Query(u"SELECT COUNT(*) FROM main.EMAIL_MESSAGES;"), "20");
    // A stop in the middle of a slow message ends the service in time.
    EXPECT_EQ(service->Stop(), 0);
}

// The conformance suite sends no credentials: a loopback proxy adds the
// token and passes Host and Origin exactly as the suite wrote them.
TEST_F(McpService, ConformanceSuite) {
    int proxy_port = LTestFreePort();
    LTestProcess proxy({"node", client + "/token_proxy.mjs", std::to_string(proxy_port), web_port, token});
    ASSERT_TRUE(LTestWaitFor(10000, [&] {
        return LTestRunCaptured({"curl", "-s", "-o", "/dev/null", "http://127.0.0.1:" + std::to_string(proxy_port) + "/"})
                   .exit_code == 0;
    }));
    std::vector<std::string> expected_failures = {
        "resources-list", "resources-read-text", "resources-read-binary", "resources-templates-read",
        "resources-subscribe", "resources-unsubscribe", "prompts-list", "prompts-get-simple", "prompts-get-with-args",
        "prompts-get-embedded-resource", "prompts-get-with-image", "logging-set-level", "completion-complete"};
    std::string baseline = root.Path() + "/expected-failures.yml";
    {
        std::ofstream out(baseline);
        out << "server:\n";
        for (const std::string& s : expected_failures) out << "  - " << s << "\n";
    }
    std::vector<std::string> scenarios = {"server-initialize", "ping", "tools-list", "dns-rebinding-protection"};
    scenarios.insert(scenarios.end(), expected_failures.begin(), expected_failures.end());
    std::string suite = client + "/node_modules/@modelcontextprotocol/conformance/dist/index.js";
    std::string proxied = "http://localhost:" + std::to_string(proxy_port) + "/mcp";
    std::vector<LTestCurlResult> results(scenarios.size());
    std::vector<std::thread> runs;
    for (size_t i = 0; i < scenarios.size(); ++i)
        runs.emplace_back([&, i] {
            results[i] = LTestRunCaptured({"node", suite, "server", "--url", proxied, "--scenario", scenarios[i],
                                           "--expected-failures", baseline},
                                          120000);
        });
    for (auto& t : runs) t.join();
    for (size_t i = 0; i < scenarios.size(); ++i) EXPECT_EQ(results[i].exit_code, 0) << scenarios[i] << "\n" << results[i].output;
    for (size_t i = 0; i < 4; ++i) EXPECT_NE(results[i].output.find("0 failed"), std::string::npos) << results[i].output;
}

// The day's send count lives in the database: the service started after
// slots were taken, and started again, reports them.
TEST_F(McpService, SendCountSurvivesARestart) {
    {
        LAppDatabaseAccount db(false);
        db.Exec(u"INSERT OR REPLACE INTO main.APPSETTINGS VALUES ('MCP', 'SendEnabled', '1', '');");
        LStringA out;
        LJsonWriter w(out);
        int32_t limit = 0, used = 0;
        LMcpSendSlot slot;
        ASSERT_TRUE(LMcpTakeSendQuota(w, db, u"send_mail", &limit, &used, &slot));
        ASSERT_TRUE(LMcpTakeSendQuota(w, db, u"send_mail", &limit, &used, &slot));
    }
    // The status asks the desktop for the AI clients' state, and with no
    // desktop waits out three requests.
    auto count = [&] {
        LTestCurlResult r = LTestRunCaptured({"curl", "-s", "--max-time", "80", "-H", "Authorization: Bearer " + token,
                                              url.substr(0, url.size() - 4) + "/mcp/status"},
                                             90000);
        json status = json::parse(r.output, nullptr, false);
        return status.is_discarded() ? -1 : status["sendDailyCount"].get<int>();
    };
    EXPECT_EQ(count(), 2);
    ASSERT_EQ(service->Stop(), 0);
    service = std::make_unique<LTestService>();
    ASSERT_TRUE(service->WaitRunning());
    EXPECT_EQ(count(), 2);
}

}  // namespace
