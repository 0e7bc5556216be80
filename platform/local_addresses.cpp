#include "platform/local_addresses.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

#include <cstring>

bool LPlatformIsOwnAddress(const char* literal) {
    in_addr v4{};
    in6_addr v6{};
    const bool is_v4 = inet_pton(AF_INET, literal, &v4) == 1;
    if (!is_v4 && inet_pton(AF_INET6, literal, &v6) != 1) return false;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return false;
    bool found = false;
    for (ifaddrs* a = list; a && !found; a = a->ifa_next) {
        if (!a->ifa_addr) continue;
        if (is_v4 && a->ifa_addr->sa_family == AF_INET) {
            found = reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr == v4.s_addr;
        } else if (!is_v4 && a->ifa_addr->sa_family == AF_INET6) {
            found = std::memcmp(&reinterpret_cast<sockaddr_in6*>(a->ifa_addr)->sin6_addr, &v6, sizeof v6) == 0;
        }
    }
    freeifaddrs(list);
    return found;
}

bool LPlatformIsLoopbackAddress(const char* literal) {
    in_addr v4{};
    if (inet_pton(AF_INET, literal, &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    return inet_pton(AF_INET6, literal, &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}
