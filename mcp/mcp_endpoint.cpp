// The route "mcp": one JSON-RPC 2.0 message per POST, read strictly, logged,
// authorised, and answered on the same connection.
#include <cstring>
#include <string_view>

#include "foundation/utf8.h"
#include "mcp/jsonrpc.h"
#include "mcp/mcp_auth.h"
#include "mcp/mcp_settings.h"
#include "mcp/tools/tool_catalogue.h"
#include "mcp/tools/tool_dispatch.h"
#include "web/http/routes.h"
#include "web/http/weblet.h"

namespace {

constexpr const char* kParseError = "{\"jsonrpc\":\"2.0\",\"id\":null,\"error\":{\"code\":-32700,\"message\":\"Parse error\"}}";
constexpr const char* kUnauthorized = "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Bearer\r\nContent-Length: 0\r\n\r\n";
constexpr const char* kAccepted = "HTTP/1.1 202 Accepted\r\nContent-Length: 0\r\n\r\n";

void SendRaw(Weblet& request, const char* text) { request.Send(text, std::strlen(text), 20000); }

void AnswerParseError(Weblet& request) {
    LMcpLogPayload("response", nullptr, kParseError, std::strlen(kParseError));
    request.Printf("HTTP/1.1 400 Bad Request\r\nCache-Control: no-cache\r\nContent-Type: application/json\r\n"
                   "Content-Length: %Iu\r\n\r\n%s",
                   static_cast<uint64_t>(std::strlen(kParseError)), kParseError);
}

// What a message is, by its members: a request or notification carries a
// method; a client's answer to a server request carries result or error.
enum class Kind { Request, Notification, ClientResponse, Invalid };

Kind Classify(const LMcpRequestBody& body, const LJsonValue* method) {
    if (method) {
        if (!method->IsString()) return Kind::Invalid;
        if (!body.has_id) return Kind::Notification;
        return LMcpIsValidJsonRpcId(body) ? Kind::Request : Kind::Invalid;
    }
    const LJsonValue& v = body.value;
    if (v.kind == LJsonObject && body.has_id && (v.FindMember("result") || v.FindMember("error")))
        return Kind::ClientResponse;
    return Kind::Invalid;
}

void LWebMcp(Weblet& request, const char* bytes, size_t n) {
    LMcpRequestBody body;
    if (!LMcpParseRequestBody(bytes, n, body)) {
        AnswerParseError(request);
        return;
    }
    const LJsonValue* method = body.value.kind == LJsonObject ? body.value.FindMember("method") : nullptr;
    // A method with an inner NUL cannot be named in the log or matched.
    const char* method_text = method && method->IsString() && !std::memchr(method->text.c_str(), 0, method->text.length)
                                  ? method->text.c_str()
                                  : "";
    LStringA logged;
    if (body.value.Serialize(logged) != 0) {
        logged.Clear();
        logged.Append("{\"logging_error\":\"json_write_failed\"}");
    }
    static constexpr const char* kReceived = "{\"request\":\"received\"}";
    LMcpLogPayload("request", method_text, kReceived, std::strlen(kReceived));

    Kind kind = Classify(body, method);
    if (kind == Kind::Invalid) {
        LMcpWriteJsonRpcError(request, body, -32600, "Invalid JSON-RPC request.", method_text);
        return;
    }
    if (!request.OpenDatabase()) {
        LMcpWriteJsonRpcError(request, body, -32002, "Porlinex database is not available.", method_text);
        return;
    }
    LAppDatabaseAccount& db = request.database;
    // A token that cannot be made or read refuses the request: access is
    // never open because a write failed. A busy database is no refusal: a
    // client would read 401 as wrong credentials.
    LMcpTokenUpkeep upkeep = LMcpKeepStdioToken(db);
    if (upkeep == LMcpTokenBusy) {
        LMcpWriteJsonRpcError(request, body, -32002,
                              "Porlinex database is busy with another write; try again in a moment.", method_text);
        return;
    }
    if (upkeep != LMcpTokenReady || !LMcpAuthorizeRequest(request, db)) {
        SendRaw(request, kUnauthorized);
        return;
    }
    LMcpLogPayload("request", method_text, logged.c_str(), logged.length);
    if (kind != Kind::Request) {
        static constexpr const char* kAcceptedLog = "{\"status\":202,\"body\":\"\"}";
        LMcpLogPayload("response", method_text, kAcceptedLog, std::strlen(kAcceptedLog));
        SendRaw(request, kAccepted);
        return;
    }
    bool read = false;
    bool enabled = LMcpSettingBool(db, u"Enabled", false, &read);
    if (!read) {
        LMcpWriteJsonRpcError(request, body, -32002, "Porlinex database is not available.", method_text);
        return;
    }
    if (!enabled) {
        LMcpWriteJsonRpcError(request, body, -32003, "Porlinex MCP is disabled. Enable it on the MCP page first.",
                              method_text);
        return;
    }

    LStringA text;
    text.Reserve(260);
    LJsonWriter answer(text);
    LMcpBeginAnswer(answer, body);
    std::string_view m(method_text);
    if (m == "initialize") {
        LMcpInitialize(answer, body.value);
    } else if (m == "tools/list") {
        LMcpWriteToolList(answer);
    } else if (m == "tools/call") {
        LAppDatabaseAccount tool_db(LAppDatabaseAccount::Deferred{}, false);
        if (!tool_db.Open(tool_db.path, false)) {
            LMcpWriteJsonRpcError(request, body, -32002, "Porlinex database is not available.", "tools/call");
            return;
        }
        LMcpToolsCall(answer, tool_db, body.value, &request);
    } else if (m == "ping") {
        answer.BeginObjectNamed("result");
        answer.EndObject();
    } else {
        // The name is the client's: bounded (on a character boundary), so the
        // answer stays small.
        size_t shown = m.size() > 259 ? 259 : m.size();
        while (shown < m.size() && (static_cast<unsigned char>(m[shown]) & 0xC0) == 0x80) --shown;
        LStringA message;
        message.Format("Method not supported: %s", m.substr(0, shown));
        LMcpWriteJsonRpcError(request, body, -32601, message.c_str(), method_text);
        return;
    }
    answer.EndObject();
    LMcpLogPayload("response", method_text, text.c_str(), text.length);
    request.SendJson(text.c_str(), text.length);
}

[[maybe_unused]] const bool g_registered = (LWebletRegisterRawPostRoute(u"mcp", LWebMcp, 0), true);

}  // namespace
