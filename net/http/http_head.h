#pragma once
// The head of an HTTP answer (status line and header lines) read under
// bounds a hostile server cannot stretch: each line at most LHttpMaxLine
// bytes, at most LHttpMaxHeaderLines header lines, and the whole head within
// one time-out however steadily the bytes trickle in.
#include <cstdint>

#include "foundation/lstring.h"
#include "foundation/task_progress.h"
#include "net/net_reader.h"

constexpr uint64_t LHttpMaxLine = 16384;
constexpr uint32_t LHttpMaxHeaderLines = 100;

struct LHttpHead {
    LStringA statusLine;
    // The first Content-Length line that parses.
    bool lengthKnown = false;
    uint64_t length = 0;
    // A Transfer-Encoding other than identity: the body is framed, and this
    // HTTP/1.0 client does not take it apart.
    bool framed = false;
};

// Reads the status line and the header lines up to the empty line, all
// within timeoutMs; 2 when a bound is passed or the peer closes first.
LNetOpResult LHttpReadHead(LNetOpResult& result, LTaskProgress& progress, LNetReader& reader, LHttpHead& head,
                           uint32_t timeoutMs);
