// The official MCP client (TypeScript SDK) starting `porlinex -mcpstdio` as
// an AI client does, against the real service on a mirrored corpus, and
// against no service at all.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>

#include "foundation/database.h"
#include "mcp/mcp_auth.h"
#include "mcp/tests/mcp_client_support.h"
#include "tests/support/dovecot_server.h"
#include "tests/support/service_harness.h"
#include "tests/support/test_root.h"
#include "web/http/tests/http_harness.h"

namespace {

using json = nlohmann::json;

void EnableMcp() {
    LAppDatabaseAccount db(false);
    if (!db.TableExistsInSchema(u"main", u"APPSETTINGS")) db.CreateRegisteredTables();
    ASSERT_TRUE(db.Exec(u"INSERT OR REPLACE INTO main.APPSETTINGS VALUES ('MCP', 'Enabled', '1', '');"));
    ASSERT_TRUE(LMcpEnsureStdioToken(db));
}

json RunStdioClient(const LTestRoot& root, const json& calls) {
    LTestCurlResult r;
    std::string report = LTestRunStdioClient(root.Path(), calls.dump(), r);
    EXPECT_EQ(r.exit_code, 0) << r.output;
    return json::parse(report, nullptr, false);
}

std::string FirstText(const json& result) { return result["content"][0]["text"].get<std::string>(); }

TEST(StdioSdkClient, SearchesAndReadsThroughTheRelay) {
    LTestRoot root;
    std::string error;
    LTestDovecot dovecot;
    std::string stats_text = LTestCorpusInDovecot(dovecot, 40, 3, error);
    ASSERT_FALSE(stats_text.empty()) << error;
    json stats = json::parse(stats_text);
    LTestService service;
    ASSERT_TRUE(service.WaitRunning());
    ASSERT_TRUE(LTestWaitForMirror(40));
    EnableMcp();

    std::string word = stats["queries"]["common word"];
    json calls = json::array({
        {{"name", "search_mail"}, {"arguments", {{"query", word}, {"limit", 5}}}},
    });
    json seen = RunStdioClient(root, calls);
    ASSERT_FALSE(seen.is_discarded());
    EXPECT_EQ(seen["errors"], json::array());
    EXPECT_EQ(seen["server"]["name"], "Porlinex");
    EXPECT_EQ(seen["tools"].size(), 29u);
    EXPECT_EQ(seen["ping"], json::object());
    ASSERT_EQ(seen["calls"].size(), 1u);
    const json& search = seen["calls"][0]["result"];
    EXPECT_FALSE(search.value("isError", false)) << search.dump();
    std::string text = FirstText(search);
    json found = json::parse(text.substr(text.find('\n') + 1), nullptr, false);
    ASSERT_FALSE(found["emails"].empty()) << text;
    std::string id = found["emails"][0]["id"];

    // The message found, read through a second relay of its own.
    json read = RunStdioClient(root, json::array({{{"name", "get_mail"}, {"arguments", {{"email_id", id}}}}}));
    ASSERT_EQ(read["calls"].size(), 1u);
    EXPECT_FALSE(read["calls"][0]["result"].value("isError", false)) << read.dump();
    EXPECT_NE(FirstText(read["calls"][0]["result"]).find(id), std::string::npos);
}

// Nothing answers and nothing can be started: the client's first request
// gets the relay's own error, matched to it by its id.
TEST(StdioSdkClient, NoServiceIsReportedToTheWaitingRequest) {
    LTestRoot root;
    LTestUseFreeWebPorts();
    EnableMcp();
    json seen = RunStdioClient(root, json::array());
    ASSERT_FALSE(seen.is_discarded());
    ASSERT_FALSE(seen["errors"].empty());
    EXPECT_NE(seen["errors"].back().get<std::string>().find("-32000"), std::string::npos) << seen.dump();
    EXPECT_NE(seen["errors"].back().get<std::string>().find("Porlinex local MCP endpoint is unavailable."),
              std::string::npos);
}

}  // namespace
