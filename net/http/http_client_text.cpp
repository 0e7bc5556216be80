#include "net/http/http_client_text.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

void LHttpSplitUrl(const char* url, char host[260], char* path, size_t pathCapacity) {
    host[0] = 0;
    if (pathCapacity) path[0] = 0;
    if (!url) return;
    const char* p = std::strstr(url, "//");
    p = p ? p + 2 : url;
    size_t n = 0;
    while (p[n] && p[n] != '/') ++n;
    size_t hn = n < 259 ? n : 259;
    std::memcpy(host, p, hn);
    host[hn] = 0;
    if (!pathCapacity) return;
    const char* rest = p + n;
    size_t rn = std::strlen(rest);
    if (rn > pathCapacity - 1) rn = pathCapacity - 1;
    std::memcpy(path, rest, rn);
    path[rn] = 0;
}

static const char* RequestPath(const char* path) { return path && *path ? path : "/"; }

void LHttpFormatGetHead(LStringA& out, const char* path, const char* host) {
    out.Format("GET %s HTTP/1.0\r\nHost: %s\r\n\r\n", RequestPath(path), host);
}

void LHttpFormatFormPostHead(LStringA& out, const char* path, const char* host, uint64_t bodyLength) {
    out.Format(
        "POST %s HTTP/1.0\r\nHost: %s\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: "
        "%I64u\r\n\r\n",
        RequestPath(path), host, bodyLength);
}

void LHttpFormatPostHead(LStringA& out, const char* path, const char* host, uint64_t bodyLength,
                         const char* extraHeaders) {
    bool extra = extraHeaders && *extraHeaders;
    out.Format("%s %s HTTP/1.0\r\nHost: %s\r\nContent-Length: %I64u\r\n%s%s\r\n", "POST", RequestPath(path), host,
               bodyLength, extra ? extraHeaders : "", extra ? "\r\n" : "");
}

void LHttpFormatUploadHead(LStringA& out, const char* path, const char* host, const char* boundary,
                           uint64_t contentLength) {
    out.Format(
        "POST %s HTTP/1.0\r\nHost: %s\r\nContent-Type: multipart/form-data; boundary=%s\r\nContent-Length: "
        "%I64u\r\n\r\n",
        RequestPath(path), host, boundary, contentLength);
}

void LHttpFormatTunnelHead(LStringA& out, const char* targetHost, int port) {
    out.Format("CONNECT %s:%d HTTP/1.0\r\n\r\n", targetHost, port);
}

int LHttpParseStatus(const char* line) {
    const char* p = line ? std::strstr(line, "HTTP/1.") : nullptr;
    if (!p) return 0;
    p += 7;
    for (int i = 0; i < 2 && *p; ++i) ++p;
    int code = 0;
    while (*p >= '0' && *p <= '9' && code < 100000) code = code * 10 + (*p++ - '0');
    return code;
}

bool LHttpScanStatusLine(const char* line, int* code) {
    *code = 0;
    return line && std::sscanf(line, "HTTP/%*d.%*d %d %*s", code) == 1;
}

bool LHttpDownloadStatus(const char* line, int* code) {
    *code = 0;
    if (!line || strncasecmp(line, "HTTP", 4) != 0 || std::strlen(line) < 12) return false;
    for (int i = 9; i < 12; ++i) {
        if (line[i] < '0' || line[i] > '9') return false;
        *code = *code * 10 + (line[i] - '0');
    }
    return true;
}

bool LParseContentLength(const char* line, uint64_t* length) {
    static const char name[] = "Content-Length:";
    if (!line || strncasecmp(line, name, sizeof name - 1) != 0) return false;
    const char* p = line + sizeof name - 1;
    while (*p == ' ' || *p == '\t') ++p;
    if (*p < '0' || *p > '9') return false;
    uint64_t v = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        uint64_t digit = uint64_t(*p - '0');
        if (v > (UINT64_MAX - digit) / 10) return false;
        v = v * 10 + digit;
    }
    while (*p == ' ' || *p == '\t' || *p == '\r') ++p;
    if (*p) return false;
    *length = v;
    return true;
}

