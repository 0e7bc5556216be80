#include "web/server/upnp.h"

#include <arpa/inet.h>

#include "foundation/lstring.h"
#include "platform/net_interface.h"

namespace {

constexpr uint32_t kSoapMs = 23192;
constexpr size_t kMaxReply = 16384;
const char* const kServices[] = {"WANIPConnection:1", "WANPPPConnection:1"};

std::string DottedText(uint32_t network_order) {
    const auto* b = reinterpret_cast<const uint8_t*>(&network_order);
    return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." + std::to_string(b[3]);
}

// The steps on one WAN connection service.
uint32_t RunService(LTaskProgress& progress, const LGatewayUrl& control, const char* service, uint16_t local_port,
                    uint16_t public_port, LUPnPResult& result) {
    std::string reply;
    bool fault = false;
    // A failed call of the first two lets the steps go on: not every
    // gateway knows them.
    uint32_t r = LUPnPSoapAction(progress, control, service, "GetConnectionTypeInfo", "", reply, fault);
    if (r == 1) return 1;
    if (r == 0 && LGatewayTagText(reply, "NewConnectionType").find("Unconfigured") != std::string::npos) return 2;
    r = LUPnPSoapAction(progress, control, service, "GetNATRSIPStatus", "", reply, fault);
    if (r == 1) return 1;
    std::string nat = LGatewayTagText(reply, "NewNATEnabled");
    if (r == 0 && !nat.empty() && (nat[0] == '0' || nat[0] == 'F' || nat[0] == 'f')) return 2;
    r = LUPnPSoapAction(progress, control, service, "GetExternalIPAddress", "", reply, fault);
    if (r != 0) return r;
    // The address lands in pages and e-mails: only a plain address is kept.
    std::string external = LGatewayTagText(reply, "NewExternalIPAddress");
    if (LGatewayIsIPv4(external)) result.external_address = external;

    // The forwarding goes to the address this machine really uses towards
    // the gateway, not to whatever its name resolves to.
    uint32_t local = 0;
    if (!LPlatformLocalAddressTowards(control.address, htons(control.port), local)) return 2;
    LStringA args;
    args.Format("<NewRemoteHost></NewRemoteHost><NewExternalPort>%d</NewExternalPort><NewProtocol>%s</NewProtocol>"
                "<NewInternalPort>%d</NewInternalPort><NewInternalClient>%s</NewInternalClient>"
                "<NewEnabled>1</NewEnabled><NewPortMappingDescription>Porlinex %s Redirection"
                "</NewPortMappingDescription><NewLeaseDuration>0</NewLeaseDuration>",
                static_cast<int>(public_port), "TCP", static_cast<int>(local_port), DottedText(local).c_str(), "TCP");
    r = LUPnPSoapAction(progress, control, service, "AddPortMapping", std::string(args.View()), reply, fault);
    if (r == 2 && fault) result.refused = true;
    return r;
}

}  // namespace

std::string LUPnPControlUrl(const std::string& description, const char* service) {
    std::string key = std::string("<serviceType>urn:schemas-upnp-org:service:") + service + "</serviceType>";
    size_t at = description.find(key);
    if (at == std::string::npos) return std::string();
    // The control URL of this service, not of the one after it.
    size_t end = description.find("</service>", at);
    std::string inside = description.substr(at, end == std::string::npos ? std::string::npos : end - at);
    std::string url = LGatewayTagText(inside, "controlURL");
    return inside.find("<controlURL>") == std::string::npos ? std::string() : url;
}

uint32_t LUPnPSoapAction(LTaskProgress& progress, const LGatewayUrl& control, const char* service, const char* action,
                         const std::string& arguments, std::string& reply, bool& fault) {
    reply.clear();
    fault = false;
    LStringA body, request;
    body.Format("<?xml version=\"1.0\"?>\r\n<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
                "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body><u:%s "
                "xmlns:u=\"urn:schemas-upnp-org:service:%s\">%s</u:%s></s:Body></s:Envelope>\r\n",
                action, service, arguments.c_str(), action);
    request.Format("POST %s HTTP/1.1\r\nHost: %s\r\nCONTENT-LENGTH: %d\r\nCONTENT-TYPE: text/xml; charset=\"utf-8\"\r\n"
                   "SOAPACTION: \"urn:schemas-upnp-org:service:%s#%s\"\r\n\r\n%s",
                   control.path.c_str(), control.HostText().c_str(), static_cast<int>(body.length), service, action,
                   body.c_str());
    int status = 0;
    uint32_t r = LGatewayExchange(progress, control, std::string(request.View()), kMaxReply, kSoapMs, status, reply);
    if (r != 0) return r;
    fault = reply.find("<faultstring>") != std::string::npos;
    return status == 200 && !fault ? 0 : 2;
}

uint32_t LUPnPQueryGateway(LTaskProgress& progress, const LUPnPGateway& gateway, uint16_t local_port,
                           uint16_t public_port, LUPnPResult& result) {
    uint32_t r = 2;
    for (const char* service : kServices) {
        LGatewayUrl control;
        std::string url = LUPnPControlUrl(gateway.description, service);
        // A control URL on another host is never followed.
        if (url.empty() || !LGatewayResolveUrl(gateway.location, url, control)) continue;
        r = RunService(progress, control, service, local_port, public_port, result);
        if (r != 2) return r;
    }
    return r;
}

uint32_t LUPnPForwardPort(LTaskProgress& progress, uint16_t local_port, uint16_t public_port, LUPnPResult& result) {
    LUPnPGateway gateway;
    uint32_t r = LUPnPDiscoverGateway(progress, gateway);
    if (r != 0) return r;
    return LUPnPQueryGateway(progress, gateway, local_port, public_port, result);
}
