// The relay's side of the local endpoint: the liveness probe, the POST of
// one message, and the answer it makes itself when the endpoint is away.
#include <cstdio>

#include "foundation/utf8.h"
#include "foundation/wait.h"
#include "mcp/jsonrpc.h"
#include "mcp/jsonrpc_body.h"
#include "mcp/mcp_auth.h"
#include "mcp/stdio/stdio_relay.h"
#include "net/http/http_client.h"
#include "net/http/http_client_text.h"
#include "web/engine/web_server.h"

namespace {

constexpr uint32_t kProbeMs = 5000;
constexpr uint32_t kConnectMs = 10000;
constexpr uint32_t kSendMs = 30000;

void LocalHost(char out[32]) { std::snprintf(out, 32, "127.0.0.1:%u", static_cast<unsigned>(LWebServerGetPort())); }

}  // namespace

bool LMcpStdioProbeService() {
    char host[32], url[64], buffer[2048];
    LocalHost(host);
    std::snprintf(url, sizeof url, "http://%s/mcp/status", host);
    LPlainWait wait;
    LNetOpResult result = LNetFailed;
    if (LHttpGetToBuffer(result, wait, url, buffer, sizeof buffer, kProbeMs) != LNetDone) return false;
    int status = LHttpParseStatus(buffer);
    return status == 200 || status == 401;
}

bool LMcpStdioIsNotification(const std::string& message) {
    LMcpRequestBody body;
    if (!LMcpParseRequestBody(message.data(), message.size(), body) || body.value.kind != LJsonObject) return false;
    if (!body.has_id) return true;
    // The client answering a request of ours: the endpoint takes it with
    // 202 and no body, and the client expects no line back.
    const LJsonValue& v = body.value;
    return !v.FindMember("method") && (v.FindMember("result") || v.FindMember("error"));
}

bool LMcpStdioPostMessage(const std::string& message, std::string& answer) {
    answer.clear();
    // Read anew for every message: a token made or changed meanwhile holds.
    char16_t token[260];
    if (!LMcpGetStdioToken(token)) return false;
    LUTF8FromWide token_utf8(token);
    LStringA headers;
    headers.Format("Content-Type: application/json\r\nAccept: application/json\r\nAuthorization: Bearer %s",
                   token_utf8.text);
    char host[32];
    LocalHost(host);
    LPlainWait wait;
    LNetOpResult result = LNetFailed;
    LCryptoSocket conn;
    // Straight to loopback, never through a proxy: the token travels in clear.
    if (LHttpConnectDirect(result, wait, conn, host, 80, kConnectMs) != LNetDone) return false;
    LStringA head;
    LHttpFormatPostHead(head, "/mcp", host, message.size(), headers.c_str());
    if (conn.Send(result, wait, head.c_str(), head.length, kSendMs) != LNetDone) return false;
    if (!message.empty() && conn.Send(result, wait, message.data(), message.size(), kSendMs) != LNetDone) return false;
    int status = 0;
    LByteBuffer body;
    if (LHttpReadResponse(result, wait, conn, status, body, LMcpStdioReceiveMs) != LNetDone) return false;
    if (status != 200 || body.length == 0) return false;
    const char* bytes = reinterpret_cast<const char*>(body.buffer);
    LMcpRequestBody parsed;
    if (!LMcpParseRequestBody(bytes, body.length, parsed)) return false;
    answer.assign(bytes, body.length);
    // A valid JSON text holds line ends only as white space between
    // tokens; as blanks they cannot break the client's framing.
    for (char& c : answer)
        if (c == '\n' || c == '\r') c = ' ';
    return true;
}

void LMcpStdioWriteUnavailable(const std::string& message, std::string& answer) {
    LMcpRequestBody body;
    bool parsed = LMcpParseRequestBody(message.data(), message.size(), body);
    answer = "{\"jsonrpc\":\"2.0\",\"id\":";
    // The id exactly as the client wrote it: its own number text matches
    // the request it is waiting for, which a reformatted number may not.
    if (parsed && LMcpIsValidJsonRpcId(body))
        answer.append(body.id_text.c_str(), body.id_text.length);
    else
        answer += "null";
    answer += ",\"error\":{\"code\":-32000,\"message\":\"Porlinex local MCP endpoint is unavailable.\"}}";
}
