#include "web/http/local_host.h"

#include <string>
#include <string_view>

#include "foundation/reg_settings.h"
#include "foundation/utf8.h"
#include "platform/local_addresses.h"
#include "platform/system_info.h"

namespace {

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// The name of a Host header: without the port, the brackets of an IPv6
// literal and one trailing dot; lower case.
std::string NameOf(std::string_view host) {
    while (!host.empty() && (host.front() == ' ' || host.front() == '\t')) host.remove_prefix(1);
    while (!host.empty() && (host.back() == ' ' || host.back() == '\t')) host.remove_suffix(1);
    if (!host.empty() && host.front() == '[') {
        size_t close = host.find(']');
        if (close == std::string_view::npos) return std::string();
        std::string_view rest = host.substr(close + 1);
        if (!rest.empty() && rest.front() != ':') return std::string();
        return Lower(host.substr(1, close - 1));
    }
    size_t colon = host.rfind(':');
    if (colon != std::string_view::npos) {
        std::string_view port = host.substr(colon + 1);
        for (char c : port)
            if (c < '0' || c > '9') return std::string();
        host = host.substr(0, colon);
    }
    if (!host.empty() && host.back() == '.') host.remove_suffix(1);
    return Lower(host);
}

bool IsLoopback(const std::string& name) {
    if (name == "localhost") return true;
    // Names below "localhost" never leave the machine (browsers resolve them
    // to the loopback themselves).
    if (name.size() > 10 && name.compare(name.size() - 10, 10, ".localhost") == 0) return true;
    return LPlatformIsLoopbackAddress(name.c_str());
}

bool IsMachineName(const std::string& name) {
    std::string own = Lower(LPlatformHostName());
    if (own.empty()) return false;
    return name == own || name == own.substr(0, own.find('.'));
}

bool IsRoutingName(const std::string& name) {
    for (const char16_t* value : {u"DomainName", u"StaticIPAddress"}) {
        char16_t text[260];
        LRegSettingsGet(u"Routing", value, u"", text);
        if (text[0] && NameOf(LToUtf8(text)) == name) return true;
    }
    return false;
}

}  // namespace

bool LWebHostNamesThisMachine(const char16_t* host_header) {
    if (!host_header) return false;
    std::string name = NameOf(LToUtf8(host_header));
    if (name.empty()) return false;
    // The cheap answers first: the settings are a file to read.
    return IsLoopback(name) || LPlatformIsOwnAddress(name.c_str()) || IsMachineName(name) || IsRoutingName(name);
}
