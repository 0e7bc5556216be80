// The multipart upload of one file (the crash dump) to the maker's endpoint.
#include "foundation/files.h"
#include "foundation/time_source.h"
#include "foundation/utf8.h"
#include "net/http/http_client.h"
#include "net/http/http_client_text.h"
#include "net/http/http_head.h"

namespace {

constexpr const char* kBoundary = "Tq7Rm3Yb4Al9Wp8Hg2Co1Bj5Nv6";
constexpr uint32_t kUploadTimeout = 60000;

}  // namespace

LNetOpResult LHttpUploadCrashDumpTo(LNetOpResult& result, LTaskProgress& progress, const char* host,
                                    const char16_t* path, const char16_t* formFileName, int& status) {
    status = 0;
    if (progress.IsStopRequested()) return result = LNetStopped;
    LFileHandle file = LCreateFileRetry(path, LFileAccessRead, LFileShareRead, LFileOpenExisting, 0);
    if (!file.IsValid()) return result = LNetFailed;
    int64_t size = file.Size();
    if (size < 0) return result = LNetFailed;
    if (progress.IsStopRequested()) return result = LNetStopped;
    LCryptoSocket conn;
    if (LHttpConnect(result, progress, conn, host, kUploadTimeout) != LNetDone) return result;

    // The name goes inside a quoted parameter: quotes and line ends of its
    // own would end the parameter or the header early.
    LStringA name;
    for (char c : LToUtf8(formFileName))
        if (c != '"' && c != '\r' && c != '\n') name.AppendChar(c);
    LStringA part;
    part.Format("--%s\r\nContent-Disposition: form-data; name=\"file\"; filename=\"%s\"\r\nContent-Type: %s\r\n\r\n",
                kBoundary, name.c_str(), "application/octet-stream");
    LStringA closing;
    closing.Format("\r\n--%s--\r\n", kBoundary);
    uint64_t total = part.length + uint64_t(size) + closing.length;
    if (total >= 0xFFFFFFFFu) return result = LNetFailed;

    LStringA head;
    LHttpFormatUploadHead(head, "/minidumpupload", host, kBoundary, total);
    if (conn.Send(result, progress, head.c_str(), head.length, kUploadTimeout) != LNetDone) return result;
    if (conn.Send(result, progress, part.c_str(), part.length, kUploadTimeout) != LNetDone) return result;
    char piece[4096];
    for (int64_t sent = 0; sent < size;) {
        if (progress.IsStopRequested()) return result = LNetStopped;
        uint32_t want = uint32_t(size - sent < int64_t(sizeof piece) ? size - sent : int64_t(sizeof piece));
        uint32_t got = 0;
        if (!file.Read(piece, want, &got) || got != want) return result = LNetFailed;
        if (conn.Send(result, progress, piece, got, kUploadTimeout) != LNetDone) return result;
        sent += got;
        progress.SetProgress(double(sent) / double(size));
    }
    if (conn.Send(result, progress, closing.c_str(), closing.length, kUploadTimeout) != LNetDone) return result;
    // Only the status line is read.
    LNetReader reader(conn);
    LStringA line;
    reader.SetDeadline(LTickCount64() + 30000);
    if (reader.ReadLine(result, progress, line, LHttpMaxLine, 30000) != LNetDone) return result;
    if (!LHttpScanStatusLine(line.c_str(), &status)) return result = LNetFailed;
    conn.Close();
    return result = LNetDone;
}

LNetOpResult LHttpUploadCrashDump(LNetOpResult& result, LTaskProgress& progress, const char16_t* path,
                                  const char16_t* formFileName, int& status) {
    return LHttpUploadCrashDumpTo(result, progress, LHttpCrashDumpHost, path, formFileName, status);
}
