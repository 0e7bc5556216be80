// The AI clients' install state in the mcp/status answer. In the service it
// comes from the user's desktop process, whose reply is read strictly; a
// reply that is missing or does not read leaves the state unknown.
#include <string>

#include "foundation/json_value.h"
#include "foundation/log.h"
#include "mcp/clients/client_files.h"
#include "mcp/clients/codex_config.h"
#include "mcp/clients/desktop_channel.h"
#include "mcp/clients/json_clients.h"
#include "mcp/jsonrpc_body.h"
#include "mcp/mcp_routes.h"

namespace {

struct ClientState {
    std::string path;
    bool exists = false, valid = true, installed = false, matches = false, unknown = true;
};

bool MemberBool(const LJsonValue& record, const char* name, bool def) {
    const LJsonValue* v = record.FindMember(name);
    return v && v->kind == LJsonBool ? v->payload.b : def;
}

std::string MemberText(const LJsonValue& record, const char* name) {
    const LJsonValue* v = record.FindMember(name);
    return v && v->IsString() ? v->text.Str() : "";
}

// The desktop's status record; false when it is not one JSON object.
bool ParseRecord(const std::string& text, LMcpRequestBody& record) {
    return LMcpParseRequestBody(text.data(), text.size(), record) && record.value.kind == LJsonObject;
}

// The service's way to the desktop for one status answer: asked once per
// client while a desktop answers; with no desktop connected, or after a
// request nobody answered, the remaining clients are not asked (each ask
// would wait out the channel's time-out again) and the answer says why
// their state is unknown.
struct DesktopLink {
    LTaskProgress* progress = nullptr;
    bool unreachable = false;

    // The reply's detail; false when there is none.
    bool Ask(LDesktopRequestCode code, std::string& detail) {
        detail.clear();
        if (unreachable) return false;
        std::string message;
        bool ok = LMcpAskDesktop(code, progress, message, &detail);
        // A desktop that answers sends its record; a request nobody answered
        // comes back with nothing but the channel's text.
        if (!ok && detail.empty()) unreachable = true;
        return ok;
    }
};

ClientState JsonClientState(DesktopLink& link, LDesktopRequestCode code, std::string (*path)(),
                            void (*check)(bool&, bool&, bool&, bool&)) {
    ClientState s;
    if (!LGetServiceFlag()) {
        s.path = path();
        check(s.exists, s.valid, s.installed, s.matches);
        s.unknown = false;
        return s;
    }
    std::string detail;
    link.Ask(code, detail);
    LMcpRequestBody record;
    if (!ParseRecord(detail, record)) return s;
    s.path = MemberText(record.value, "configPath");
    s.exists = MemberBool(record.value, "configExists", false);
    s.valid = MemberBool(record.value, "configValid", true);
    s.installed = MemberBool(record.value, "installed", false);
    s.matches = MemberBool(record.value, "installMatches", false);
    s.unknown = false;
    return s;
}

void WriteJsonClient(LJsonWriter& json, const char* prefix, const ClientState& s, const char* server_name,
                     const char* snippet_key, bool logs) {
    auto name = [prefix](const char* suffix) { return std::string(prefix) + suffix; };
    json.StringUTF8(name("ConfigPath").c_str(), s.path.c_str());
    if (logs) json.StringUTF8(name("LogsPath").c_str(), (LMcpUserConfigFolder() + "/Claude/logs").c_str());
    json.StringUTF8(name("CommandPath").c_str(), LMcpProgramPath().c_str());
    json.StringUTF8(name("ServerName").c_str(), server_name);
    json.StringUTF8(name("LaunchArg").c_str(), "-mcpstdio");
    json.StringUTF8(name("Snippet").c_str(), LMcpConfigSnippet(snippet_key).c_str());
    json.Bool(name("ConfigExists").c_str(), s.exists);
    json.Bool(name("ConfigValid").c_str(), s.valid);
    json.Bool(name("Installed").c_str(), s.installed);
    json.Bool(name("InstallMatches").c_str(), s.matches);
    json.Bool(name("StatusUnknown").c_str(), s.unknown);
}

}  // namespace

void LMcpWriteClientInstallStatus(LJsonWriter& json, LTaskProgress* progress) {
    DesktopLink link;
    link.progress = progress;
    link.unreachable = LGetServiceFlag() && !LMcpDesktopMayAnswer();
    WriteJsonClient(json, "claudeDesktop",
                    JsonClientState(link, LDesktopClaudeStatus, LClaudeDesktopConfigGetPath, LClaudeDesktopConfigCheck),
                    "Porlinex", "Porlinex", true);
    WriteJsonClient(json, "antigravity",
                    JsonClientState(link, LDesktopAntigravityStatus, LAntigravityConfigGetPath, LAntigravityConfigCheck),
                    "porlinex", "porlinex", false);
    std::string text;
    if (!LCodexConfigStatusJson(text)) text = "{}";
    if (LGetServiceFlag() && !link.Ask(LDesktopCodexStatus, text)) text = "{}";
    LMcpRequestBody record;
    if (ParseRecord(text, record)) {
        json.StringUTF8("codexConfigPath", MemberText(record.value, "configPath").c_str());
        json.Bool("codexConfigExists", MemberBool(record.value, "configExists", false));
        json.Bool("codexInstalled", MemberBool(record.value, "installed", false));
    }
    if (link.unreachable) {
        json.Bool("desktopWindowOpen", false);
        json.StringUTF8("desktopStatusMessage",
                        "No Porlinex window is open, so the AI clients' install state is unknown. Open Porlinex to "
                        "see it.");
    }
}
