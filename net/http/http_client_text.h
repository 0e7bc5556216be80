#pragma once
// The texts of the HTTP/1.0 client as pure code: URL splitting, the request
// heads and the parsing of status and header lines. The connection code in
// http_client.cpp sends and reads them.
#include <cstddef>
#include <cstdint>

#include "foundation/lstring.h"

// Skips everything up to and including the first "//"; the host is the text
// up to the next '/' (at most 259 bytes, an explicit port stays in it), the
// path the rest from that '/' (cut to pathCapacity - 1 bytes; empty when the
// URL has none).
void LHttpSplitUrl(const char* url, char host[260], char* path, size_t pathCapacity);

// The request heads. An empty path is requested as "/": "GET  HTTP/1.0" is
// not a request line any server accepts.
void LHttpFormatGetHead(LStringA& out, const char* path, const char* host);
void LHttpFormatFormPostHead(LStringA& out, const char* path, const char* host, uint64_t bodyLength);
// Extra header lines (each ended by CR LF, or the last one without) may be
// null; only when given is a further CR LF written after them.
void LHttpFormatPostHead(LStringA& out, const char* path, const char* host, uint64_t bodyLength,
                         const char* extraHeaders);
void LHttpFormatUploadHead(LStringA& out, const char* path, const char* host, const char* boundary,
                           uint64_t contentLength);
void LHttpFormatTunnelHead(LStringA& out, const char* targetHost, int port);

// The number after "HTTP/1." and two more characters, up to the next blank;
// 0 when the line does not hold "HTTP/1.".
int LHttpParseStatus(const char* line);
// "HTTP/<d>.<d> <code> ..." as the generic POST and the upload read it.
bool LHttpScanStatusLine(const char* line, int* code);
// A status line of a download: starts with "HTTP" (any case); the code is
// the three characters after the version and a blank.
bool LHttpDownloadStatus(const char* line, int* code);

// A "Content-Length:" line (the name in any case, as header names are),
// then blanks and an unsigned decimal number that fits in 64 bits.
bool LParseContentLength(const char* line, uint64_t* length);

// The largest body the client reads into memory; a larger announced length
// fails the request instead of an allocation the peer chose.
constexpr uint64_t LHttpMaxBodyInMemory = uint64_t(1) << 29;

