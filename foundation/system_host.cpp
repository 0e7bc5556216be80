#include "foundation/system_host.h"

#include <arpa/inet.h>

#include <cstdio>
#include <cstring>

#include "foundation/utf8.h"
#include "platform/dns.h"
#include "platform/socket_address.h"
#include "platform/system_info.h"

namespace {

void DottedText(uint32_t address, char out[260]) {
    uint8_t b[4];
    std::memcpy(b, &address, 4);
    std::snprintf(out, 260, "%d.%d.%d.%d", b[0], b[1], b[2], b[3]);
}

bool IsPublic(uint32_t address) {
    uint8_t b[4];
    std::memcpy(b, &address, 4);
    return !LNetIsPrivateAddress(b) && b[0] != 0 && b[0] != 127;
}

}  // namespace

void LGetHostNameW(char16_t out[260]) { LUTF8ToWideBuf(out, LPlatformHostName().c_str()); }

void LGetLocalIPv4Text(char out[260]) {
    const std::string name = LPlatformHostName();
    uint32_t all[16];
    size_t n = name.empty() ? 0 : LPlatformResolveIPv4(name.c_str(), all, 16);
    uint32_t chosen = 0;
    if (n == 0) {
        if (!name.empty()) LNetPickHostAddress(chosen, name.c_str());
    } else {
        chosen = all[0];
        for (size_t i = 1; i < n; ++i) {
            if (IsPublic(all[i])) chosen = all[i];
        }
    }
    DottedText(chosen, out);
}

void LGetHostIPv4Text(char out[260]) {
    uint32_t address = 0;
    const std::string name = LPlatformHostName();
    if (!name.empty()) LNetPickHostAddress(address, name.c_str());
    DottedText(address, out);
}

uint32_t LResolveIPv4(const char* host) {
    if (!host || !*host) return 0;
    in_addr a;
    if (inet_pton(AF_INET, host, &a) == 1) return a.s_addr;
    uint32_t address = 0;
    return LPlatformResolveIPv4(host, &address, 1) == 1 ? address : 0;
}
