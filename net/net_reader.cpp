#include "net/net_reader.h"

#include <cstring>
#include <new>

#include "foundation/time_source.h"

void LNetReader::Reset() {
    start_ = end_ = 0;
    deadline_ = 0;
    overlong_ = false;
}

uint32_t LNetReader::WaitAllowed(uint32_t timeoutMs) const {
    if (!deadline_) return timeoutMs;
    uint64_t now = LTickCount64();
    if (now >= deadline_) return 0;
    return deadline_ - now < timeoutMs ? static_cast<uint32_t>(deadline_ - now) : timeoutMs;
}

LNetOpResult LNetReader::Fill(LNetOpResult& result, LTaskProgress& progress, uint32_t timeoutMs) {
    if (!buffer_) {
        buffer_.reset(new (std::nothrow) char[kSize]);
        if (!buffer_) return result = LNetFailed;
    }
    if (start_ == end_) {
        start_ = end_ = 0;
    } else if (end_ == kSize) {
        std::memmove(buffer_.get(), buffer_.get() + start_, end_ - start_);
        end_ -= start_;
        start_ = 0;
    }
    uint32_t wait = WaitAllowed(timeoutMs);
    if (wait == 0) return result = LNetFailed;
    uint64_t got = 0;
    if (conn_.Receive(result, progress, buffer_.get() + end_, kSize - end_, got, wait) != LNetDone) return result;
    if (got == 0) return result = LNetFailed;
    end_ += got;
    return result;
}

LNetOpResult LNetReader::ReadLine(LNetOpResult& result, LTaskProgress& progress, LStringA& line, uint64_t maxLength,
                                  uint32_t timeoutMs) {
    line.Clear();
    overlong_ = false;
    for (;;) {
        const char* from = buffer_ ? buffer_.get() + start_ : nullptr;
        const uint64_t held = end_ - start_;
        const char* lf = held ? static_cast<const char*>(std::memchr(from, '\n', held)) : nullptr;
        const uint64_t take = lf ? static_cast<uint64_t>(lf - from) : held;
        // The buffer bounds what one step appends; a CR may still turn out
        // to belong to the line's end.
        if (take) line.AppendBytes(from, take);
        if (lf) {
            start_ += take + 1;
            if (line.length && line.buffer[line.length - 1] == '\r') line.Truncate(line.length - 1);
        } else {
            start_ = end_;
        }
        if (line.length > maxLength + (lf ? 0 : 1)) {
            overlong_ = true;
            line.Clear();
            line.Terminate();
            return result = LNetFailed;
        }
        if (lf) {
            line.Terminate();
            return result = LNetDone;
        }
        if (Fill(result, progress, timeoutMs) != LNetDone) {
            line.Terminate();
            return result;
        }
    }
}

LNetOpResult LNetReader::ReadExact(LNetOpResult& result, LTaskProgress& progress, void* buffer, uint64_t n,
                                   uint32_t timeoutMs) {
    uint8_t* to = static_cast<uint8_t*>(buffer);
    uint64_t have = n < Buffered() ? n : Buffered();
    if (have) {
        std::memcpy(to, buffer_.get() + start_, have);
        start_ += have;
    }
    // The rest goes straight into the caller's buffer, a record at a time.
    result = LNetDone;
    while (have < n) {
        uint32_t wait = WaitAllowed(timeoutMs);
        if (wait == 0) return result = LNetFailed;
        uint64_t got = 0;
        if (conn_.Receive(result, progress, to + have, n - have, got, wait) != LNetDone) return result;
        if (got == 0) return result = LNetFailed;
        have += got;
    }
    return result;
}

LNetOpResult LNetReader::ReadSome(LNetOpResult& result, LTaskProgress& progress, void* buffer, uint64_t n,
                                  uint64_t& got, uint32_t timeoutMs) {
    got = 0;
    if (n == 0) return result = LNetDone;
    if (Buffered() == 0) {
        uint32_t wait = WaitAllowed(timeoutMs);
        if (wait == 0) return result = LNetFailed;
        if (conn_.Receive(result, progress, buffer, n, got, wait) != LNetDone) return result;
        return result = got ? LNetDone : LNetFailed;
    }
    got = n < Buffered() ? n : Buffered();
    std::memcpy(buffer, buffer_.get() + start_, got);
    start_ += got;
    return result = LNetDone;
}
