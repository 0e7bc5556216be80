#include "platform/udp_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

LSocket LPlatformUdpOpen() {
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return LInvalidSocket;
    sockaddr_in any{};
    any.sin_family = AF_INET;
    unsigned char ttl = 2;
    if (bind(fd, reinterpret_cast<sockaddr*>(&any), sizeof any) != 0 ||
        setsockopt(fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) != 0) {
        close(fd);
        return LInvalidSocket;
    }
    return fd;
}

bool LPlatformUdpSendTo(LSocket s, uint32_t address, uint16_t port, const void* data, size_t n) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = address;
    to.sin_port = port;
    ssize_t sent;
    do {
        sent = sendto(s, data, n, MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&to), sizeof to);
    } while (sent < 0 && errno == EINTR);
    return sent == static_cast<ssize_t>(n);
}

long LPlatformUdpReceiveFrom(LSocket s, void* buffer, size_t n, uint32_t* from_address, uint16_t* from_port) {
    sockaddr_in from{};
    socklen_t len = sizeof from;
    ssize_t got;
    do {
        got = recvfrom(s, buffer, n, 0, reinterpret_cast<sockaddr*>(&from), &len);
    } while (got < 0 && errno == EINTR);
    if (got < 0) return (errno == EAGAIN || errno == EWOULDBLOCK) ? LSocketWouldBlock : LSocketError;
    if (from_address) *from_address = from.sin_addr.s_addr;
    if (from_port) *from_port = from.sin_port;
    return static_cast<long>(got);
}
