#pragma once
// Pure rules of the request head: the request line, header lines, the
// body length, keep-alive and the bot grey list. The request loop
// (connection_thread.cpp) applies them to the bytes of a connection.
#include <cstdint>

#include "foundation/lstring.h"

struct LWebRequestLine {
    char method[260];  // bytes above space, at most 259 kept
    LStringA target;   // the request target exactly as received
    double version = 0;
};

// Splits "METHOD TARGET HTTP/x.y". Never fails: missing parts stay empty.
void LWebParseRequestLine(const char* line, LWebRequestLine* out);

// "Name: value" of one header line (already UTF-16): the name runs up to
// ":" (at most 259 units), characters up to space after it are skipped and
// the value is the rest of the line.
void LWebSplitHeaderLine(const char16_t* line, LString& name, LString& value);

enum class LWebBodyLength {
    None,     // no Content-Length and no Transfer-Encoding
    Length,   // a plain decimal Content-Length
    Invalid,  // empty, signed, garbage, overflowing or a transfer coding
};
// Classifies the body length of a request from its two headers (null when
// missing). Chunked or any other transfer coding is refused: this server
// never reads one, and guessing a length there is how requests get smuggled
// on a kept-alive connection.
LWebBodyLength LWebParseBodyLength(const char16_t* content_length, const char16_t* transfer_encoding,
                                   int64_t* length);

// HTTP/1.1 or later without "close" (exact lower case) in Connection.
bool LWebKeepAlive(double version, const char16_t* connection);

// The grey list of paths that only vulnerability scanners ask for.
extern const char16_t* const gszaWebletURLPathGreyList[24];
// A probe: a grey-listed path, a ".php" extension (any case) or "/php/".
bool LWebIsBotProbe(const char16_t* path);

// The extension of the last path element, with its dot; empty when none.
const char16_t* LWebPathExtension(const char16_t* path);
