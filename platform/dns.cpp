#include "platform/dns.h"

#include <arpa/inet.h>
#include <arpa/nameser.h>
#include <netdb.h>
#include <netinet/in.h>
#include <resolv.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

// Parses "a.b.c.d[:port]" into a socket address; false when malformed.
bool ParseNameserver(const std::string& text, sockaddr_in& out) {
    std::string host = text;
    unsigned long port = 53;
    size_t colon = text.find(':');
    if (colon != std::string::npos) {
        host = text.substr(0, colon);
        char* end = nullptr;
        port = std::strtoul(text.c_str() + colon + 1, &end, 10);
        if (!end || *end || port == 0 || port > 65535) return false;
    }
    out = sockaddr_in{};
    out.sin_family = AF_INET;
    out.sin_port = htons(static_cast<uint16_t>(port));
    return inet_pton(AF_INET, host.c_str(), &out.sin_addr) == 1;
}

// One answer of a query, kept with its parse handle.
class DnsAnswer {
public:
    bool Query(const char* name, int type, const char* nameserver) {
        if (!name || !*name) return false;
        struct __res_state st;
        std::memset(&st, 0, sizeof st);
        if (res_ninit(&st) != 0) return false;
        std::string ns = (nameserver && *nameserver) ? nameserver : LPlatformDnsServerOverride();
        if (!ns.empty()) {
            sockaddr_in a;
            if (!ParseNameserver(ns, a)) {
                res_nclose(&st);
                return false;
            }
            st.nsaddr_list[0] = a;
            st.nscount = 1;
        }
        len_ = res_nquery(&st, name, ns_c_in, type, buf_, sizeof buf_);
        res_nclose(&st);
        return len_ > 0 && ns_initparse(buf_, len_, &msg_) == 0;
    }
    int Count() { return ns_msg_count(msg_, ns_s_an); }
    bool Record(int i, int type, ns_rr& rr) {
        return ns_parserr(&msg_, ns_s_an, i, &rr) == 0 && ns_rr_type(rr) == type;
    }
    bool Name(const unsigned char* at, std::string& out) {
        char name[NS_MAXDNAME];
        if (dn_expand(ns_msg_base(msg_), ns_msg_end(msg_), at, name, sizeof name) < 0) return false;
        out = name;
        while (!out.empty() && out.back() == '.') out.pop_back();
        return true;
    }

private:
    unsigned char buf_[8192];
    int len_ = 0;
    ns_msg msg_{};
};

}  // namespace

std::string LPlatformDnsServerOverride() {
    const char* v = std::getenv("PORLINEX_DNS_SERVER");
    return v ? std::string(v) : std::string();
}

size_t LPlatformResolveIPv4(const char* host, uint32_t* out, size_t max) {
    if (!host || !*host || max == 0) return 0;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &res) != 0) return 0;
    size_t n = 0;
    for (addrinfo* p = res; p && n < max; p = p->ai_next) {
        uint32_t a = reinterpret_cast<sockaddr_in*>(p->ai_addr)->sin_addr.s_addr;
        if (std::find(out, out + n, a) == out + n) out[n++] = a;
    }
    freeaddrinfo(res);
    return n;
}

bool LPlatformDnsQueryMx(const char* name, std::vector<LDnsMxRecord>& out, const char* nameserver) {
    out.clear();
    DnsAnswer answer;
    if (!answer.Query(name, ns_t_mx, nameserver)) return false;
    for (int i = 0, n = answer.Count(); i < n; ++i) {
        ns_rr rr;
        if (!answer.Record(i, ns_t_mx, rr) || ns_rr_rdlen(rr) < 3) continue;
        LDnsMxRecord r;
        r.preference = ns_get16(ns_rr_rdata(rr));
        if (answer.Name(ns_rr_rdata(rr) + 2, r.exchanger)) out.push_back(r);
    }
    return true;
}

bool LPlatformDnsQuerySrv(const char* name, std::vector<LDnsSrvRecord>& out, const char* nameserver) {
    out.clear();
    DnsAnswer answer;
    if (!answer.Query(name, ns_t_srv, nameserver)) return false;
    for (int i = 0, n = answer.Count(); i < n; ++i) {
        ns_rr rr;
        if (!answer.Record(i, ns_t_srv, rr) || ns_rr_rdlen(rr) < 7) continue;
        const unsigned char* d = ns_rr_rdata(rr);
        LDnsSrvRecord r;
        r.priority = ns_get16(d);
        r.weight = ns_get16(d + 2);
        r.port = ns_get16(d + 4);
        if (answer.Name(d + 6, r.target)) out.push_back(r);
    }
    return true;
}

bool LPlatformDnsQueryA(const char* name, std::vector<uint32_t>& out, const char* nameserver) {
    out.clear();
    DnsAnswer answer;
    if (!answer.Query(name, ns_t_a, nameserver)) return false;
    for (int i = 0, n = answer.Count(); i < n; ++i) {
        ns_rr rr;
        if (!answer.Record(i, ns_t_a, rr) || ns_rr_rdlen(rr) != 4) continue;
        uint32_t a;
        std::memcpy(&a, ns_rr_rdata(rr), 4);
        out.push_back(a);
    }
    return true;
}

bool LPlatformLocalHostName(std::string& out) {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0 || !name[0]) return false;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* res = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &res) != 0) return false;
    bool ok = res && res->ai_canonname && *res->ai_canonname;
    if (ok) out = res->ai_canonname;
    freeaddrinfo(res);
    return ok;
}

bool LPlatformHasDefaultRoute() {
    // /proc/net/route: Iface Destination Gateway Flags ... in hex, host order.
    std::ifstream v4("/proc/net/route");
    std::string line;
    std::getline(v4, line);
    while (std::getline(v4, line)) {
        std::istringstream f(line);
        std::string iface, dest, gateway, flags;
        if (!(f >> iface >> dest >> gateway >> flags)) continue;
        if (dest == "00000000" && (std::strtoul(flags.c_str(), nullptr, 16) & 0x1) && iface != "lo") return true;
    }
    // /proc/net/ipv6_route: dest, dest prefix, source, source prefix, next
    // hop, metric, refcount, use, flags, device.
    std::ifstream v6("/proc/net/ipv6_route");
    while (std::getline(v6, line)) {
        std::istringstream f(line);
        std::string dest, plen, src, splen, hop, metric, ref, use, flags, dev;
        if (!(f >> dest >> plen >> src >> splen >> hop >> metric >> ref >> use >> flags >> dev)) continue;
        if (plen == "00" && dev != "lo" && (std::strtoul(flags.c_str(), nullptr, 16) & 0x1) &&
            dest == std::string(32, '0'))
            return true;
    }
    return false;
}
