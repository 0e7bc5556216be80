#include "web/server/routing_values.h"

#include <cstdlib>

#include "foundation/reg_settings.h"
#include "foundation/system_host.h"
#include "foundation/utf8.h"
#include "platform/net_interface.h"
#include "platform/socket_address.h"
#include "web/server/gateway_http.h"

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
    uint32_t a = 0;
    return !LGatewayParseIPv4(address, a) || LNetIsPrivateAddress(reinterpret_cast<const uint8_t*>(&a));
}

uint16_t LRoutingPortValue(const char16_t* name) {
    char16_t v[260];
    LRegSettingsGet(u"WebServer", name, u"", v);
    long port = std::strtol(LToUtf8(v).c_str(), nullptr, 10);
    return port > 0 && port <= 65535 ? static_cast<uint16_t>(port) : 0;
}
