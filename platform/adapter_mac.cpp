#include "platform/adapter_mac.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netpacket/packet.h>
#include <sys/socket.h>

#include <cstring>

bool LPlatformFirstAdapterMac(uint8_t out[6]) {
    std::memset(out, 0, 6);
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return false;
    const char* chosen = nullptr;
    for (ifaddrs* a = list; a && !chosen; a = a->ifa_next)
        if (a->ifa_addr && a->ifa_addr->sa_family == AF_INET && !(a->ifa_flags & IFF_LOOPBACK)) chosen = a->ifa_name;
    bool found = false;
    for (ifaddrs* a = list; a && chosen && !found; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_PACKET || std::strcmp(a->ifa_name, chosen) != 0) continue;
        const auto* ll = reinterpret_cast<const sockaddr_ll*>(a->ifa_addr);
        std::memcpy(out, ll->sll_addr, ll->sll_halen < 6 ? ll->sll_halen : 6);
        found = true;
    }
    freeifaddrs(list);
    return found;
}
