// The routes of the MCP server, answering "not available" until the MCP
// server's own handlers exist. The MCP server deletes this file when it
// registers the real routes (a name registered twice keeps the handler of
// whichever initialiser ran last).
#include "web/http/routes.h"
#include "web/http/weblet.h"

namespace {

constexpr const char* kNotAvailable = "{\"ok\":false,\"error\":\"MCP server not available\"}";

void LWebMcp(Weblet& request, LJsonValue&) {
    request.SendJsonText("{\"jsonrpc\":\"2.0\",\"id\":null,\"error\":{\"code\":-32601,\"message\":\"MCP server not available\"}}");
}

void LWebMcpStatus(Weblet& request, LWebletRoute*, uint64_t) {
    if (!request.session.HasSession()) {
        request.SendStatus(401, "Not Authorized");
        return;
    }
    request.SendJsonText(kNotAvailable);
}

void SessionJsonRoute(Weblet& request, LJsonValue&) {
    if (!request.CheckCSRF()) return;
    if (!request.session.HasSession()) {
        request.SendJsonText("{\"errorcode\":401,\"errormsg\":\"Not logged in.\"}");
        return;
    }
    request.SendJsonText(kNotAvailable);
}

[[maybe_unused]] const bool g_registered = [] {
    LWebletRegisterJsonRoute(u"mcp", LWebMcp, 0);
    LWebletRegisterRoute(u"mcp/status", LWebMcpStatus, 1);
    LWebletRegisterJsonRoute(u"mcp/settings-save", SessionJsonRoute, 1);
    LWebletRegisterJsonRoute(u"mcp/claude-install", SessionJsonRoute, 1);
    LWebletRegisterJsonRoute(u"mcp/codex-install", SessionJsonRoute, 1);
    LWebletRegisterJsonRoute(u"mcp/antigravity-install", SessionJsonRoute, 1);
    return true;
}();

}  // namespace
