#pragma once
// A buffered reader over one connection record, for the protocol clients
// that read lines and then exact byte counts (IMAP replies and literals,
// HTTP heads and bodies). It asks the record for as much as it holds, so a
// TLS record is taken in one call, and it bounds what a peer can make it
// hold: a line longer than the caller's limit fails, and an optional
// deadline ends every read once it has passed, however steadily the peer
// trickles.
#include <cstdint>
#include <memory>

#include "foundation/lstring.h"
#include "foundation/task_progress.h"
#include "net/crypto_socket.h"

class LNetReader {
public:
    explicit LNetReader(LCryptoSocket& connection) : conn_(connection) {}
    LNetReader(const LNetReader&) = delete;
    LNetReader& operator=(const LNetReader&) = delete;

    // Forgets what is buffered (the connection was closed or replaced) and
    // the deadline.
    void Reset();
    // Bytes received and not yet handed out.
    uint64_t Buffered() const { return end_ - start_; }
    // Reads fail with 2 once the millisecond tick passes this (0: never).
    void SetDeadline(uint64_t tick) { deadline_ = tick; }
    // The last ReadLine failed because the line ran past its limit.
    bool Overlong() const { return overlong_; }

    // One line without its end (LF, or CR LF). More than maxLength bytes
    // without a line end fail with 2 and Overlong(). Each wait for the peer
    // is timeoutMs at most.
    LNetOpResult ReadLine(LNetOpResult& result, LTaskProgress& progress, LStringA& line, uint64_t maxLength,
                          uint32_t timeoutMs);
    // Exactly n bytes.
    LNetOpResult ReadExact(LNetOpResult& result, LTaskProgress& progress, void* buffer, uint64_t n,
                           uint32_t timeoutMs);
    // Between 1 and n bytes: buffered ones first, else one receive. A peer
    // that closes gives 2.
    LNetOpResult ReadSome(LNetOpResult& result, LTaskProgress& progress, void* buffer, uint64_t n, uint64_t& got,
                          uint32_t timeoutMs);

private:
    // Receives more into the buffer (after the bytes it holds).
    LNetOpResult Fill(LNetOpResult& result, LTaskProgress& progress, uint32_t timeoutMs);
    // The wait allowed now: the time-out, cut at the deadline; 0 when passed.
    uint32_t WaitAllowed(uint32_t timeoutMs) const;

    static constexpr uint64_t kSize = 65536;
    LCryptoSocket& conn_;
    std::unique_ptr<char[]> buffer_;
    uint64_t start_ = 0;
    uint64_t end_ = 0;
    uint64_t deadline_ = 0;
    bool overlong_ = false;
};
