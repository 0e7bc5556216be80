#include "net/http/proxy_settings.h"

#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

const char* Variable(const char* lower, const char* upper) {
    const char* v = std::getenv(lower);
    if ((!v || !*v) && upper) v = std::getenv(upper);
    return v && *v ? v : nullptr;
}

// The host of a host text, without a port and without the brackets or a
// trailing dot that do not change the name.
std::string_view HostOnly(std::string_view s) {
    size_t colon = s.find(':');
    if (colon != std::string_view::npos) s = s.substr(0, colon);
    while (!s.empty() && s.back() == '.') s.remove_suffix(1);
    return s;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace

bool LHttpParseProxyValue(const char* value, char host[260], uint16_t* port) {
    host[0] = 0;
    *port = 0;
    if (!value) return false;
    std::string_view v(value);
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
    size_t scheme = v.find("://");
    if (scheme != std::string_view::npos) v.remove_prefix(scheme + 3);
    size_t slash = v.find('/');
    if (slash != std::string_view::npos) v = v.substr(0, slash);
    size_t at = v.rfind('@');
    if (at != std::string_view::npos) v.remove_prefix(at + 1);
    while (!v.empty() && (v.back() == ' ' || v.back() == '\t' || v.back() == '\r' || v.back() == '\n'))
        v.remove_suffix(1);
    size_t colon = v.find(':');
    std::string_view name = v.substr(0, colon);
    if (name.empty() || name.size() > 259) return false;
    long p = 1080;
    if (colon != std::string_view::npos) {
        std::string_view digits = v.substr(colon + 1);
        if (digits.empty() || digits.size() > 5) return false;
        p = 0;
        for (char c : digits) {
            if (c < '0' || c > '9') return false;
            p = p * 10 + (c - '0');
        }
        if (p < 1 || p > 65535) return false;
    }
    std::memcpy(host, name.data(), name.size());
    host[name.size()] = 0;
    *port = uint16_t(p);
    return true;
}

bool LHttpNoProxyMatches(const char* list, const char* targetHost) {
    if (!list || !targetHost) return false;
    std::string_view host = HostOnly(targetHost);
    if (host.empty()) return false;
    std::string_view rest(list);
    while (!rest.empty()) {
        size_t end = rest.find_first_of(", \t");
        std::string_view entry = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (entry == "*") return true;
        while (!entry.empty() && entry.front() == '.') entry.remove_prefix(1);
        if (!entry.empty() && entry.front() == '*') continue;  // only the lone "*" is a wildcard
        entry = HostOnly(entry);
        if (entry.empty()) continue;
        if (EqualNoCase(host, entry)) return true;
        if (host.size() > entry.size() && host[host.size() - entry.size() - 1] == '.' &&
            EqualNoCase(host.substr(host.size() - entry.size()), entry))
            return true;
    }
    return false;
}

bool LHttpGetSystemProxy(int scheme, char host[260], uint16_t* port) {
    host[0] = 0;
    *port = 0;
    const char* value = nullptr;
    // Only the lower-case http_proxy counts for plain HTTP: a CGI program
    // gets HTTP_PROXY from a request's "Proxy:" header.
    switch (scheme) {
    case LHttpProxyHttp: value = Variable("http_proxy", nullptr); break;
    case LHttpProxyHttps: value = Variable("https_proxy", "HTTPS_PROXY"); break;
    case LHttpProxyFtp: value = Variable("ftp_proxy", "FTP_PROXY"); break;
    default: return false;
    }
    return value && LHttpParseProxyValue(value, host, port);
}

bool LHttpIsLoopbackHost(const char* targetHost) {
    if (!targetHost) return false;
    std::string_view t(targetHost);
    if (t.starts_with("[")) {
        size_t close = t.find(']');
        return close != std::string_view::npos && t.substr(1, close - 1) == "::1";
    }
    if (t == "::1") return true;
    std::string_view host = HostOnly(t);
    if (EqualNoCase(host, "localhost")) return true;
    if (host.size() > 10 && EqualNoCase(host.substr(host.size() - 10), ".localhost")) return true;
    // 127.a.b.c with every part a number below 256.
    if (!host.starts_with("127.")) return false;
    int parts = 0, value = -1;
    for (char c : host) {
        if (c == '.') {
            if (value < 0) return false;
            ++parts;
            value = -1;
        } else if (c >= '0' && c <= '9') {
            value = (value < 0 ? 0 : value) * 10 + (c - '0');
            if (value > 255) return false;
        } else {
            return false;
        }
    }
    return parts == 3 && value >= 0;
}

bool LHttpProxyBypassed(const char* targetHost) {
    return LHttpIsLoopbackHost(targetHost) || LHttpNoProxyMatches(Variable("no_proxy", "NO_PROXY"), targetHost);
}
