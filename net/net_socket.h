#pragma once
// The plain TCP layer under every network conversation: connect, send,
// receive and line reads on non-blocking IPv4 sockets. Every operation runs
// on the caller's thread, waits in steps of 200 ms and asks the caller's
// progress object between steps whether to stop. Results are written
// through the first argument (and returned): 0 done, 1 stop requested,
// 2 failed or timed out.
#include <cstdint>

#include "foundation/lstring.h"
#include "foundation/task_progress.h"
#include "platform/socket.h"

using LNetOpResult = uint32_t;
constexpr LNetOpResult LNetDone = 0;
constexpr LNetOpResult LNetStopped = 1;
constexpr LNetOpResult LNetFailed = 2;

// The step of every wait, in milliseconds.
constexpr uint32_t LNetWaitStep = 200;
// Socket buffers for bulk transfers of messages and files.
constexpr int LNetSendBufferSize = 0x40000;
constexpr int LNetReceiveBufferSize = 0x80000;

// An IPv4 socket address: port and address in network byte order.
struct LNetSocketAddress {
    uint16_t family = 2;  // AF_INET
    uint16_t port = 0;
    uint32_t address = 0;
};

constexpr uint32_t LNetMaxAddresses = 6;
// A resolved host: its port (host order) and up to 6 IPv4 addresses
// (network order).
struct LNetAddressList {
    uint16_t port = 0;
    uint64_t count = 0;
    uint32_t addresses[LNetMaxAddresses] = {};
};

// Bytes with a fixed room: writers never store more than capacity bytes and
// drop the rest silently. No terminator is reserved.
struct LBoundedBuffer {
    uint8_t* data = nullptr;
    uint64_t length = 0;
    uint64_t capacity = 0;
    void Append(const void* p, uint64_t n);
};

// Closes a socket already in the handle and connects a new non-blocking one.
// On 1 or 2 the handle is left invalid.
LNetOpResult LNetConnect(LNetOpResult& result, LTaskProgress& progress, LSocket& sock,
                         const LNetSocketAddress& address, uint32_t timeout_ms);
// LNetConnect on each address of the list in turn (each with the whole
// time-out); the first result other than 2 wins. An empty list gives 2.
LNetOpResult LNetConnectAny(LNetOpResult& result, LTaskProgress& progress, LSocket& sock,
                            const LNetAddressList& list, uint32_t timeout_ms);

// Sends every byte; the time-out is spent only on waits that expire.
LNetOpResult LNetSendAll(LNetOpResult& result, LTaskProgress& progress, LSocket sock, const void* data, uint64_t n,
                         uint32_t timeout_ms);
// 0 as soon as the socket is readable; 2 at the time-out or without a socket.
LNetOpResult LNetWaitReadable(LNetOpResult& result, LTaskProgress& progress, LSocket sock, uint32_t timeout_ms);
// Waits readable and receives once up to size bytes. A peer that closed
// gives 2.
LNetOpResult LNetReceive(LNetOpResult& result, LTaskProgress& progress, LSocket sock, void* buffer, uint64_t size,
                         uint64_t& count, uint32_t timeout_ms);
// LNetReceive until n bytes arrived; total tells how many did.
LNetOpResult LNetReceiveExact(LNetOpResult& result, LTaskProgress& progress, LSocket sock, void* buffer, uint64_t n,
                              uint64_t& total, uint32_t timeout_ms);
constexpr uint64_t LNetLinePeekSize = 48;
// Peeks up to 48 bytes and consumes exactly those up to and including the
// first LF among them (all of them when there is none), so that no byte
// after a line end is ever taken from the socket.
LNetOpResult LNetReceiveLinePeek(LNetOpResult& result, LTaskProgress& progress, LSocket sock, uint8_t* buffer,
                                 uint64_t& count, uint32_t timeout_ms);
// One line ended by LF (a CR before it is dropped), appended without its end.
// The time-out applies to each piece; a peer that closes after part of a
// line delivers that part with 0.
LNetOpResult LNetReceiveLine(LNetOpResult& result, LTaskProgress& progress, LSocket sock, LBoundedBuffer& line,
                             uint32_t timeout_ms);
LNetOpResult LNetReceiveLineGrow(LNetOpResult& result, LTaskProgress& progress, LSocket sock, LStringA& line,
                                 uint32_t timeout_ms);
