#include "net/net_address.h"

#include <arpa/inet.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/log.h"
#include "foundation/utf8.h"
#include "platform/dns.h"

namespace {

// The decimal port after a colon; 0 when it is not one of 0..65535.
template <class Ch>
uint16_t ParsePort(const Ch* p) {
    uint32_t v = 0;
    if (!*p) return 0;
    for (; *p; ++p) {
        if (*p < '0' || *p > '9') return 0;
        v = v * 10 + static_cast<uint32_t>(*p - '0');
        if (v > 65535) return 0;
    }
    return static_cast<uint16_t>(v);
}

template <class Ch>
uint16_t SplitHostPort(const Ch* text, Ch host[260], uint16_t default_port) {
    size_t n = 0;
    if (text)
        for (; text[n] && n < 259; ++n) host[n] = text[n];
    host[n] = 0;
    for (size_t i = 0; i < n; ++i) {
        if (host[i] == ':') {
            host[i] = 0;
            return ParsePort(host + i + 1);
        }
    }
    return default_port;
}

// One IPv4 address of an exchanger: dotted text as it is, else the
// nameserver the queries were sent to (so that a test's DNS can answer for
// both), else the system resolver.
uint32_t ResolveExchanger(const char* host) {
    in_addr a;
    if (inet_pton(AF_INET, host, &a) == 1) return a.s_addr;
    if (!LPlatformDnsServerOverride().empty()) {
        std::vector<uint32_t> found;
        if (LPlatformDnsQueryA(host, found) && !found.empty()) return found[0];
    }
    uint32_t out = 0;
    LPlatformResolveIPv4(host, &out, 1);
    return out;
}

}  // namespace

uint16_t LNetSplitHostPortA(const char* text, char host[260], uint16_t default_port) {
    return SplitHostPort(text, host, default_port);
}

uint16_t LNetSplitHostPort(const char16_t* text, char16_t host[260], uint16_t default_port) {
    return SplitHostPort(text, host, default_port);
}

void LNetResolveHost(LNetAddressList& list, const char* text, uint16_t default_port) {
    char host[260];
    list.port = LNetSplitHostPortA(text, host, default_port);
    list.count = 0;
    in_addr a;
    if (inet_pton(AF_INET, host, &a) == 1) {
        list.addresses[0] = a.s_addr;
        list.count = 1;
        return;
    }
    list.count = LPlatformResolveIPv4(host, list.addresses, LNetMaxAddresses);
}

bool LNetParseAddressPort(const char16_t* text, uint8_t address[4], uint16_t& port) {
    std::memset(address, 0, 4);
    if (!text || !*text) return false;
    int dots = 0;
    bool in_port = false;
    bool digit_seen = false;  // in the current byte or port
    uint32_t value = 0;
    uint32_t new_port = 0;
    for (const char16_t* p = text; *p; ++p) {
        char16_t c = *p;
        if (c >= '0' && c <= '9') {
            value = value * 10 + static_cast<uint32_t>(c - '0');
            if (value > (in_port ? 65535u : 255u)) return false;
            if (in_port) {
                new_port = value;
            } else {
                address[dots] = static_cast<uint8_t>(value);
            }
            digit_seen = true;
        } else if (c == '.' && !in_port && dots < 3 && digit_seen) {
            ++dots;
            value = 0;
            digit_seen = false;
        } else if (c == ':' && !in_port && dots == 3 && digit_seen) {
            in_port = true;
            value = 0;
            digit_seen = false;
        } else {
            return false;
        }
    }
    if (dots < 3 || !digit_seen) return false;
    if (in_port) port = static_cast<uint16_t>(new_port);
    return true;
}

void LNetGetLocalHostName(char16_t out[260]) {
    std::string name;
    if (!LPlatformLocalHostName(name)) name = "127.0.0.1";
    LUTF8ToWideBuf(out, name.c_str());
}

void LNetMailExchangerHost(const char16_t* domain_port, char host[260], uint16_t& port) {
    char16_t wide[260];
    port = LNetSplitHostPort(domain_port, wide, 0);
    LWideToUTF8Buf(host, wide);
    if (port != 0) return;
    port = 25;
    std::vector<LDnsMxRecord> records;
    if (!LPlatformDnsQueryMx(host, records)) return;
    const LDnsMxRecord* best = nullptr;
    for (const auto& r : records)
        if (!r.exchanger.empty() && (!best || r.preference < best->preference)) best = &r;
    if (best) LCopyFieldA(host, best->exchanger.c_str());
}

void LNetResolveMailExchanger(LNetSocketAddress& out, const char16_t* domain_port) {
    char host[260];
    uint16_t port = 0;
    LNetMailExchangerHost(domain_port, host, port);
    out.family = AF_INET;
    out.port = htons(port);
    out.address = ResolveExchanger(host);
}

bool LNetCheckNetworkParams() { return true; }

bool LNetHasInternetConnection() { return LGetServiceFlag() || LPlatformHasDefaultRoute(); }
