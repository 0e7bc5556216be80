#include "platform/net_interface.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <set>

namespace {

constexpr unsigned kRouteUp = 0x1;
constexpr unsigned kRouteGateway = 0x2;

// Interfaces with a default route through a gateway, from the kernel's
// routing table.
std::set<std::string> DefaultRouteInterfaces() {
    std::set<std::string> names;
    FILE* f = std::fopen("/proc/net/route", "re");
    if (!f) return names;
    char line[512];
    // The first line names the columns.
    if (std::fgets(line, sizeof line, f)) {
        while (std::fgets(line, sizeof line, f)) {
            char iface[64];
            unsigned destination = 1, gateway = 0, flags = 0;
            if (std::sscanf(line, "%63s %x %x %x", iface, &destination, &gateway, &flags) != 4) continue;
            if (destination == 0 && (flags & (kRouteUp | kRouteGateway)) == (kRouteUp | kRouteGateway))
                names.insert(iface);
        }
    }
    std::fclose(f);
    return names;
}

}  // namespace

std::string LPlatformLanAddress() {
    std::set<std::string> routed = DefaultRouteInterfaces();
    ifaddrs* list = nullptr;
    if (routed.empty() || getifaddrs(&list) != 0) return std::string();
    std::string found;
    for (ifaddrs* a = list; a && found.empty(); a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET || !a->ifa_name) continue;
        if (!(a->ifa_flags & IFF_UP) || (a->ifa_flags & (IFF_LOOPBACK | IFF_POINTOPOINT))) continue;
        if (!routed.count(a->ifa_name)) continue;
        const auto* in = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
        uint32_t host = ntohl(in->sin_addr.s_addr);
        if ((host >> 16) == 0xA9FE) continue;  // 169.254/16: no address was handed out
        char text[INET_ADDRSTRLEN];
        if (inet_ntop(AF_INET, &in->sin_addr, text, sizeof text)) found = text;
    }
    freeifaddrs(list);
    return found;
}

bool LPlatformLocalAddressTowards(uint32_t remote, uint16_t port, uint32_t& local) {
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = remote;
    to.sin_port = port;
    sockaddr_in me{};
    socklen_t n = sizeof me;
    // A connected datagram socket has its local address chosen by the
    // routing table, without anything going out.
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0 &&
              getsockname(fd, reinterpret_cast<sockaddr*>(&me), &n) == 0;
    close(fd);
    if (ok) local = me.sin_addr.s_addr;
    return ok;
}
