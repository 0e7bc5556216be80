#include "web/server/ping_service.h"

#include <cstring>

#include "foundation/reg_settings.h"
#include "foundation/utf8.h"
#include "net/http/http_client.h"
#include "web/server/gateway_http.h"

namespace {

constexpr size_t kMaxReply = 1024;
constexpr uint32_t kTimeoutMs = 20000;

// The reply (head and body) of one GET; false when the service is not set,
// cannot be reached or does not answer 200.
uint32_t Ask(LTaskProgress& progress, const std::string& query, std::string& reply) {
    reply.clear();
    char16_t service[260];
    LRegSettingsGet(u"Routing", u"PingService", u"", service);
    std::string base = LToUtf8(service);
    while (!base.empty() && base.back() == '/') base.pop_back();
    if (base.empty()) return 2;
    std::string url = base + "/cgi-bin/pingme.exe" + query;
    char buffer[kMaxReply + 1];
    LNetOpResult r = LNetFailed;
    LHttpGetToBuffer(r, progress, url.c_str(), buffer, sizeof buffer, kTimeoutMs);
    if (r != LNetDone) return r;
    reply = buffer;
    bool ok = reply.size() >= 12 && reply.compare(0, 7, "HTTP/1.") == 0 && reply.compare(8, 4, " 200") == 0;
    return ok ? 0 : 2;
}

// The text after a marker, up to the line's end.
bool After(const std::string& reply, const char* marker, std::string& text) {
    size_t at = reply.find(marker);
    if (at == std::string::npos) return false;
    at += std::strlen(marker);
    size_t end = reply.find_first_of("\r\n", at);
    text = reply.substr(at, end == std::string::npos ? std::string::npos : end - at);
    if (text.size() > 259) text.resize(259);
    return true;
}

}  // namespace

uint32_t LRoutingPingTest(LTaskProgress& progress, uint16_t port, std::string& text) {
    text.clear();
    std::string reply;
    uint32_t r = Ask(progress, "?port=" + std::to_string(port), reply);
    if (r == 1) return LRoutingStopped;
    // A service that could not be asked has not said the port is reachable.
    if (r != 0) return LRoutingUnknown;
    if (After(reply, "\nCONNECT ", text)) return LRoutingReachable;
    After(reply, "\nNOCONNECT ", text);
    return LRoutingUnreachable;
}

uint32_t LRoutingGetExternalIP(LTaskProgress& progress, std::string& address) {
    address.clear();
    std::string reply, text;
    uint32_t r = Ask(progress, "", reply);
    if (r != 0) return r;
    if (!After(reply, "\nIP ", text) || !LGatewayIsIPv4(text)) return 2;
    address = text;
    return 0;
}
