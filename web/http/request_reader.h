#pragma once
// The bytes of one connection as the request loop sees them: a read-ahead
// buffer in front of the socket (plain or TLS), from which request lines,
// header lines and bodies are taken with hard bounds. Nothing here grows
// with what a peer sends: a line is refused once it passes its limit, a head
// once it passes its size, line count or deadline.
#include <cstddef>
#include <cstdint>

#include "foundation/lstring.h"

// Where the bytes come from. Results as every network operation: 0 done
// (count > 0), 1 stop requested, 2 failed, timed out or closed by the peer.
class LWebByteSource {
public:
    virtual ~LWebByteSource() = default;
    virtual uint32_t ReceiveSome(void* buffer, size_t n, size_t* count, uint32_t timeout_ms) = 0;
    // Bytes already received by the transport but not yet handed out (the
    // rest of a decrypted TLS record).
    virtual size_t HeldBytes() { return 0; }
};

// Bounds of a request head.
constexpr size_t LWebMaxLineBytes = 8192;       // one request or header line
constexpr size_t LWebMaxHeadBytes = 65536;      // every header line together
constexpr uint32_t LWebMaxHeaderLines = 100;
constexpr uint32_t LWebRequestLineTimeoutMs = 30000;
constexpr uint32_t LWebHeadersTimeoutMs = 20000;  // all header lines together
// Bodies.
constexpr int64_t LWebMaxBodyBytes = 3000000;

enum class LWebLineResult {
    Ok,        // a line without its CR LF
    TooLong,   // the line passed its limit before its end arrived
    Failed,    // time-out, stop, receive failure or closed connection
};

// Milliseconds of the monotonic clock.
uint64_t LWebTickMs();

class LWebConnectionReader {
public:
    explicit LWebConnectionReader(LWebByteSource& source) : source_(source) {}
    LWebConnectionReader(const LWebConnectionReader&) = delete;
    LWebConnectionReader& operator=(const LWebConnectionReader&) = delete;

    // One line ended by LF (a CR before it is dropped), at most max_bytes
    // long, to arrive before the deadline (LWebTickMs value).
    LWebLineResult ReadLine(LStringA& out, size_t max_bytes, uint64_t deadline_ms);
    // Exactly n bytes (appended to out); each wait may last timeout_ms. 0, 1
    // or 2 as the byte source.
    uint32_t ReadExact(LByteBuffer& out, size_t n, uint32_t timeout_ms);
    // Up to max_bytes until the peer ends its side or stays quiet for
    // timeout_ms; sets over_limit when more than max_bytes arrived.
    void ReadUntilClosed(LByteBuffer& out, size_t max_bytes, uint32_t timeout_ms, bool* over_limit);
    // Reads and drops n bytes within one overall budget; true when all came.
    bool Discard(uint64_t n, uint32_t budget_ms);
    // Bytes already here that belong to whatever follows the current request.
    size_t Buffered() const { return end_ - start_; }
    bool HasPendingBytes() { return Buffered() > 0 || source_.HeldBytes() > 0; }

private:
    uint32_t Fill(uint32_t timeout_ms);
    LWebByteSource& source_;
    uint8_t buffer_[16384];
    size_t start_ = 0;
    size_t end_ = 0;
};
