#include "net/net_socket.h"

#include <endian.h>

#include <algorithm>
#include <cstring>

void LBoundedBuffer::Append(const void* p, uint64_t n) {
    uint64_t room = capacity > length ? capacity - length : 0;
    uint64_t k = std::min(room, n);
    if (k) std::memcpy(data + length, p, k);
    length += k;
}

LNetOpResult LNetConnect(LNetOpResult& result, LTaskProgress& progress, LSocket& sock,
                         const LNetSocketAddress& address, uint32_t timeout_ms) {
    LPlatformSocketClose(sock);
    sock = LInvalidSocket;
    result = LNetStopped;
    if (progress.IsStopRequested()) return result;
    result = LNetFailed;
    sock = LPlatformSocketCreate(LNetSendBufferSize, LNetReceiveBufferSize);
    if (sock == LInvalidSocket) return result;
    if (address.address != 0xFFFFFFFFu) {
        int start = LPlatformSocketConnectStart(sock, address.address, address.port);
        if (start == 0) {
            result = LNetDone;
        } else if (start == 1) {
            int64_t remaining = timeout_ms;
            for (;;) {
                int r = LPlatformSocketWaitConnected(sock, LNetWaitStep);
                if (r > 0) {
                    result = LNetDone;
                    break;
                }
                if (r < 0) break;
                if (progress.IsStopRequested()) {
                    result = LNetStopped;
                    break;
                }
                remaining -= LNetWaitStep;
                if (remaining <= 0) break;
            }
        }
    }
    if (result != LNetDone) {
        LPlatformSocketClose(sock);
        sock = LInvalidSocket;
    }
    return result;
}

LNetOpResult LNetConnectAny(LNetOpResult& result, LTaskProgress& progress, LSocket& sock,
                            const LNetAddressList& list, uint32_t timeout_ms) {
    result = LNetFailed;
    uint64_t n = std::min<uint64_t>(list.count, LNetMaxAddresses);
    for (uint64_t i = 0; i < n; ++i) {
        LNetSocketAddress a;
        a.port = htobe16(list.port);
        a.address = list.addresses[i];
        if (LNetConnect(result, progress, sock, a, timeout_ms) != LNetFailed) return result;
    }
    return result;
}

LNetOpResult LNetSendAll(LNetOpResult& result, LTaskProgress& progress, LSocket sock, const void* data, uint64_t n,
                         uint32_t timeout_ms) {
    result = LNetStopped;
    if (progress.IsStopRequested()) return result;
    const uint8_t* p = static_cast<const uint8_t*>(data);
    int64_t remaining = timeout_ms;
    for (;;) {
        if (n == 0) return result = LNetDone;
        long sent = sock == LInvalidSocket ? LSocketError : LPlatformSocketSend(sock, p, n);
        if (sent > 0) {
            p += sent;
            n -= static_cast<uint64_t>(sent);
            continue;
        }
        if (sent == LSocketError) return result = LNetFailed;
        int r = LPlatformSocketWaitWritable(sock, LNetWaitStep);
        if (r < 0) return result = LNetFailed;
        if (r == 0) {
            if (remaining <= LNetWaitStep) return result = LNetFailed;
            remaining -= LNetWaitStep;
        }
        if (progress.IsStopRequested()) return result = LNetStopped;
    }
}

LNetOpResult LNetWaitReadable(LNetOpResult& result, LTaskProgress& progress, LSocket sock, uint32_t timeout_ms) {
    int64_t remaining = timeout_ms;
    for (;;) {
        if (progress.IsStopRequested()) return result = LNetStopped;
        if (sock == LInvalidSocket) return result = LNetFailed;
        // A failing wait counts as ready: the recv that follows reports it.
        if (LPlatformSocketWaitReadable(sock, LNetWaitStep) != 0) return result = LNetDone;
        remaining -= LNetWaitStep;
        if (remaining <= 0) return result = LNetFailed;
    }
}

LNetOpResult LNetReceive(LNetOpResult& result, LTaskProgress& progress, LSocket sock, void* buffer, uint64_t size,
                         uint64_t& count, uint32_t timeout_ms) {
    count = 0;
    if (size == 0) return result = LNetDone;
    for (;;) {
        if (LNetWaitReadable(result, progress, sock, timeout_ms) != LNetDone) return result;
        long got = LPlatformSocketReceive(sock, buffer, size, false);
        // Readiness can be spurious (a checksum failure drops the segment);
        // wait again rather than call it a failure.
        if (got == LSocketWouldBlock) continue;
        if (got <= 0) return result = LNetFailed;
        count = static_cast<uint64_t>(got);
        return result = LNetDone;
    }
}

LNetOpResult LNetReceiveExact(LNetOpResult& result, LTaskProgress& progress, LSocket sock, void* buffer, uint64_t n,
                              uint64_t& total, uint32_t timeout_ms) {
    total = 0;
    result = LNetDone;
    while (total < n) {
        uint64_t got = 0;
        if (LNetReceive(result, progress, sock, static_cast<uint8_t*>(buffer) + total, n - total, got, timeout_ms) !=
            LNetDone)
            return result;
        total += got;
    }
    return result;
}

LNetOpResult LNetReceiveLinePeek(LNetOpResult& result, LTaskProgress& progress, LSocket sock, uint8_t* buffer,
                                 uint64_t& count, uint32_t timeout_ms) {
    count = 0;
    for (;;) {
        if (LNetWaitReadable(result, progress, sock, timeout_ms) != LNetDone) return result;
        long got = LPlatformSocketReceive(sock, buffer, LNetLinePeekSize, true);
        if (got == LSocketWouldBlock) continue;
        if (got <= 0) return result = LNetFailed;
        const void* lf = std::memchr(buffer, '\n', static_cast<size_t>(got));
        size_t take = lf ? static_cast<size_t>(static_cast<const uint8_t*>(lf) - buffer) + 1 : static_cast<size_t>(got);
        // The peeked bytes are queued, so this takes exactly them.
        long taken = LPlatformSocketReceive(sock, buffer, take, false);
        if (taken <= 0) return result = LNetFailed;
        count = static_cast<uint64_t>(taken);
        return result = LNetDone;
    }
}

namespace {

template <class Append>
LNetOpResult ReceiveLine(LNetOpResult& result, LTaskProgress& progress, LSocket sock, uint32_t timeout_ms,
                         Append append) {
    uint8_t piece[LNetLinePeekSize];
    bool any = false;
    // A CR that ends a piece may be the first half of a CR LF split between
    // two pieces: it is kept back until the next byte shows which.
    bool held_cr = false;
    for (;;) {
        uint64_t n = 0;
        LNetReceiveLinePeek(result, progress, sock, piece, n, timeout_ms);
        if (result == LNetStopped) return result;
        if (result == LNetFailed) {
            if (held_cr) append(reinterpret_cast<const uint8_t*>("\r"), 1);
            return result = any ? LNetDone : LNetFailed;
        }
        any = true;
        const uint8_t* p = piece;
        if (held_cr) {
            held_cr = false;
            if (piece[0] != '\n') append(reinterpret_cast<const uint8_t*>("\r"), 1);
        }
        bool complete = false;
        if (n && p[n - 1] == '\n') {
            --n;
            complete = true;
            if (n && p[n - 1] == '\r') --n;
        } else if (n && p[n - 1] == '\r') {
            --n;
            held_cr = true;
        }
        append(p, n);
        if (complete) return result = LNetDone;
    }
}

}  // namespace

LNetOpResult LNetReceiveLine(LNetOpResult& result, LTaskProgress& progress, LSocket sock, LBoundedBuffer& line,
                             uint32_t timeout_ms) {
    return ReceiveLine(result, progress, sock, timeout_ms,
                       [&](const uint8_t* p, uint64_t n) { line.Append(p, n); });
}

LNetOpResult LNetReceiveLineGrow(LNetOpResult& result, LTaskProgress& progress, LSocket sock, LStringA& line,
                                 uint32_t timeout_ms) {
    return ReceiveLine(result, progress, sock, timeout_ms, [&](const uint8_t* p, uint64_t n) {
        if (n) line.AppendBytes(p, n);
        line.Terminate();
    });
}
