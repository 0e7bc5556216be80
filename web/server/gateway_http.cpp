#include "web/server/gateway_http.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "foundation/time_source.h"
#include "net/net_socket.h"

namespace {

// Head lines of a reply beyond the body's cap.
constexpr size_t kMaxHead = 8192;

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), s.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           });
}

struct Reply {
    bool head_done = false;
    int status = 0;
    bool chunked = false;
    int64_t content_length = -1;
    size_t body_at = 0;
};

// The value of a header line, if the line is that header.
bool HeaderValue(std::string_view line, std::string_view name, std::string_view& value) {
    if (!StartsWithNoCase(line, name) || line.size() <= name.size() || line[name.size()] != ':') return false;
    value = line.substr(name.size() + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t' || value.back() == '\r')) value.remove_suffix(1);
    return true;
}

bool ParseHead(const std::string& raw, Reply& r) {
    size_t end = raw.find("\r\n\r\n");
    if (end == std::string::npos) return false;
    std::string_view head(raw.data(), end);
    if (!StartsWithNoCase(head, "HTTP/1.") || head.size() < 12 || head[8] != ' ') return false;
    r.status = 0;
    for (size_t i = 9; i < 12; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(head[i]))) return false;
        r.status = r.status * 10 + (head[i] - '0');
    }
    for (size_t at = head.find("\r\n"); at != std::string_view::npos;) {
        size_t next = head.find("\r\n", at + 2);
        std::string_view line = head.substr(at + 2, next == std::string_view::npos ? std::string_view::npos : next - at - 2);
        std::string_view v;
        if (HeaderValue(line, "Content-Length", v)) {
            r.content_length = 0;
            for (char c : v) {
                if (!std::isdigit(static_cast<unsigned char>(c)) || r.content_length > (int64_t(1) << 40)) return false;
                r.content_length = r.content_length * 10 + (c - '0');
            }
        } else if (HeaderValue(line, "Transfer-Encoding", v)) {
            r.chunked = StartsWithNoCase(v, "chunked");
        }
        at = next;
    }
    r.body_at = end + 4;
    r.head_done = true;
    return true;
}

// Joins the chunks of a chunked body; true once the last chunk was seen.
bool Dechunk(std::string_view raw, std::string& out) {
    out.clear();
    for (;;) {
        size_t eol = raw.find("\r\n");
        if (eol == std::string_view::npos) return false;
        uint64_t size = 0;
        size_t i = 0;
        for (; i < eol && std::isxdigit(static_cast<unsigned char>(raw[i])); ++i) {
            if (size > (uint64_t(1) << 32)) return false;
            char c = static_cast<char>(std::tolower(static_cast<unsigned char>(raw[i])));
            size = size * 16 + static_cast<uint64_t>(c <= '9' ? c - '0' : c - 'a' + 10);
        }
        if (i == 0) return false;
        raw.remove_prefix(eol + 2);
        if (size == 0) return true;
        if (raw.size() < size + 2) return false;
        out.append(raw.data(), static_cast<size_t>(size));
        raw.remove_prefix(static_cast<size_t>(size) + 2);
    }
}

// Whether the whole body has arrived, and the body so far.
bool Complete(const std::string& raw, const Reply& r, std::string& body) {
    std::string_view rest(raw.data() + r.body_at, raw.size() - r.body_at);
    if (r.chunked) return Dechunk(rest, body);
    body.assign(rest);
    return r.content_length >= 0 && static_cast<int64_t>(body.size()) >= r.content_length;
}

}  // namespace

std::string LGatewayUrl::HostText() const {
    const auto* b = reinterpret_cast<const uint8_t*>(&address);
    return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." +
           std::to_string(b[3]) + ":" + std::to_string(port);
}

bool LGatewayParseUrl(std::string_view url, LGatewayUrl& out) {
    if (!StartsWithNoCase(url, "http://")) return false;
    url.remove_prefix(7);
    size_t slash = url.find('/');
    std::string_view authority = url.substr(0, slash);
    out.path = slash == std::string_view::npos ? "/" : std::string(url.substr(slash));
    out.port = 80;
    size_t colon = authority.find(':');
    if (colon != std::string_view::npos) {
        std::string_view p = authority.substr(colon + 1);
        unsigned v = 0;
        if (p.empty() || p.size() > 5) return false;
        for (char c : p) {
            if (!std::isdigit(static_cast<unsigned char>(c))) return false;
            v = v * 10 + static_cast<unsigned>(c - '0');
        }
        if (v == 0 || v > 65535) return false;
        out.port = static_cast<uint16_t>(v);
        authority = authority.substr(0, colon);
    }
    // A path is sent as it stands on the request line: nothing that could
    // end the line or the request.
    for (char c : out.path)
        if (static_cast<unsigned char>(c) <= 32 || c == 127) return false;
    return LGatewayParseIPv4(authority, out.address);
}

bool LGatewayResolveUrl(const LGatewayUrl& base, std::string_view ref, LGatewayUrl& out) {
    if (StartsWithNoCase(ref, "http://")) return LGatewayParseUrl(ref, out) && out.address == base.address;
    if (ref.empty()) return false;
    std::string absolute = "http://" + base.HostText() + (ref[0] == '/' ? "" : "/") + std::string(ref);
    return LGatewayParseUrl(absolute, out);
}

uint32_t LGatewayExchange(LTaskProgress& progress, const LGatewayUrl& url, const std::string& request,
                          size_t max_body, uint32_t budget_ms, int& status, std::string& body) {
    status = 0;
    body.clear();
    const uint64_t deadline = LTickCount64() + budget_ms;
    auto left = [&]() -> uint32_t {
        uint64_t now = LTickCount64();
        return now >= deadline ? 0 : static_cast<uint32_t>(deadline - now);
    };
    LNetOpResult r = LNetFailed;
    LSocket sock = LInvalidSocket;
    LNetSocketAddress to;
    to.address = url.address;
    to.port = htons(url.port);
    if (LNetConnect(r, progress, sock, to, left()) != LNetDone) return r;
    LOwnedSocket owned(sock);
    if (LNetSendAll(r, progress, sock, request.data(), request.size(), left()) != LNetDone) return r;

    std::string raw;
    Reply reply;
    const size_t cap = max_body + kMaxHead;
    char piece[4096];
    for (;;) {
        if (!reply.head_done) ParseHead(raw, reply);
        if (reply.head_done && (Complete(raw, reply, body) || raw.size() >= cap)) break;
        uint32_t ms = left();
        if (ms == 0 || raw.size() >= cap) return LNetFailed;
        uint64_t got = 0;
        r = LNetReceive(r, progress, sock, piece, std::min(sizeof piece, cap - raw.size()), got, ms);
        if (r == LNetStopped) return r;
        // A close ends a body that has no length; a time-out or an error is
        // taken the same way, and what arrived is judged below.
        if (r != LNetDone) break;
        raw.append(piece, static_cast<size_t>(got));
    }
    if (!reply.head_done) return LNetFailed;
    bool whole = Complete(raw, reply, body);
    if (!whole && (reply.chunked || reply.content_length >= 0) && raw.size() < cap) return LNetFailed;
    if (body.size() > max_body) body.resize(max_body);
    status = reply.status;
    return LNetDone;
}

std::string LGatewayTagText(const std::string& reply, const char* name) {
    size_t at = reply.find(std::string("<") + name);
    if (at == std::string::npos) return std::string();
    size_t gt = reply.find('>', at);
    if (gt == std::string::npos) return std::string();
    size_t lt = reply.find('<', gt);
    std::string text = reply.substr(gt + 1, lt == std::string::npos ? std::string::npos : lt - gt - 1);
    size_t b = text.find_first_not_of(" \t\r\n"), e = text.find_last_not_of(" \t\r\n");
    return b == std::string::npos ? std::string() : text.substr(b, e - b + 1);
}

bool LGatewayParseIPv4(std::string_view s, uint32_t& network_order) {
    uint8_t bytes[4];
    for (int i = 0; i < 4; ++i) {
        size_t n = 0;
        unsigned v = 0;
        while (n < s.size() && n < 4 && std::isdigit(static_cast<unsigned char>(s[n]))) v = v * 10 + (s[n++] - '0');
        if (n == 0 || n > 3 || v > 255 || (n > 1 && s[0] == '0')) return false;
        bytes[i] = static_cast<uint8_t>(v);
        s.remove_prefix(n);
        if (i < 3) {
            if (s.empty() || s[0] != '.') return false;
            s.remove_prefix(1);
        }
    }
    if (!s.empty()) return false;
    std::memcpy(&network_order, bytes, 4);
    return true;
}

bool LGatewayIsIPv4(std::string_view text) {
    uint32_t unused;
    return LGatewayParseIPv4(text, unused);
}
