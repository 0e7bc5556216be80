#include "mcp/tests/mcp_harness.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "foundation/database.h"
#include "foundation/utf8.h"
#include "mail/store/mail_schema.h"
#include "tests/support/test_root.h"
#include "web/http/activity_log.h"

LTestMcpReply LTestSplitReply(const LTestCurlResult& r) {
    LTestMcpReply reply;
    reply.curl_exit = r.exit_code;
    size_t line = r.output.find("\r\n");
    size_t head = r.output.find("\r\n\r\n");
    if (line == std::string::npos || head == std::string::npos) return reply;
    reply.status = r.output.substr(0, line);
    reply.headers = r.output.substr(line + 2, head - line);
    reply.body = r.output.substr(head + 4);
    return reply;
}

LTestMcpServer::LTestMcpServer(bool enabled) {
    {
        LAppDatabaseAccount db(false);
        LEmailAccountsCreateSchema(db);
        LEmailStoreCreateSchema(db);
    }
    if (enabled) SetSetting("Enabled", "1");
    web.Start(false);
}

LTestMcpReply LTestMcpServer::Post(const std::string& body, const std::vector<std::string>& extra,
                                   const std::string& path) {
    std::string file = web.root.Path() + "/body-" + std::to_string(getpid()) + ".json";
    std::ofstream(file, std::ios::binary) << body;
    std::vector<std::string> args = {"-H", "Content-Type: application/json", "--data-binary", "@" + file};
    args.insert(args.end(), extra.begin(), extra.end());
    LTestMcpReply reply = LTestSplitReply(web.Curl(args, path));
    std::filesystem::remove(file);
    return reply;
}

LTestMcpReply LTestMcpServer::PostWithToken(const std::string& body, const std::vector<std::string>& extra) {
    // The first request makes the token; a ping with no id changes nothing.
    if (Token().empty()) Post("{\"jsonrpc\":\"2.0\",\"method\":\"notifications/initialized\"}");
    std::vector<std::string> args = {"-H", "Authorization: Bearer " + Token()};
    args.insert(args.end(), extra.begin(), extra.end());
    return Post(body, args);
}

LTestMcpReply LTestMcpServer::Curl(const std::vector<std::string>& args, const std::string& path) {
    return LTestSplitReply(web.Curl(args, path));
}

std::string LTestMcpServer::Token() {
    std::string v = Setting("StdioAuthorization");
    return v == "<none>" || v == "<null>" ? "" : v;
}

std::string LTestMcpServer::Setting(const std::string& item) {
    LAppDatabaseAccount db(false);
    LAppDatabaseCursor c;
    c.QueryF(db, u"SELECT VALUE FROM main.APPSETTINGS WHERE SECTION='MCP' AND ITEM='%Q';", LFromUtf8(item).c_str());
    if (!c.HasRow()) return "<none>";
    if (c.IsColumnNull(0)) return "<null>";
    LStringA v;
    c.GetColumnTextA(0, v);
    return v.Str();
}

void LTestMcpServer::SetSetting(const std::string& item, const char* value) {
    LAppDatabaseAccount db(false);
    LString v = LFromUtf8(value ? value : "");
    if (value)
        db.ExecF(u"INSERT OR REPLACE INTO main.APPSETTINGS VALUES ('MCP', '%Q', '%Q', '');", LFromUtf8(item).c_str(),
                 v.c_str());
    else
        db.ExecF(u"INSERT OR REPLACE INTO main.APPSETTINGS VALUES ('MCP', '%Q', NULL, '');", LFromUtf8(item).c_str());
}

std::string LTestMcpServer::McpLog() {
    std::string all;
    for (const auto& e : std::filesystem::directory_iterator(LActivityLogFolder()))
        if (e.path().filename().string().find(" MCP.csv") != std::string::npos) all += LTestReadFile(e.path().string());
    return all;
}
