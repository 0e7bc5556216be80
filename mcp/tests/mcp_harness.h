#pragma once
// The MCP routes in-process for black-box tests: a fresh root with the mail
// schema, MCP enabled, the web server's plain listener, and curl posting
// JSON-RPC bodies to it.
#include <string>
#include <vector>

#include "web/http/tests/http_harness.h"

struct LTestMcpReply {
    std::string status;  // the status line
    std::string headers;
    std::string body;
    int curl_exit = -1;
};

class LTestMcpServer {
public:
    // Enabled is set (and so the stdio token made on the first request)
    // unless `enabled` is false.
    explicit LTestMcpServer(bool enabled = true);
    // POSTs the bytes as they are; `token` "" sends no Authorization.
    LTestMcpReply Post(const std::string& body, const std::vector<std::string>& extra = {},
                       const std::string& path = "/mcp");
    LTestMcpReply PostWithToken(const std::string& body, const std::vector<std::string>& extra = {});
    // Any other request through curl (-X METHOD, headers, ...).
    LTestMcpReply Curl(const std::vector<std::string>& args, const std::string& path = "/mcp");
    // The stored stdio token (made on the first request while enabled).
    std::string Token();
    // An APPSETTINGS item of section MCP, or "<null>" / "<none>".
    std::string Setting(const std::string& item);
    void SetSetting(const std::string& item, const char* value);
    // The text of today's MCP activity log.
    std::string McpLog();
    std::string DataFolder() const { return web.root.DataFolder(); }

    LTestWebServer web;
};

// The answer split as curl -i shows it.
LTestMcpReply LTestSplitReply(const LTestCurlResult& r);
