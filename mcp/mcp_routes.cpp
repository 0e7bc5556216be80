// The browser's MCP page and the relay's liveness probe (mcp/status), and
// the access settings (mcp/settings-save).
#include <cstring>

#include "mail/store/store_transaction.h"
#include "mcp/jsonrpc.h"
#include "mcp/jsonrpc_body.h"
#include "mcp/mcp_auth.h"
#include "mcp/mcp_routes.h"
#include "mcp/mcp_settings.h"
#include "mcp/tools/tool_framework.h"
#include "web/http/routes.h"
#include "web/http/weblet.h"
#include "web/server/web_server.h"

namespace {

void SendRawStatus(Weblet& request, int code, const char* reason) {
    request.Printf("HTTP/1.1 %d %s\r\nContent-Length: 0\r\n\r\n", code, reason);
}

void LWebMcpStatus(Weblet& request, LWebletRoute*, uint64_t) {
    const char16_t* accept = request.Header(u"Accept");
    if (accept && std::u16string_view(accept).find(u"text/event-stream") != std::u16string_view::npos) {
        request.Send("HTTP/1.1 405 Method Not Allowed\r\nAllow: POST\r\nContent-Length: 0\r\n\r\n", 67, 20000);
        return;
    }
    if (!request.OpenDatabase()) {
        SendRawStatus(request, 500, "Database unavailable");
        return;
    }
    LAppDatabaseAccount& db = request.database;
    bool token_ok = LMcpEnsureStdioToken(db);
    if (!request.session.HasSession() && !(token_ok && LMcpAuthorizeRequest(request, db))) {
        request.Send("HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Bearer\r\nContent-Length: 0\r\n\r\n", 74, 20000);
        return;
    }
    bool send_enabled = false;
    int32_t limit = 10, used = 0;
    char16_t today[16];
    LMcpGetSendQuota(db, &send_enabled, &limit, &used, today);
    LStringA text;
    LJsonWriter json(text);
    json.BeginObject();
    json.StringUTF8("name", "Porlinex Local MCP");
    json.StringUTF8("version", LMcpServerVersion);
    json.StringUTF8("protocolVersion", "2025-06-18");
    json.Int("localHTTPPort", LWebServerGetPort());
    json.Int("localHTTPSPort", LWebServerGetSecurePort());
    json.Bool("httpsEnabled", LWebServerIsSecureEnabled());
    json.Bool("localOnly", LMcpSettingBool(db, u"LocalOnly", true));
    json.Bool("requireBearerAuth", LMcpSettingBool(db, u"RequireBearerAuth", false));
    json.Bool("enabled", LMcpSettingBool(db, u"Enabled", false));
    json.Bool("draftEnabled", LMcpSettingBool(db, u"DraftEnabled", false));
    json.Bool("moveEnabled", LMcpSettingBool(db, u"MoveEnabled", false));
    json.Bool("sendEnabled", send_enabled);
    json.Int("sendDailyLimit", limit);
    json.Int("sendDailyCount", used);
    json.String("sendDailyDateUTC", today);
    LMcpWriteClientInstallStatus(json, &request.connection.Progress());
    json.EndObject();
    request.SendJson(text.c_str(), text.length);
}

void AnswerSettingsError(Weblet& request, const char* message) {
    LStringA text;
    text.Format("{\"ok\":false,\"error\":\"%J\"}", message);
    request.SendJson(text.c_str(), text.length);
}

// A boolean member; `def` when it is absent or of another kind.
bool BodyBool(const LJsonValue& body, const char* name, bool def) {
    const LJsonValue* v = body.kind == LJsonObject ? body.FindMember(name) : nullptr;
    return v && v->kind == LJsonBool ? v->payload.b : def;
}

void LWebMcpSettingsSave(Weblet& request, const char* bytes, size_t n) {
    if (!request.CheckCSRF()) return;
    if (!request.IsLoopbackPeer()) {
        SendRawStatus(request, 403, "Forbidden");
        return;
    }
    // Only the signed-in browser changes who may use the endpoint: a page
    // of another site that reached this port (DNS rebinding) has no session.
    if (!request.session.HasSession()) {
        request.SendJsonText("{\"errorcode\":401,\"errormsg\":\"Not logged in.\"}");
        return;
    }
    if (!request.OpenDatabase()) {
        SendRawStatus(request, 500, "Database unavailable");
        return;
    }
    LMcpRequestBody body;
    if (!LMcpParseRequestBody(bytes, n, body) || body.value.kind != LJsonObject) {
        AnswerSettingsError(request, "The MCP settings could not be read from the request.");
        return;
    }
    bool local_only = BodyBool(body.value, "localOnly", true);
    bool require_bearer = BodyBool(body.value, "requireBearerAuth", false);
    LString key;
    const LJsonValue* given = body.value.FindMember("bearerKey");
    if (given && given->IsString()) key.SetUtf8N(given->text.c_str(), given->text.length);
    // A cut key would never match what the client sends.
    if (key.length > 259) {
        AnswerSettingsError(request, "The Bearer Authentication Key must be 259 characters or fewer.");
        return;
    }
    LAppDatabaseAccount& db = request.database;
    LString stored;
    if (!LMcpSettingRead(db, u"BearerAuthKeyHash", stored)) {
        AnswerSettingsError(request, "Database unavailable");
        return;
    }
    if (require_bearer && key.IsEmpty() && stored.IsEmpty()) {
        AnswerSettingsError(request, "Enter a Bearer Authentication Key before enabling authentication.");
        return;
    }
    bool saved = false;
    {
        LStoreTransaction transaction(db);
        saved = transaction.Began() && LMcpSettingWrite(db, u"LocalOnly", local_only ? nullptr : u"0") &&
                LMcpSettingWrite(db, u"RequireBearerAuth", require_bearer ? u"1" : nullptr);
        if (saved && !key.IsEmpty()) {
            char16_t digest[65];
            LMcpHashSecret(key.c_str(), key.length, digest);
            saved = digest[0] && LMcpSettingWrite(db, u"BearerAuthKeyHash", digest);
        }
        saved = saved && transaction.Commit();
    }
    if (!saved || !LMcpEnsureStdioToken(db)) {
        AnswerSettingsError(request, "The MCP settings could not be saved.");
        return;
    }
    request.SendJsonText("{\"ok\":true}");
}

[[maybe_unused]] const bool g_registered = [] {
    LWebletRegisterRoute(u"mcp/status", LWebMcpStatus, 1);
    LWebletRegisterRawPostRoute(u"mcp/settings-save", LWebMcpSettingsSave, 1);
    return true;
}();

}  // namespace
