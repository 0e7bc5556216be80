#include "web/http/request_reader.h"

#include "foundation/time_source.h"

#include <algorithm>
#include <cstring>

uint64_t LWebTickMs() {
    return LTickCount64();
}

uint32_t LWebConnectionReader::Fill(uint32_t timeout_ms) {
    if (start_ == end_) start_ = end_ = 0;
    if (end_ == sizeof buffer_ && start_ > 0) {
        std::memmove(buffer_, buffer_ + start_, end_ - start_);
        end_ -= start_;
        start_ = 0;
    }
    if (end_ == sizeof buffer_) return 2;
    size_t got = 0;
    uint32_t r = source_.ReceiveSome(buffer_ + end_, sizeof buffer_ - end_, &got, timeout_ms);
    if (r != 0) return r;
    if (got == 0) return 2;
    end_ += got;
    return 0;
}

LWebLineResult LWebConnectionReader::ReadLine(LStringA& out, size_t max_bytes, uint64_t deadline_ms) {
    out.Clear();
    // The limit counts the line's text; its CR LF may come on top.
    size_t taken = 0;
    for (;;) {
        const uint8_t* p = buffer_ + start_;
        size_t avail = end_ - start_;
        const void* lf = std::memchr(p, '\n', avail);
        size_t n = lf ? static_cast<size_t>(static_cast<const uint8_t*>(lf) - p) : avail;
        if (taken + n > max_bytes + 1) return LWebLineResult::TooLong;
        out.AppendN(reinterpret_cast<const char*>(p), n);
        taken += n;
        if (lf) {
            start_ += n + 1;
            if (out.length > 0 && out.buffer[out.length - 1] == '\r') out.Truncate(out.length - 1);
            if (out.length > max_bytes) return LWebLineResult::TooLong;
            return LWebLineResult::Ok;
        }
        start_ = end_;
        uint64_t now = LWebTickMs();
        if (now >= deadline_ms) return LWebLineResult::Failed;
        uint64_t left = deadline_ms - now;
        if (Fill(static_cast<uint32_t>(std::min<uint64_t>(left, 0xFFFFFFF0u))) != 0) return LWebLineResult::Failed;
    }
}

uint32_t LWebConnectionReader::ReadExact(LByteBuffer& out, size_t n, uint32_t timeout_ms) {
    while (n > 0) {
        if (start_ == end_) {
            uint32_t r = Fill(timeout_ms);
            if (r != 0) return r;
        }
        size_t take = std::min(n, end_ - start_);
        if (!out.Append(buffer_ + start_, take)) return 2;
        start_ += take;
        n -= take;
    }
    return 0;
}

void LWebConnectionReader::ReadUntilClosed(LByteBuffer& out, size_t max_bytes, uint32_t timeout_ms,
                                           bool* over_limit) {
    *over_limit = false;
    for (;;) {
        if (start_ == end_ && Fill(timeout_ms) != 0) return;
        size_t take = end_ - start_;
        if (out.length + take > max_bytes) {
            *over_limit = true;
            return;
        }
        if (!out.Append(buffer_ + start_, take)) return;
        start_ = end_;
    }
}

bool LWebConnectionReader::Discard(uint64_t n, uint32_t budget_ms) {
    uint64_t deadline = LWebTickMs() + budget_ms;
    while (n > 0) {
        if (start_ == end_) {
            uint64_t now = LWebTickMs();
            if (now >= deadline) return false;
            if (Fill(static_cast<uint32_t>(deadline - now)) != 0) return false;
        }
        size_t take = static_cast<size_t>(std::min<uint64_t>(n, end_ - start_));
        start_ += take;
        n -= take;
    }
    return true;
}
