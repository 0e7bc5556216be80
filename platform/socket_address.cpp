#include "platform/socket_address.h"

#include "platform/dns.h"

bool LNetIsPrivateAddress(const uint8_t a[4]) {
    if (a[0] == 10 || a[0] == 127) return true;
    if (a[0] == 172 && (a[1] & 0xF0) == 16) return true;
    if (a[0] == 192 && a[1] == 168) return true;
    return a[0] == 169 && a[1] == 254;
}

void LNetPickHostAddress(uint32_t& out, const char* host) {
    uint32_t a = 0;
    if (LPlatformResolveIPv4(host, &a, 1) == 1) out = a;
}
