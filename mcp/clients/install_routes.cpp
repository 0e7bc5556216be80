// The browser's MCP page installs the program into the AI clients' files:
// mcp/claude-install, mcp/antigravity-install and mcp/codex-install.
#include <string>

#include "foundation/log.h"
#include "mcp/clients/codex_config.h"
#include "mcp/clients/desktop_channel.h"
#include "mcp/clients/json_clients.h"
#include "web/http/routes.h"
#include "web/http/weblet.h"

namespace {

struct Install {
    LDesktopRequestCode code;
    bool (*run)(std::string& error);
    const char* localhost_only;
};

const Install kClaude = {LDesktopClaudeInstall, LClaudeDesktopConfigInstall,
                         "Claude Desktop config can only be installed from localhost."};
const Install kAntigravity = {LDesktopAntigravityInstall, LAntigravityConfigInstall,
                              "Antigravity config can only be installed from localhost."};
const Install kCodex = {LDesktopCodexInstall, LCodexConfigInstall,
                        "Codex configuration can only be installed from localhost."};

void AnswerError(Weblet& request, const std::string& error) {
    LStringA text;
    text.Format("{\"ok\":false,\"error\":\"%J\"}", error.c_str());
    request.SendJson(text.c_str(), text.length);
}

void Run(Weblet& request, const Install& install) {
    if (!request.CheckCSRF()) return;
    if (!request.IsLoopbackPeer()) {
        AnswerError(request, install.localhost_only);
        return;
    }
    // A page of another site that reached this port under a name it
    // controls (DNS rebinding) passes the two tests above; it has no
    // session, and must not write the user's AI-client files.
    if (!request.session.HasSession()) {
        request.SendJsonText("{\"errorcode\":401,\"errormsg\":\"Not logged in.\"}");
        return;
    }
    std::string error;
    bool ok = LGetServiceFlag() ? LMcpAskDesktop(install.code, &request.connection.Progress(), error, nullptr)
                                : install.run(error);
    if (ok)
        request.SendJsonText("{\"ok\":true}");
    else
        AnswerError(request, error);
}

void LWebMcpClaudeInstall(Weblet& request, LJsonValue&) { Run(request, kClaude); }
void LWebMcpAntigravityInstall(Weblet& request, LJsonValue&) { Run(request, kAntigravity); }
void LWebMcpCodexInstall(Weblet& request, LJsonValue&) { Run(request, kCodex); }

[[maybe_unused]] const bool g_registered = [] {
    LWebletRegisterJsonRoute(u"mcp/claude-install", LWebMcpClaudeInstall, 1);
    LWebletRegisterJsonRoute(u"mcp/antigravity-install", LWebMcpAntigravityInstall, 1);
    LWebletRegisterJsonRoute(u"mcp/codex-install", LWebMcpCodexInstall, 1);
    return true;
}();

}  // namespace
