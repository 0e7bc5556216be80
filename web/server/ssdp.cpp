// The gateway search. Any host on the local network may answer it, so an
// answer is believed only as far as it names itself: its LOCATION must be
// on the address the answer came from (a forged LOCATION could otherwise
// make the service fetch any URL, its own pages on 127.0.0.1 included).
#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <set>
#include <string_view>

#include "foundation/time_source.h"
#include "platform/udp_socket.h"
#include "web/server/upnp.h"

namespace {

constexpr int kSearches = 10;
constexpr uint32_t kWindowMs = 1000;
constexpr uint32_t kSliceMs = 200;
constexpr size_t kMaxAnswer = 8191;
constexpr size_t kMaxDescription = 8192;
constexpr uint32_t kDescriptionMs = 60000;
// Descriptions fetched per search at most: a flood of answers cannot keep
// the search busy for long.
constexpr size_t kMaxFetches = 4;

constexpr const char kSearch[] =
    "M-SEARCH * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nMAN: \"ssdp:discover\"\r\nMX: 2\r\n"
    "ST: urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\n\r\n";

void Target(uint32_t& address, uint16_t& port) {
    address = htonl(0xEFFFFFFA);  // 239.255.255.250
    port = htons(1900);
    const char* v = std::getenv(LSsdpTargetVariable);
    if (!v || !*v) return;
    // "a.b.c.d:port", read as an http authority.
    LGatewayUrl url;
    if (!LGatewayParseUrl(std::string("http://") + v, url)) return;
    address = url.address;
    port = htons(url.port);
}

// The LOCATION header's value (case-insensitive name at a line start).
std::string_view Location(std::string_view answer) {
    for (size_t at = 0; at < answer.size();) {
        size_t end = answer.find('\n', at);
        std::string_view line = answer.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
        at = end == std::string_view::npos ? answer.size() : end + 1;
        constexpr std::string_view kName = "location:";
        if (line.size() < kName.size()) continue;
        bool match = true;
        for (size_t i = 0; i < kName.size() && match; ++i)
            match = static_cast<char>(std::tolower(static_cast<unsigned char>(line[i]))) == kName[i];
        if (!match) continue;
        line.remove_prefix(kName.size());
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
        return line;
    }
    return {};
}

// 0: the gateway is found, 1: stop, 2: this answer is passed over.
uint32_t TakeAnswer(LTaskProgress& progress, std::string_view answer, uint32_t from, std::set<std::string>& fetched,
                    LUPnPGateway& out) {
    LGatewayUrl url;
    if (!LGatewayParseUrl(Location(answer), url) || url.address != from) return 2;
    std::string key = url.HostText() + url.path;
    if (fetched.size() >= kMaxFetches || !fetched.insert(key).second) return 2;
    std::string request = "GET " + url.path + " HTTP/1.1\r\nHost: " + url.HostText() + "\r\nConnection: close\r\n\r\n";
    int status = 0;
    uint32_t r = LGatewayExchange(progress, url, request, kMaxDescription, kDescriptionMs, status, out.description);
    if (r != 0) return r;
    if (status != 200) return 2;
    out.location = url;
    return 0;
}

}  // namespace

uint32_t LUPnPDiscoverGateway(LTaskProgress& progress, LUPnPGateway& out) {
    uint32_t address;
    uint16_t port;
    Target(address, port);
    LOwnedSocket sock(LPlatformUdpOpen());
    if (sock.Get() == LInvalidSocket) return 2;
    std::set<std::string> fetched;
    char answer[kMaxAnswer + 1];
    for (int search = 0; search < kSearches; ++search) {
        if (progress.IsStopRequested()) return 1;
        LPlatformUdpSendTo(sock.Get(), address, port, kSearch, sizeof kSearch - 1);
        const uint64_t deadline = LTickCount64() + kWindowMs;
        for (uint64_t now = LTickCount64(); now < deadline; now = LTickCount64()) {
            uint32_t slice = static_cast<uint32_t>(std::min<uint64_t>(kSliceMs, deadline - now));
            uint32_t w = progress.WaitHandle(sock.Get(), slice);
            if (w == LWaitStopped) return 1;
            if (w != LWaitDone) continue;
            uint32_t from = 0;
            long n;
            // A flood of answers is read only until the window closes, and
            // a stop request still ends it.
            while (LTickCount64() < deadline &&
                   (n = LPlatformUdpReceiveFrom(sock.Get(), answer, kMaxAnswer, &from, nullptr)) > 0) {
                if (progress.IsStopRequested()) return 1;
                uint32_t r = TakeAnswer(progress, std::string_view(answer, static_cast<size_t>(n)), from, fetched, out);
                if (r != 2) return r;
            }
        }
    }
    return 2;
}
