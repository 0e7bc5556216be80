#include "net/http/http_client.h"

#include "foundation/files.h"
#include "foundation/time_source.h"
#include "foundation/utf8.h"
#include "net/http/http_client_text.h"
#include "net/http/http_head.h"
#include "net/http/proxy_settings.h"
#include "net/net_address.h"
#include "net/net_reader.h"

const char* const LHttpProblemReportHost = "reports.porlinex.invalid";
const char* const LHttpCrashDumpHost = "reports.porlinex.invalid:8081";

namespace {

constexpr uint32_t kTunnelSendTimeout = 15260;
constexpr uint32_t kTunnelStatusTimeout = 15000;
constexpr uint32_t kTunnelHeaderTimeout = 10000;
constexpr uint32_t kPostSendTimeout = 30000;
constexpr uint32_t kPostReadTimeout = 204440;
constexpr uint32_t kFormPostTimeout = 23194;

LNetOpResult SendText(LNetOpResult& result, LTaskProgress& progress, LCryptoSocket& conn, const LStringA& text,
                      uint32_t timeout) {
    return conn.Send(result, progress, text.c_str(), text.length, timeout);
}

// The tunnel's head: its status line and headers within both of their
// time-outs together.
constexpr uint32_t kTunnelHeadTimeout = kTunnelStatusTimeout + kTunnelHeaderTimeout;
constexpr uint32_t kDownloadHeadTimeout = 180000;
constexpr uint32_t kDownloadWaitTimeout = 60000;
constexpr uint64_t kDownloadUnknownLength = 0xFFFFFFFFu;

}  // namespace

LNetOpResult LHttpConnectDirect(LNetOpResult& result, LTaskProgress& progress, LCryptoSocket& conn,
                                const char* hostText, uint16_t defaultPort, uint32_t timeoutMs) {
    LNetAddressList list;
    LNetResolveHost(list, hostText, defaultPort);
    return LNetConnectAny(result, progress, conn.socket, list, timeoutMs);
}

LNetOpResult LHttpProxyConnect(LNetOpResult& result, LTaskProgress& progress, LCryptoSocket& conn,
                               const char* targetHost, uint16_t defaultPort, const char* proxyHost, uint16_t proxyPort,
                               uint32_t timeoutMs) {
    char target[260];
    uint16_t port = LNetSplitHostPortA(targetHost, target, defaultPort);
    LStringA proxy;
    proxy.Format("%s:%d", proxyHost, int(proxyPort));
    if (LConnectHost(result, progress, conn, proxy.c_str(), proxyPort, timeoutMs) != LNetDone) return result;
    // The handshake that follows must check the target's name, not the proxy's.
    LUTF8ToWideBuf(conn.server_name, target);
    LStringA head;
    LHttpFormatTunnelHead(head, target, port);
    if (SendText(result, progress, conn, head, kTunnelSendTimeout) != LNetDone) return result;
    LNetReader reader(conn);
    LHttpHead answer;
    if (LHttpReadHead(result, progress, reader, answer, kTunnelHeadTimeout) != LNetDone) return result;
    int status = LHttpParseStatus(answer.statusLine.c_str());
    // Nothing may follow the proxy's answer before we speak: such bytes
    // would be lost to the reader here, or be taken for the target's.
    if (status < 200 || status > 299 || reader.Buffered()) return result = LNetFailed;
    return result;
}

LNetOpResult LHttpConnect(LNetOpResult& result, LTaskProgress& progress, LCryptoSocket& conn, const char* hostText,
                          uint32_t timeoutMs) {
    if (LHttpConnectDirect(result, progress, conn, hostText, 80, timeoutMs) != LNetFailed) return result;
    char proxy[260];
    uint16_t proxyPort;
    if (LHttpProxyBypassed(hostText) || !LHttpGetSystemProxy(LHttpProxyHttp, proxy, &proxyPort)) return result;
    return LHttpProxyConnect(result, progress, conn, hostText, 80, proxy, proxyPort, timeoutMs);
}

LNetOpResult LHttpsConnect(LNetOpResult& result, LTaskProgress& progress, LCryptoSocket& conn, const char* hostText,
                           uint32_t timeoutMs) {
    if (LConnectHost(result, progress, conn, hostText, 443, timeoutMs) == LNetStopped) return result;
    if (result == LNetFailed) {
        char proxy[260];
        uint16_t proxyPort;
        if (LHttpProxyBypassed(hostText) || !LHttpGetSystemProxy(LHttpProxyHttps, proxy, &proxyPort)) return result;
        if (LHttpProxyConnect(result, progress, conn, hostText, 443, proxy, proxyPort, timeoutMs) != LNetDone)
            return result;
    }
    return result = conn.StartTls(LTlsClient) ? LNetDone : LNetFailed;
}

LNetOpResult LHttpGetRequest(LNetOpResult& result, LTaskProgress& progress, LCryptoSocket& conn, const char* host,
                             const char* path, char* buffer, size_t size, uint32_t sendTimeoutMs,
                             uint32_t waitTimeoutMs) {
    if (size) buffer[0] = 0;
    if (conn.socket == LInvalidSocket) return result = LNetDone;
    LStringA head;
    LHttpFormatGetHead(head, path, host);
    if (SendText(result, progress, conn, head, sendTimeoutMs) != LNetDone) return result;
    // The wait time-out holds for the whole answer: a server that sends a
    // byte now and then cannot keep the request alive past it.
    LNetReader reader(conn);
    reader.SetDeadline(LTickCount64() + waitTimeoutMs);
    size_t have = 0;
    while (have + 1 < size) {
        uint64_t got = 0;
        if (reader.ReadSome(result, progress, buffer + have, size - 1 - have, got, waitTimeoutMs) != LNetDone) break;
        have += got;
    }
    if (size) buffer[have] = 0;
    // The answer ends when the peer closes or a wait runs out: what arrived
    // is the answer, head included, for the caller to parse.
    return result = result == LNetStopped ? LNetStopped : LNetDone;
}

LNetOpResult LHttpGetToBuffer(LNetOpResult& result, LTaskProgress& progress, const char* url, char* buffer,
                              size_t size, uint32_t timeoutMs) {
    char host[260], path[1024];
    LHttpSplitUrl(url, host, path, sizeof path);
    LCryptoSocket conn;
    if (LHttpConnect(result, progress, conn, host, timeoutMs) != LNetDone) {
        if (size) buffer[0] = 0;
        return result;
    }
    return LHttpGetRequest(result, progress, conn, host, path, buffer, size, timeoutMs + 15025, timeoutMs);
}

LNetOpResult LHttpsGetToBuffer(LNetOpResult& result, LTaskProgress& progress, const char* url, char* buffer,
                               size_t size) {
    char host[260], path[1024];
    LHttpSplitUrl(url, host, path, sizeof path);
    LCryptoSocket conn;
    if (LHttpsConnect(result, progress, conn, host, 22000) != LNetDone) {
        if (size) buffer[0] = 0;
        return result;
    }
    return LHttpGetRequest(result, progress, conn, host, path, buffer, size, 35025, 20000);
}

namespace {

// The body of a download into an open file: by its length, or up to the
// close. A body longer than the limit fails, announced or not, and so does
// a wait that runs out: a peer that stalls has not ended the body.
LNetOpResult ReadBodyToFile(LNetOpResult& result, LTaskProgress& progress, LNetReader& reader, const LHttpHead& head,
                            uint64_t limit, uint64_t deadline, LFileHandle& file) {
    char chunk[8192];
    if (head.lengthKnown && head.length > limit) return result = LNetFailed;
    // Without a length, one byte past the limit shows the body too long.
    const uint64_t length = head.lengthKnown ? head.length : limit + 1;
    uint64_t remaining = length;
    double fraction = 0;
    result = LNetDone;
    while (remaining > 0) {
        if (progress.IsStopRequested()) return result = LNetStopped;
        uint64_t want = remaining < sizeof chunk ? remaining : sizeof chunk;
        uint64_t got = 0;
        if (head.lengthKnown) {
            if (reader.ReadExact(result, progress, chunk, want, kDownloadWaitTimeout) != LNetDone) return result;
            got = want;
        } else {
            uint64_t asked = LTickCount64();
            if (reader.ReadSome(result, progress, chunk, want, got, kDownloadWaitTimeout) != LNetDone) {
                if (result != LNetFailed) return result;
                uint64_t now = LTickCount64();
                bool ranOut = now >= deadline || now - asked >= kDownloadWaitTimeout;
                return result = ranOut ? LNetFailed : LNetDone;
            }
        }
        if (!file.Write(chunk, got)) return result = LNetFailed;
        remaining -= got;
        fraction += double(got) / 8192.0 / double(length / 8192 + 1);
        progress.SetProgress(fraction);
    }
    return result = head.lengthKnown ? LNetDone : LNetFailed;
}

}  // namespace

LNetOpResult LHttpGetToFileRequest(LNetOpResult& result, LTaskProgress& progress, LCryptoSocket& conn,
                                   const char* url, const char16_t* path, const LHttpDownloadLimits& limits) {
    if (conn.socket == LInvalidSocket) return result = LNetFailed;
    const uint64_t deadline = LTickCount64() + limits.totalMs;
    const uint64_t limit = limits.maxBytes < kDownloadUnknownLength ? limits.maxBytes : kDownloadUnknownLength;
    char host[260], urlPath[8194];
    LHttpSplitUrl(url, host, urlPath, sizeof urlPath);
    LStringA request;
    LHttpFormatGetHead(request, urlPath, host);
    if (SendText(result, progress, conn, request, limits.totalMs < 33194 ? limits.totalMs : 33194) != LNetDone)
        return result;
    LNetReader reader(conn);
    LHttpHead head;
    uint32_t headMs = limits.totalMs < kDownloadHeadTimeout ? limits.totalMs : kDownloadHeadTimeout;
    if (LHttpReadHead(result, progress, reader, head, headMs) != LNetDone) return result;
    // The head's own deadline is over: the whole request's holds the body.
    reader.SetDeadline(deadline);
    head.statusLine.Truncate(259);
    int status = 0;
    // Redirections are not followed: a download names the file itself. A
    // framed (chunked) body would be saved with its framing: refused.
    if (!LHttpDownloadStatus(head.statusLine.c_str(), &status) || status < 200 || status > 299 || head.framed)
        return result = LNetFailed;

    // The body goes to a file beside the target, renamed over it only when
    // whole: a failure leaves an earlier file as it was and nothing
    // half-written under the final name.
    LString partial;
    partial.Format(u"%s.part", path);
    if (partial.length > 259) return result = LNetFailed;
    LFileHandle file = LCreateFileRetry(partial.c_str(), LFileAccessReadWrite, LFileShareNone, LFileCreateAlways, 200);
    if (!file.IsValid()) return result = LNetFailed;
    ReadBodyToFile(result, progress, reader, head, limit, deadline, file);
    file.Close();
    if (result == LNetDone && !LMoveFileRetry(partial.c_str(), path)) result = LNetFailed;
    if (result != LNetDone) LDeleteFileRetry(partial.c_str(), 200);
    return result;
}

LNetOpResult LHttpDownloadToFile(LNetOpResult& result, LTaskProgress& progress, const char* url, const char16_t* path,
                                 const LHttpDownloadLimits& limits) {
    char host[260], urlPath[8];
    LHttpSplitUrl(url, host, urlPath, sizeof urlPath);
    LCryptoSocket conn;
    if (LHttpConnect(result, progress, conn, host, 60000) != LNetDone) return result;
    return LHttpGetToFileRequest(result, progress, conn, url, path, limits);
}

LNetOpResult LHttpsDownloadToFile(LNetOpResult& result, LTaskProgress& progress, const char* url,
                                  const char16_t* path, const LHttpDownloadLimits& limits) {
    char host[260], urlPath[8];
    LHttpSplitUrl(url, host, urlPath, sizeof urlPath);
    LCryptoSocket conn;
    if (LHttpsConnect(result, progress, conn, host, 60000) != LNetDone) return result;
    return LHttpGetToFileRequest(result, progress, conn, url, path, limits);
}

LNetOpResult LHttpSendFormPost(LNetOpResult& result, LTaskProgress& progress, LCryptoSocket& conn, const char* host,
                               const char* path, const char* body) {
    LStringA head;
    size_t n = LTextLength(body);
    LHttpFormatFormPostHead(head, path, host, n);
    if (SendText(result, progress, conn, head, kFormPostTimeout) != LNetDone) return result;
    return conn.Send(result, progress, body, n, kFormPostTimeout);
}

LNetOpResult LPostProblemReportTo(LNetOpResult& result, LTaskProgress& progress, const char* host,
                                  const char* formBody) {
    LCryptoSocket conn;
    if (LHttpConnect(result, progress, conn, host, 23194) != LNetDone) return result;
    LHttpSendFormPost(result, progress, conn, host, "/cgi-bin/report.exe", formBody);
    conn.Close();
    return result;
}

LNetOpResult LPostProblemReport(LNetOpResult& result, LTaskProgress& progress, const char* formBody) {
    return LPostProblemReportTo(result, progress, LHttpProblemReportHost, formBody);
}

LNetOpResult LHttpReadResponse(LNetOpResult& result, LTaskProgress& progress, LCryptoSocket& conn, int& status,
                               LByteBuffer& answer, uint32_t timeoutMs) {
    status = 0;
    answer.SetLength(0);
    LNetReader reader(conn);
    LHttpHead head;
    if (LHttpReadHead(result, progress, reader, head, timeoutMs) != LNetDone) return result;
    if (!LHttpScanStatusLine(head.statusLine.c_str(), &status) || head.framed) return result = LNetFailed;
    // The body too must come within the time-out, counted from its start.
    reader.SetDeadline(LTickCount64() + timeoutMs);
    if (head.lengthKnown) {
        // The peer chose the length: one beyond what the program keeps in
        // memory fails instead of an allocation of that size.
        if (head.length > LHttpMaxBodyInMemory || !answer.Reserve(head.length + 1)) return result = LNetFailed;
        if (reader.ReadExact(result, progress, answer.buffer, head.length, timeoutMs) != LNetDone) return result;
        answer.length = head.length;
        return result;
    }
    constexpr uint64_t kStep = 32768;
    for (;;) {
        if (answer.length + kStep > LHttpMaxBodyInMemory) return result = LNetFailed;
        uint64_t have = answer.length;
        answer.Resize(have + kStep);
        if (answer.length != have + kStep) return result = LNetFailed;
        uint64_t got = 0;
        reader.ReadSome(result, progress, answer.buffer + have, kStep, got, timeoutMs);
        answer.length = have + got;
        if (result == LNetStopped) return result;
        if (result != LNetDone || got == 0) return result = LNetDone;
    }
}

LNetOpResult LHttpPostRequest(LNetOpResult& result, LTaskProgress& progress, LCryptoSocket& conn, const char* host,
                              const char* path, const char* extraHeaders, const void* body, uint64_t length,
                              int& status, LByteBuffer& answer) {
    status = 0;
    LStringA head;
    LHttpFormatPostHead(head, path, host, length, extraHeaders);
    if (SendText(result, progress, conn, head, kPostSendTimeout) != LNetDone) return result;
    if (length && conn.Send(result, progress, body, length, kPostSendTimeout) != LNetDone) return result;
    return LHttpReadResponse(result, progress, conn, status, answer, kPostReadTimeout);
}

LNetOpResult LHttpPost(LNetOpResult& result, LTaskProgress& progress, const char* url, const char* extraHeaders,
                       const void* body, uint64_t length, int& status, LByteBuffer& answer) {
    status = 0;
    char host[260], path[8194];
    LHttpSplitUrl(url, host, path, sizeof path);
    LCryptoSocket conn;
    if (LHttpConnect(result, progress, conn, host, 60000) != LNetDone) return result;
    return LHttpPostRequest(result, progress, conn, host, path, extraHeaders, body, length, status, answer);
}
