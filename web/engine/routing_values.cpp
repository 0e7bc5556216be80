#include "web/engine/routing_values.h"

#include <cstdlib>
#include <cstring>

#include "foundation/reg_settings.h"
#include "foundation/system_host.h"
#include "foundation/utf8.h"
#include "platform/net_interface.h"
#include "platform/socket_address.h"
#include "web/engine/gateway_http.h"

std::string LRoutingValue(const char16_t* name) {
    char16_t v[260];
    LRegSettingsGet(u"Routing", name, u"", v);
    return LToUtf8(v);
}

void LRoutingSetValue(const char16_t* name, const std::string& text) {
    LRegSettingsSet(u"Routing", name, LFromUtf8(text).c_str());
}

void LRoutingDeleteValue(const char16_t* name) { LRegSettingsDelete(u"Routing", name); }

void LRoutingSetError(const std::string& text, int kind) {
    LRoutingSetValue(u"Error", text);
    LRoutingSetValue(u"ErrorKB", std::to_string(kind));
}

void LRoutingClearError() {
    LRoutingDeleteValue(u"Error");
    LRoutingDeleteValue(u"ErrorKB");
}

std::string LRoutingHostAddress() {
    std::string lan = LPlatformLanAddress();
    if (!lan.empty()) return lan;
    char text[260];
    LGetLocalIPv4Text(text);
    return text;
}

bool LRoutingIsPrivate(const std::string& address) {
    uint8_t bytes[4];
    unsigned a, b, c, d;
    char tail;
    if (!LGatewayIsIPv4(address) || std::sscanf(address.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &tail) != 4)
        return true;
    bytes[0] = static_cast<uint8_t>(a);
    bytes[1] = static_cast<uint8_t>(b);
    bytes[2] = static_cast<uint8_t>(c);
    bytes[3] = static_cast<uint8_t>(d);
    return LNetIsPrivateAddress(bytes);
}

uint16_t LRoutingPortValue(const char16_t* name) {
    char16_t v[260];
    LRegSettingsGet(u"WebServer", name, u"", v);
    long port = std::strtol(LToUtf8(v).c_str(), nullptr, 10);
    return port > 0 && port <= 65535 ? static_cast<uint16_t>(port) : 0;
}
