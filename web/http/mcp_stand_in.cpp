// The AI-client install routes of the MCP server, answering "not
// available" until the installers' own handlers exist. The installers'
// module deletes this file when it registers the real routes (a name
// registered twice keeps the handler of whichever initialiser ran last).
#include "web/http/routes.h"
#include "web/http/weblet.h"

namespace {

void SessionJsonRoute(Weblet& request, LJsonValue&) {
    if (!request.CheckCSRF()) return;
    if (!request.session.HasSession()) {
        request.SendJsonText("{\"errorcode\":401,\"errormsg\":\"Not logged in.\"}");
        return;
    }
    request.SendJsonText("{\"ok\":false,\"error\":\"MCP server not available\"}");
}

[[maybe_unused]] const bool g_registered = [] {
    LWebletRegisterJsonRoute(u"mcp/claude-install", SessionJsonRoute, 1);
    LWebletRegisterJsonRoute(u"mcp/codex-install", SessionJsonRoute, 1);
    LWebletRegisterJsonRoute(u"mcp/antigravity-install", SessionJsonRoute, 1);
    return true;
}();

}  // namespace
