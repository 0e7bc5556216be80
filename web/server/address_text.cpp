#include "web/server/address_text.h"

#include "foundation/format.h"
#include "foundation/system_host.h"
#include "foundation/utf8.h"
#include "net/net_address.h"
#include "web/server/routing_values.h"
#include "web/server/web_server.h"

namespace {

void WithPort(char16_t out[260], const char16_t* address, uint16_t port, uint16_t bare) {
    if (port == bare)
        LCopyField(out, address);
    else
        LFormatEscPathW(out, u"%s:%d", address, static_cast<int>(port));
}

}  // namespace

void LRoutingGetLocalAddress(char16_t out[260]) {
    std::string mode = LRoutingValue(u"LocalAddressMode");
    if (mode == "1" || (mode != "2" && mode != "3" && mode != "4" && !LNetCheckNetworkParams())) {
        char text[260];
        LGetLocalIPv4Text(text);
        LUTF8ToWideBuf(out, text);
    } else if (mode == "3") {
        LNetGetLocalHostName(out);
    } else if (mode == "4") {
        LRoutingGetPublicAddress(out);
    } else {
        LGetHostNameW(out);
    }
}

void LRoutingGetPublicAddress(char16_t out[260]) {
    bool domain = LRoutingValue(u"PublicAddressMode") == "2";
    LUTF8ToWideBuf(out, LRoutingValue(domain ? u"DomainName" : u"StaticIPAddress").c_str());
}

void LWebLocalAddressText(char16_t out[260]) {
    char16_t address[260];
    LRoutingGetLocalAddress(address);
    WithPort(out, address, LWebServerGetPort(), 80);
}

void LWebPublicAddressText(char16_t out[260]) {
    char16_t address[260];
    LRoutingGetPublicAddress(address);
    uint16_t port = LRoutingPortValue(u"PublicPort");
    WithPort(out, address, port ? port : LWebServerGetPort(), 80);
}

void LWebPublicSecureAddressText(char16_t out[260]) {
    char16_t address[260];
    LRoutingGetPublicAddress(address);
    uint16_t port = LRoutingPortValue(u"PublicSecurePort");
    WithPort(out, address, port ? port : LWebServerGetSecurePort(), 443);
}
