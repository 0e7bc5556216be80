#pragma once
// A small HTTP/1.0 client: one fresh connection per request, no keep-alive;
// an answer ends when the server closes or its Content-Length is reached.
// A host that cannot be reached directly is tried through the proxy of the
// environment (proxy_settings.h) with a CONNECT tunnel; HTTPS then runs the
// TLS handshake over it, verifying the target's name. Every operation takes
// the caller's progress and writes its result through the first argument:
// 0 done, 1 stop requested, 2 failed or timed out.
#include <cstddef>
#include <cstdint>

#include "foundation/lstring.h"
#include "foundation/task_progress.h"
#include "net/crypto_socket.h"
#include "net/net_socket.h"

// The bounds of one download: the most bytes its file may hold, and the
// time the whole request may take (on top of each wait's own limit). A
// body past the size fails whatever length the peer announced or left out,
// and a peer that sends slowly without end fails at the deadline.
struct LHttpDownloadLimits {
    uint64_t maxBytes = 0xFFFFFFFFu;
    uint32_t totalMs = 3600000;
};

// Entry points.
LNetOpResult LHttpGetToBuffer(LNetOpResult& result, LTaskProgress& progress, const char* url, char* buffer,
                              size_t size, uint32_t timeoutMs);
LNetOpResult LHttpsGetToBuffer(LNetOpResult& result, LTaskProgress& progress, const char* url, char* buffer,
                               size_t size);
LNetOpResult LHttpDownloadToFile(LNetOpResult& result, LTaskProgress& progress, const char* url, const char16_t* path,
                                 const LHttpDownloadLimits& limits = {});
LNetOpResult LHttpsDownloadToFile(LNetOpResult& result, LTaskProgress& progress, const char* url,
                                  const char16_t* path, const LHttpDownloadLimits& limits = {});
// The answer holds the body only. extraHeaders may be null.
LNetOpResult LHttpPost(LNetOpResult& result, LTaskProgress& progress, const char* url, const char* extraHeaders,
                       const void* body, uint64_t length, int& status, LByteBuffer& answer);
LNetOpResult LPostProblemReport(LNetOpResult& result, LTaskProgress& progress, const char* formBody);
LNetOpResult LHttpUploadCrashDump(LNetOpResult& result, LTaskProgress& progress, const char16_t* path,
                                  const char16_t* formFileName, int& status);

// The maker's endpoints (host[:port]); the two entry points above use them.
extern const char* const LHttpProblemReportHost;
extern const char* const LHttpCrashDumpHost;
LNetOpResult LPostProblemReportTo(LNetOpResult& result, LTaskProgress& progress, const char* host,
                                  const char* formBody);
LNetOpResult LHttpUploadCrashDumpTo(LNetOpResult& result, LTaskProgress& progress, const char* host,
                                    const char16_t* path, const char16_t* formFileName, int& status);

// Building blocks. Plain HTTP uses a record without TLS.
LNetOpResult LHttpConnectDirect(LNetOpResult& result, LTaskProgress& progress, LCryptoSocket& conn,
                                const char* hostText, uint16_t defaultPort, uint32_t timeoutMs);
LNetOpResult LHttpConnect(LNetOpResult& result, LTaskProgress& progress, LCryptoSocket& conn, const char* hostText,
                          uint32_t timeoutMs);
LNetOpResult LHttpsConnect(LNetOpResult& result, LTaskProgress& progress, LCryptoSocket& conn, const char* hostText,
                           uint32_t timeoutMs);
// The CONNECT tunnel through a proxy to the target (its port, or the
// scheme's default); the record's server name stays the target's.
LNetOpResult LHttpProxyConnect(LNetOpResult& result, LTaskProgress& progress, LCryptoSocket& conn,
                               const char* targetHost, uint16_t defaultPort, const char* proxyHost, uint16_t proxyPort,
                               uint32_t timeoutMs);
LNetOpResult LHttpGetRequest(LNetOpResult& result, LTaskProgress& progress, LCryptoSocket& conn, const char* host,
                             const char* path, char* buffer, size_t size, uint32_t sendTimeoutMs,
                             uint32_t waitTimeoutMs);
LNetOpResult LHttpGetToFileRequest(LNetOpResult& result, LTaskProgress& progress, LCryptoSocket& conn,
                                   const char* url, const char16_t* path, const LHttpDownloadLimits& limits = {});
LNetOpResult LHttpSendFormPost(LNetOpResult& result, LTaskProgress& progress, LCryptoSocket& conn, const char* host,
                               const char* path, const char* body);
LNetOpResult LHttpPostRequest(LNetOpResult& result, LTaskProgress& progress, LCryptoSocket& conn, const char* host,
                              const char* path, const char* extraHeaders, const void* body, uint64_t length,
                              int& status, LByteBuffer& answer);
LNetOpResult LHttpReadResponse(LNetOpResult& result, LTaskProgress& progress, LCryptoSocket& conn, int& status,
                               LByteBuffer& answer, uint32_t timeoutMs);
