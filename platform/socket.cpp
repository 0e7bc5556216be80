#include "platform/socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

void SetBuffers(int fd, int send_buffer, int receive_buffer) {
    if (send_buffer > 0) setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &send_buffer, sizeof send_buffer);
    if (receive_buffer > 0) setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
}

sockaddr_in MakeAddress(uint32_t address, uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = address;
    a.sin_port = port;
    return a;
}

// poll() restarted after signals, with the rest of the step.
int PollOne(int fd, short events, int ms, short* revents) {
    pollfd p{fd, events, 0};
    for (;;) {
        int r = poll(&p, 1, ms);
        if (r < 0 && errno == EINTR) continue;
        *revents = p.revents;
        return r;
    }
}

int WaitFor(LSocket s, short events, int ms) {
    if (s < 0) return -1;
    short rev = 0;
    int r = PollOne(s, events, ms, &rev);
    if (r < 0) return -1;
    return r == 0 ? 0 : 1;
}

}  // namespace

void LPlatformIgnoreSigpipe() {
    static std::once_flag once;
    std::call_once(once, [] { signal(SIGPIPE, SIG_IGN); });
}

LSocket LPlatformSocketCreate(int send_buffer, int receive_buffer) {
    LPlatformIgnoreSigpipe();
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return LInvalidSocket;
    SetBuffers(fd, send_buffer, receive_buffer);
    return fd;
}

void LPlatformSocketClose(LSocket s) {
    if (s >= 0) close(s);
}

int LPlatformSocketConnectStart(LSocket s, uint32_t address, uint16_t port) {
    sockaddr_in a = MakeAddress(address, port);
    if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return 0;
    return (errno == EINPROGRESS || errno == EINTR) ? 1 : 2;
}

int LPlatformSocketWaitConnected(LSocket s, int ms) {
    short rev = 0;
    int r = PollOne(s, POLLOUT, ms, &rev);
    if (r < 0) return -1;
    if (r == 0) return 0;
    // Writable alone does not mean connected: a refused or unreachable
    // connect also wakes the wait, and only SO_ERROR tells them apart.
    int err = 0;
    socklen_t len = sizeof err;
    if (getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0) return -1;
    return 1;
}

int LPlatformSocketWaitReadable(LSocket s, int ms) { return WaitFor(s, POLLIN, ms); }
int LPlatformSocketWaitWritable(LSocket s, int ms) { return WaitFor(s, POLLOUT, ms); }

long LPlatformSocketSend(LSocket s, const void* data, size_t n) {
    for (;;) {
        ssize_t r = send(s, data, n, MSG_NOSIGNAL);
        if (r >= 0) return static_cast<long>(r);
        if (errno == EINTR) continue;
        return (errno == EAGAIN || errno == EWOULDBLOCK) ? LSocketWouldBlock : LSocketError;
    }
}

long LPlatformSocketReceive(LSocket s, void* buffer, size_t n, bool peek) {
    for (;;) {
        ssize_t r = recv(s, buffer, n, peek ? MSG_PEEK : 0);
        if (r >= 0) return static_cast<long>(r);
        if (errno == EINTR) continue;
        return (errno == EAGAIN || errno == EWOULDBLOCK) ? LSocketWouldBlock : LSocketError;
    }
}

LSocket LPlatformSocketListen(uint32_t address, uint16_t port, int backlog) {
    LPlatformIgnoreSigpipe();
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return LInvalidSocket;
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a = MakeAddress(address, port);
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, backlog) != 0) {
        close(fd);
        return LInvalidSocket;
    }
    return fd;
}

uint16_t LPlatformSocketLocalPort(LSocket s) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) return 0;
    return a.sin_port;
}

LSocket LPlatformSocketAccept(LSocket listener, uint32_t* peer_address, uint16_t* peer_port, int send_buffer,
                              int receive_buffer) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    int fd;
    do {
        fd = accept4(listener, reinterpret_cast<sockaddr*>(&a), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return LInvalidSocket;
    SetBuffers(fd, send_buffer, receive_buffer);
    if (peer_address) *peer_address = a.sin_addr.s_addr;
    if (peer_port) *peer_port = a.sin_port;
    return fd;
}
