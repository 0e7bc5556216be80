#include "mail/store/server_discovery.h"

#include <atomic>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/format.h"
#include "foundation/utf8.h"
#include "net/net_address.h"
#include "net/net_socket.h"
#include "platform/dns.h"

namespace {

constexpr uint32_t kProbeTimeoutMs = 3000;
std::atomic<uint16_t> g_imap_port{0};
std::atomic<uint16_t> g_smtp_port{0};

void Clear(char imap_host[260], char smtp_host[260]) {
    imap_host[0] = 0;
    smtp_host[0] = 0;
}

// A host name from DNS or a table into a field: lower-case, without trailing
// dots; false when empty or too long for the field (never cut).
bool TakeHost(std::string_view name, char out[260]) {
    while (!name.empty() && name.back() == '.') name.remove_suffix(1);
    out[0] = 0;
    if (name.empty() || name.size() > 259) return false;
    for (size_t i = 0; i < name.size(); ++i) {
        char c = name[i];
        out[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    }
    out[name.size()] = 0;
    return true;
}

// Characters a domain of an address may hold: letters, digits, '-', '.',
// '_' and the bytes of non-ASCII (UTF-8) names. Anything else (blanks,
// controls, ':' that would select a port) is refused.
bool IsDomainText(std::string_view d) {
    for (unsigned char c : d) {
        bool ok = c >= 0x80 || (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') || c == '-' ||
                  c == '.' || c == '_';
        if (!ok) return false;
    }
    return true;
}

bool ProbePair(LTaskProgress& progress, const char* imap_fmt, const char* smtp_fmt, const char* domain,
               char imap_host[260], char smtp_host[260]) {
    char imap[260], smtp[260];
    LFormatEscPathA(imap, imap_fmt, domain);
    LFormatEscPathA(smtp, smtp_fmt, domain);
    if (!LEmailProbeServers(progress, imap, smtp)) return false;
    std::memcpy(imap_host, imap, sizeof imap);
    std::memcpy(smtp_host, smtp, sizeof smtp);
    return true;
}

}  // namespace

void LEmailSetProbePortsForTests(uint16_t imap_port, uint16_t smtp_port) {
    g_imap_port = imap_port;
    g_smtp_port = smtp_port;
}

bool LEmailProviderLookup(const char* domain, char imap_host[260], char smtp_host[260]) {
    Clear(imap_host, smtp_host);
    std::string_view want(domain ? domain : "");
    size_t lo = 0, hi = sizeof LEmailProviders / sizeof LEmailProviders[0];
    while (lo < hi) {
        size_t mid = (lo + hi) / 2;
        int cmp = want.compare(LEmailProviders[mid].domain);
        if (cmp == 0) {
            LCopyFieldA(imap_host, LEmailProviders[mid].imap_host);
            LCopyFieldA(smtp_host, LEmailProviders[mid].smtp_host);
            return true;
        }
        if (cmp < 0) {
            hi = mid;
        } else {
            lo = mid + 1;
        }
    }
    return false;
}

bool LDnsQuery(const char* domain, const char* prefix, char host[260], uint16_t& port) {
    host[0] = 0;
    port = 0;
    std::string name = std::string(prefix) + domain;
    std::vector<LDnsSrvRecord> records;
    if (!LPlatformDnsQuerySrv(name.c_str(), records)) return false;
    for (const LDnsSrvRecord& r : records) {
        if (!TakeHost(r.target, host)) continue;
        port = r.port;
        return true;
    }
    return false;
}

bool LEmailProbePort(LTaskProgress& progress, const char* host, uint16_t port) {
    LNetAddressList list;
    list.port = port;
    // A test's nameserver answers for the probed names too.
    std::vector<uint32_t> found;
    if (!LPlatformDnsServerOverride().empty() && LPlatformDnsQueryA(host, found))
        for (uint32_t a : found)
            if (list.count < LNetMaxAddresses) list.addresses[list.count++] = a;
    if (list.count == 0) {
        char text[260];
        LFormatEscPathA(text, "%s:%u", host, static_cast<uint32_t>(port));
        LNetResolveHost(list, text, port);
    }
    LSocket sock = LInvalidSocket;
    LNetOpResult result = LNetFailed;
    LNetConnectAny(result, progress, sock, list, kProbeTimeoutMs);
    LOwnedSocket owned(sock);
    return result == LNetDone;
}

bool LEmailProbeServers(LTaskProgress& progress, const char* imap_host, const char* smtp_host) {
    uint16_t imap_port = g_imap_port.load(), smtp_port = g_smtp_port.load();
    return LEmailProbePort(progress, imap_host, imap_port ? imap_port : 993) &&
           LEmailProbePort(progress, smtp_host, smtp_port ? smtp_port : 587);
}

bool LEmailGuessServersSrv(LTaskProgress& progress, const char* domain, char imap_host[260], char smtp_host[260]) {
    Clear(imap_host, smtp_host);
    char imap[260], smtp[260];
    uint16_t port = 0;
    if (!LDnsQuery(domain, "_imaps._tcp.", imap, port) && !LDnsQuery(domain, "_imap._tcp.", imap, port)) return false;
    if (!LDnsQuery(domain, "_submission._tcp.", smtp, port)) return false;
    if (!LEmailProbeServers(progress, imap, smtp)) return false;
    std::memcpy(imap_host, imap, sizeof imap);
    std::memcpy(smtp_host, smtp, sizeof smtp);
    return true;
}

bool LEmailGuessServersMx(LTaskProgress& progress, const char* domain, char imap_host[260], char smtp_host[260]) {
    Clear(imap_host, smtp_host);
    std::vector<LDnsMxRecord> records;
    if (!LPlatformDnsQueryMx(domain, records)) return false;
    const LDnsMxRecord* best = nullptr;
    char mx[260];
    for (const LDnsMxRecord& r : records)
        if ((!best || r.preference < best->preference) && TakeHost(r.exchanger, mx)) best = &r;
    if (!best) return false;
    TakeHost(best->exchanger, mx);
    std::string_view host(mx);
    for (const LEmailMxProvider& row : LEmailMxProviders) {
        std::string_view suffix(row.mx_suffix);
        bool match = host == suffix || (host.size() > suffix.size() && host.ends_with(suffix) &&
                                        host[host.size() - suffix.size() - 1] == '.');
        char imap[260], smtp[260];
        if (match && LEmailProviderLookup(row.provider_domain, imap, smtp) &&
            LEmailProbeServers(progress, imap, smtp)) {
            std::memcpy(imap_host, imap, sizeof imap);
            std::memcpy(smtp_host, smtp, sizeof smtp);
            return true;
        }
    }
    size_t dot = host.find('.');
    if (dot == std::string_view::npos || host.find('.', dot + 1) == std::string_view::npos) return false;
    return ProbePair(progress, "imap.%s", "smtp.%s", mx + dot + 1, imap_host, smtp_host);
}

bool LEmailGuessServersNames(LTaskProgress& progress, const char* domain, char imap_host[260],
                             char smtp_host[260]) {
    Clear(imap_host, smtp_host);
    static const char* const kPairs[][2] = {
        {"mail.%s", "smtp.%s"}, {"mail.%s", "mail.%s"}, {"imap.%s", "smtp.%s"}, {"imap.%s", "mail.%s"}};
    for (const auto& pair : kPairs) {
        if (progress.IsStopRequested()) return false;
        if (ProbePair(progress, pair[0], pair[1], domain, imap_host, smtp_host)) return true;
    }
    return false;
}

bool LEmailGuessServers(LTaskProgress& progress, const char* address, char imap_host[260], char smtp_host[260]) {
    Clear(imap_host, smtp_host);
    const char* at = address ? std::strchr(address, '@') : nullptr;
    if (!at) return false;
    std::string_view rest(at + 1);
    if (rest.size() > 259) return false;
    char domain[260];
    if (!TakeHost(rest, domain) || !IsDomainText(domain)) return false;
    if (LEmailProviderLookup(domain, imap_host, smtp_host)) return true;
    if (LEmailGuessServersSrv(progress, domain, imap_host, smtp_host)) return true;
    if (!progress.IsStopRequested() && LEmailGuessServersMx(progress, domain, imap_host, smtp_host)) return true;
    if (!progress.IsStopRequested() && LEmailGuessServersNames(progress, domain, imap_host, smtp_host)) return true;
    Clear(imap_host, smtp_host);
    return false;
}
