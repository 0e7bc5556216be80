#pragma once
// The pure rules of static files: content types, cache validators and
// byte ranges. static_file.cpp applies them to files and sockets.
#include <cstdint>

// The content type of a file name by its extension (lower-cased, exact);
// max-age in seconds and whether it may be shown inline.
const char* LWebletContentType(const char16_t* file_name, int* max_age, bool* is_inline);

// ETag (without quotes) and Last-Modified of a file's last-write time
// (seconds since 1970) and size. Each output holds 64 bytes.
void LWebletMakeValidators(int64_t mtime, uint64_t size, char last_modified[64], char etag[64]);
// True when the body must be sent; false when the client's copy is current:
// If-None-Match holds the ETag, or else If-Modified-Since equals
// Last-Modified ignoring case. Null headers count as empty.
bool LWebletFileValidators(int64_t mtime, uint64_t size, const char16_t* if_none_match,
                           const char16_t* if_modified_since, char last_modified[64], char etag[64]);

enum class LWebRangeResult {
    Ignore,         // no range, or one this server cannot read: send it all
    Partial,        // send bytes first..last
    Unsatisfiable,  // 416
};
// The first range of a "bytes=first-last" header over a file of `length`
// bytes. A range on an empty file can never be satisfied.
LWebRangeResult LWebParseRange(const char16_t* range, uint64_t length, uint64_t* first, uint64_t* last);

// True when Accept-Encoding lists the token "gzip" itself (lower case, as
// browsers send it) without a zero quality; "x-gzip" or "gzipped" do not count.
bool LWebAcceptsGzip(const char16_t* accept_encoding);
