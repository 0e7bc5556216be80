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
#include "net/http/http_head.h"
#include "net/net_reader.h"
#include "platform/spawn.h"
#include "web/server/web_server.h"

namespace {

constexpr uint32_t kProbeMs = 5000;
constexpr uint32_t kConnectMs = 10000;
constexpr uint32_t kSendMs = 30000;

void LocalHost(char out[32]) { std::snprintf(out, 32, "127.0.0.1:%u", static_cast<unsigned>(LWebServerGetPort())); }

void CloseLink(LMcpStdioLink& link) {
    link.conn.Close();
    link.open = false;
}

// Sends the request on the link (a new connection when it has none, or when
// the server has ended the idle one) and reads one answer framed by its
// Content-Length; anything else closes the link.
bool Exchange(LMcpStdioLink& link, const std::string& request, int& status, std::string& body) {
    LPlainWait wait;
    LNetOpResult result = LNetFailed;
    if (link.open && LPlatformPollReadable(link.conn.socket, 0)) CloseLink(link);
    if (!link.open) {
        char host[32];
        LocalHost(host);
        // Straight to loopback, never through a proxy: the token travels in
        // clear.
        if (LHttpConnectDirect(result, wait, link.conn, host, 80, kConnectMs) != LNetDone) {
            CloseLink(link);
            return false;
        }
        link.open = true;
    }
    LNetReader reader(link.conn);
    LHttpHead head;
    bool ok = link.conn.Send(result, wait, request.data(), request.size(), kSendMs) == LNetDone &&
              LHttpReadHead(result, wait, reader, head, LMcpStdioReceiveMs) == LNetDone &&
              LHttpScanStatusLine(head.statusLine.c_str(), &status) && head.lengthKnown && !head.framed &&
              head.length <= LHttpMaxBodyInMemory;
    if (ok) {
        body.resize(head.length);
        ok = reader.ReadExact(result, wait, body.data(), head.length, LMcpStdioReceiveMs) == LNetDone &&
             reader.Buffered() == 0;
    }
    if (!ok) CloseLink(link);
    return ok;
}


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

bool LMcpStdioPostMessage(LMcpStdioLink& link, const std::string& message, std::string& answer) {
    answer.clear();
    // Read anew for every message: a token made or changed meanwhile holds.
    char16_t token[260];
    if (!LMcpGetStdioToken(token)) return false;
    LUTF8FromWide token_utf8(token);
    char host[32];
    LocalHost(host);
    LStringA head;
    head.Format("POST /mcp HTTP/1.1\r\nHost: %s\r\nContent-Type: application/json\r\nAccept: application/json\r\n"
                "Authorization: Bearer %s\r\nContent-Length: %Iu\r\n\r\n",
                host, token_utf8.text, static_cast<uint64_t>(message.size()));
    // Head and body in one write: split, they wait on each other's ACKs.
    std::string request(head.c_str(), head.length);
    request += message;
    int status = 0;
    std::string body;
    if (!Exchange(link, request, status, body) || status != 200 || body.empty()) return false;
    LMcpRequestBody parsed;
    if (!LMcpParseRequestBody(body.data(), body.size(), parsed)) return false;
    answer.swap(body);
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
