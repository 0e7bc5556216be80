#include "foundation/system_host.h"

#include <arpa/inet.h>

#include "foundation/utf8.h"
#include "platform/system_info.h"

void LGetHostNameW(char16_t out[260]) { LUTF8ToWideBuf(out, LPlatformHostName().c_str()); }

uint32_t LResolveIPv4(const char* host) {
    if (!host || !*host) return 0;
    in_addr a;
    if (inet_pton(AF_INET, host, &a) == 1) return a.s_addr;
    uint32_t address = 0;
    return LPlatformResolveFirstIPv4(host, &address) ? address : 0;
}
