// The MCP route from outside: curl posting JSON-RPC bodies to the web server
// in-process.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>

#include "mcp/tests/mcp_harness.h"

namespace {

using json = nlohmann::json;

constexpr const char* kParseError = "{\"jsonrpc\":\"2.0\",\"id\":null,\"error\":{\"code\":-32700,\"message\":\"Parse error\"}}";
constexpr const char* kInvalid =
    "{\"jsonrpc\":\"2.0\",\"id\":null,\"error\":{\"code\":-32600,\"message\":\"Invalid JSON-RPC request.\"}}";

bool HasHeader(const LTestMcpReply& r, const std::string& line) {
    return r.headers.find(line + "\r\n") != std::string::npos;
}

// A body that is not one JSON text is answered 400 with the parse error,
// and nothing of it runs: not even the stdio token is made.
TEST(McpEndpoint, BodiesThatAreNoJsonGet400AndRunNothing) {
    LTestMcpServer mcp;
    const char* bodies[] = {
        "{\"id\":1,\"method\":\"tools/call\",\"params\":{\"name\":\"list_accounts\"}",  // truncated
        "{\"id\":1 \"method\":\"ping\"}",                                              // no comma
        "{\"id\":1,\"method\":\"ping\",\"params\":[}",                                 // mismatched
        "{\"id\":1,\"method\":\"ping\"}garbage",                                       // trailing bytes
        "{\"id\":1,\"method\":\"ping\"}{\"id\":2,\"method\":\"ping\"}",
        "",
        "{\"id\":01,\"method\":\"ping\"}",
    };
    for (const char* b : bodies) {
        LTestMcpReply r = mcp.Post(b);
        EXPECT_EQ(r.status, "HTTP/1.1 400 Bad Request") << b;
        EXPECT_TRUE(HasHeader(r, "Content-Type: application/json")) << b;
        EXPECT_EQ(r.body, kParseError) << b;
    }
    EXPECT_EQ(mcp.Token(), "");
    EXPECT_EQ(mcp.McpLog().find("request method="), std::string::npos);
}

// Ids come back as the request wrote them, whatever a double would make of
// them; ids of other kinds make the request invalid.
TEST(McpEndpoint, IdsEchoedByteForByte) {
    LTestMcpServer mcp;
    const char* ids[] = {"\"a\"", "0", "-1", "9223372036854775808", "12345678901234567890", "1.5", "1e3",
                         "\"\\u00e9\\\"q\"", "-0.0"};
    for (const char* id : ids) {
        std::string body = std::string("{\"jsonrpc\":\"2.0\",\"id\": ") + id + " ,\"method\":\"ping\"}";
        LTestMcpReply r = mcp.PostWithToken(body);
        EXPECT_EQ(r.status, "HTTP/1.1 200 OK") << id;
        EXPECT_EQ(r.body, std::string("{\"jsonrpc\":\"2.0\",\"id\":") + id + ",\"result\":{}}") << id;
    }
    for (const char* id : {"null", "true", "{}", "[]", "[1]"}) {
        LTestMcpReply r = mcp.PostWithToken(std::string("{\"id\":") + id + ",\"method\":\"ping\"}");
        EXPECT_EQ(r.status, "HTTP/1.1 200 OK") << id;
        EXPECT_EQ(r.body, kInvalid) << id;
    }
    // A batch has no method: invalid, and nothing in it runs.
    LTestMcpReply batch = mcp.PostWithToken("[{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"ping\"}]");
    EXPECT_EQ(batch.body, kInvalid);
    LTestMcpReply no_method = mcp.PostWithToken("{\"jsonrpc\":\"2.0\",\"id\":4,\"method\":7}");
    EXPECT_EQ(no_method.body,
              "{\"jsonrpc\":\"2.0\",\"id\":4,\"error\":{\"code\":-32600,\"message\":\"Invalid JSON-RPC request.\"}}");
}

// Notifications and the client's own answers get a bare 202 once
// authorised; every other method than POST a 405 that names POST.
TEST(McpEndpoint, NotificationsResponsesAndOtherMethods) {
    LTestMcpServer mcp;
    for (const char* body : {"{\"jsonrpc\":\"2.0\",\"method\":\"notifications/initialized\"}",
                             "{\"jsonrpc\":\"2.0\",\"method\":\"Unknown/thing\",\"params\":{}}",
                             "{\"jsonrpc\":\"2.0\",\"id\":5,\"result\":{}}",
                             "{\"jsonrpc\":\"2.0\",\"id\":\"s1\",\"error\":{\"code\":-1,\"message\":\"no\"}}"}) {
        LTestMcpReply r = mcp.PostWithToken(body);
        EXPECT_EQ(r.status, "HTTP/1.1 202 Accepted") << body;
        EXPECT_TRUE(HasHeader(r, "Content-Length: 0")) << body;
        EXPECT_EQ(r.body, "") << body;
        EXPECT_EQ(mcp.Post(body).status, "HTTP/1.1 401 Unauthorized") << body;
    }
    for (const char* method : {"GET", "DELETE", "PUT"}) {
        LTestMcpReply r = mcp.Curl({"-X", method, "-H", "Authorization: Bearer " + mcp.Token()});
        EXPECT_EQ(r.status, "HTTP/1.1 405 Method Not Allowed") << method;
        EXPECT_TRUE(HasHeader(r, "Allow: POST")) << method;
    }
    // Other paths keep the server's rules.
    EXPECT_EQ(mcp.Curl({"-X", "DELETE"}, "/index.html").status, "HTTP/1.1 501 Not Implemented");
    // Disabled: requests get the disabled error, notifications still 202.
    mcp.SetSetting("Enabled", "0");
    LTestMcpReply off = mcp.PostWithToken("{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"ping\"}");
    EXPECT_EQ(json::parse(off.body)["error"]["code"], -32003);
    EXPECT_EQ(mcp.PostWithToken("{\"method\":\"notifications/initialized\"}").status, "HTTP/1.1 202 Accepted");
}

TEST(McpEndpoint, MethodsInitializeAndToolCallErrors) {
    LTestMcpServer mcp;
    struct {
        const char* params;
        const char* version;
    } versions[] = {
        {"{\"protocolVersion\":\"2024-11-05\"}", "2024-11-05"}, {"{\"protocolVersion\":\"2025-03-26\"}", "2025-03-26"},
        {"{\"protocolVersion\":\"2025-06-18\"}", "2025-06-18"}, {"{\"protocolVersion\":\"1.0\"}", "2025-06-18"},
        {"{\"protocolVersion\":5}", "2025-06-18"},               {"{}", "2025-06-18"},
    };
    for (const auto& v : versions) {
        json r = json::parse(mcp.PostWithToken(std::string("{\"id\":1,\"method\":\"initialize\",\"params\":") + v.params +
                                               "}")
                                 .body);
        EXPECT_EQ(r["result"]["protocolVersion"], v.version) << v.params;
        EXPECT_EQ(r["result"]["serverInfo"]["version"], "2026-09-20.3");
        EXPECT_EQ(r["result"]["capabilities"].dump(), "{\"tools\":{\"listChanged\":false}}");
    }
    json ping = json::parse(mcp.PostWithToken("{\"id\":1,\"method\":\"Ping\"}").body);
    EXPECT_EQ(ping["error"]["code"], -32601);
    EXPECT_EQ(ping["error"]["message"], "Method not supported: Ping");
    json no_name = json::parse(mcp.PostWithToken("{\"id\":2,\"method\":\"tools/call\",\"params\":{}}").body);
    EXPECT_EQ(no_name["result"]["isError"], true);
    EXPECT_EQ(no_name["result"]["content"][0]["text"], "tools/call requires params.name.");
    json wrong_case =
        json::parse(mcp.PostWithToken("{\"id\":3,\"method\":\"tools/call\",\"params\":{\"name\":\"List_accounts\"}}").body);
    EXPECT_EQ(wrong_case["error"]["code"], -32602);
    EXPECT_EQ(wrong_case["error"]["message"], "Requested tool was not found.");
    // A text argument is never cut to fit: an over-long one is refused.
    std::string query(300, 'q');
    json long_query = json::parse(mcp.PostWithToken("{\"id\":4,\"method\":\"tools/call\",\"params\":{\"name\":"
                                                    "\"search_mail\",\"arguments\":{\"query\":\"" + query + "\"}}}")
                                      .body);
    EXPECT_EQ(long_query["result"]["isError"], true);
    EXPECT_EQ(long_query["result"]["content"][0]["text"], "search_mail argument query is longer than 259 characters.");
    // A payload of 5000 bytes is logged as its first 4096 and a note.
    std::string filler(5000 - std::string("{\"id\":9,\"method\":\"ping\",\"params\":{\"x\":\"\"}}").size(), 'x');
    mcp.PostWithToken("{\"id\":9,\"method\":\"ping\",\"params\":{\"x\":\"" + filler + "\"}}");
    EXPECT_NE(mcp.McpLog().find("...[truncated, 4096 of 5000 bytes logged]"), std::string::npos);
}

}  // namespace
