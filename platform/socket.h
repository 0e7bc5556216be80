#pragma once
// Raw IPv4 TCP sockets for the network layer above: non-blocking sockets,
// single-step waits with poll() and sends that never raise SIGPIPE. Every
// blocking decision (time budgets, stop requests) belongs to the caller.
#include <cstddef>
#include <cstdint>

using LSocket = int;
constexpr LSocket LInvalidSocket = -1;

// Creates a non-blocking IPv4 stream socket with the given buffer sizes
// (0 keeps the system's). LInvalidSocket on failure.
LSocket LPlatformSocketCreate(int send_buffer, int receive_buffer);
void LPlatformSocketClose(LSocket s);

// Starts a connect to an address and port, both in network byte order:
// 0 connected, 1 in progress (wait with LPlatformSocketWaitConnected), 2 failed.
int LPlatformSocketConnectStart(LSocket s, uint32_t address, uint16_t port);
// One wait for a pending connect: 1 connected, 0 still pending after ms,
// -1 the connect failed (SO_ERROR) or the wait failed.
int LPlatformSocketWaitConnected(LSocket s, int ms);

// One wait step: 1 ready (or the socket has an error or hang-up that the
// next call reports), 0 not ready after ms, -1 the wait itself failed.
int LPlatformSocketWaitReadable(LSocket s, int ms);
int LPlatformSocketWaitWritable(LSocket s, int ms);

// Results of the transfer calls below, besides a count of bytes.
constexpr long LSocketWouldBlock = -1;
constexpr long LSocketError = -2;
// Sends what the socket takes now (MSG_NOSIGNAL): bytes sent, or
// LSocketWouldBlock, or LSocketError.
long LPlatformSocketSend(LSocket s, const void* data, size_t n);
// One recv: bytes received (0 = the peer closed), LSocketWouldBlock or
// LSocketError. With peek the bytes stay queued.
long LPlatformSocketReceive(LSocket s, void* buffer, size_t n, bool peek);

// SIGPIPE is ignored for the whole process (writes to a closed peer then
// fail with EPIPE); done once, safe to call from any thread.
void LPlatformIgnoreSigpipe();

// Listening side, for the web server and tests: a non-blocking socket bound
// to address:port (network order; port 0 picks a free one) with SO_REUSEADDR.
LSocket LPlatformSocketListen(uint32_t address, uint16_t port, int backlog);
// The bound port of a socket, network order; 0 on failure.
uint16_t LPlatformSocketLocalPort(LSocket s);
// Accepts one pending connection as a non-blocking socket with the given
// buffer sizes; the peer's address and port in network order. LInvalidSocket
// when none is pending or on failure.
LSocket LPlatformSocketAccept(LSocket listener, uint32_t* peer_address, uint16_t* peer_port, int send_buffer,
                              int receive_buffer);

// Owns one socket and closes it when it goes.
class LOwnedSocket {
public:
    LOwnedSocket() = default;
    explicit LOwnedSocket(LSocket s) : s_(s) {}
    ~LOwnedSocket() { Reset(); }
    LOwnedSocket(const LOwnedSocket&) = delete;
    LOwnedSocket& operator=(const LOwnedSocket&) = delete;
    LOwnedSocket(LOwnedSocket&& o) noexcept : s_(o.Release()) {}
    LOwnedSocket& operator=(LOwnedSocket&& o) noexcept {
        if (this != &o) Reset(o.Release());
        return *this;
    }
    LSocket Get() const { return s_; }
    LSocket Release() {
        LSocket s = s_;
        s_ = LInvalidSocket;
        return s;
    }
    void Reset(LSocket s = LInvalidSocket) {
        if (s_ != LInvalidSocket) LPlatformSocketClose(s_);
        s_ = s;
    }

private:
    LSocket s_ = LInvalidSocket;
};
