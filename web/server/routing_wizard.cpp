#include "web/server/routing_wizard.h"

#include <cstdlib>

#include "foundation/lstring.h"
#include "net/net_address.h"
#include "web/server/firewall.h"
#include "web/server/gateway_http.h"
#include "web/server/ping_service.h"
#include "web/server/routing_values.h"
#include "web/server/upnp.h"

namespace {

constexpr const char* kAddressChanged =
    "Public IP address changed since configuration was last run. If your ISP cannot provide a static IP you need to "
    "use a dynamic IP service.";

void Status(LTaskProgress& progress, const char16_t* text, double fraction = -1) {
    progress.SetStatusText(text, 0);
    if (fraction >= 0) progress.SetProgress(fraction);
}

template <class... A>
std::string Text(const char* fmt, const A&... a) {
    LStringA s;
    s.Format(fmt, a...);
    return std::string(s.View());
}

// A found address is kept only when it is a plain IPv4 address.
void StoreAddress(const std::string& address) {
    if (LGatewayIsIPv4(address)) LRoutingSetValue(u"StaticIPAddress", address);
}

void SavePublicAddress(LTaskProgress& progress, const std::string& address, bool upnp) {
    Status(progress, u"Saving routing information");
    LRoutingSetValue(u"PublicAddressMode", "0");
    StoreAddress(address);
    LRoutingSetValue(u"UpdateuPNP", upnp ? "1" : "0");
}

// The outcome of a connection test: a failure is recorded, a pass clears
// the error, and an unknown outcome changes nothing.
uint32_t Verify(LTaskProgress& progress, uint16_t public_port, const std::string& failure) {
    std::string seen;
    uint32_t r = LRoutingPingTest(progress, public_port, seen);
    if (r == LRoutingStopped) return 1;
    if (r == LRoutingUnreachable) LRoutingSetError(failure, 10221);
    if (r == LRoutingReachable) LRoutingClearError();
    LRoutingSetValue(u"Tested", "1");
    return 0;
}

uint32_t BehindRouter(LTaskProgress& progress, const std::string& host, uint16_t local_port, uint16_t public_port) {
    Status(progress, u"Checking for a UPnP NAT", 0.4);
    LUPnPResult upnp;
    uint32_t r = LUPnPForwardPort(progress, local_port, public_port, upnp);
    if (r == 1) return 1;
    if (r != 0) {
        Status(progress, u"Preparing for manual configuration");
        std::string external;
        r = LRoutingGetExternalIP(progress, external);
        if (r == 1) return 1;
        if (r == 0) SavePublicAddress(progress, external, false);
        const char* text = upnp.refused ? "Router uPNP Disabled. Please log into your router and add TCP/IP port "
                                          "forwarding from public port %d to %s port %d or enable uPNP and try again."
                                        : "Router configuration required. Please log into your router and add TCP/IP "
                                          "port forwarding from public port %d to %s port %d.";
        LRoutingSetError(Text(text, static_cast<int>(public_port), host.c_str(), static_cast<int>(local_port)), 10046);
        LRoutingSetValue(u"Tested", "1");
        return 2;
    }
    SavePublicAddress(progress, upnp.external_address, true);
    Status(progress, u"Verifying connection", 0.8);
    std::string failure = Text("Connection test failed. Please check router's firewall is not blocking TCP/IP port %d "
                               "and your computer firewall is not blocking port %d.",
                               static_cast<int>(public_port), static_cast<int>(local_port));
    if (Verify(progress, public_port, failure) == 1) return 1;
    Status(progress, u"Completed", 1.0);
    return 0;
}

}  // namespace

uint32_t LUPnPMapPortFor(LTaskProgress& progress, const std::string& host, uint16_t local_port,
                         uint16_t& public_port) {
    Status(progress, u"Routing Test Wizard");
    if (std::atoi(LRoutingValue(u"PublicAddressMode").c_str()) != 0) return 0;
    std::string known = LRoutingValue(u"StaticIPAddress");
    if (LRoutingValue(u"UpdateuPNP") == "1") {
        Status(progress, u"Checking for a UPnP NAT");
        LUPnPResult upnp;
        uint32_t r = LUPnPForwardPort(progress, local_port, public_port, upnp);
        if (r == 1) return 1;
        if (r == 0 && !upnp.external_address.empty() && upnp.external_address != known) {
            StoreAddress(upnp.external_address);
            LRoutingSetError(kAddressChanged, 10220);
            LRoutingSetValue(u"Tested", "1");
            return 0;
        }
        if (r == 0)
            LRoutingClearError();
        else
            LRoutingSetError(upnp.refused ? "uPnp has been disabled on the router." : "uPnp router configuration changed.",
                             10222);
    } else if (!LRoutingIsPrivate(host) && host != known) {
        StoreAddress(host);
        LRoutingSetError(kAddressChanged, 10220);
    }
    LRoutingSetValue(u"Tested", "1");
    return 0;
}

uint32_t LRoutingTestWizardFor(LTaskProgress& progress, const std::string& host, uint16_t local_port,
                               uint16_t& public_port) {
    Status(progress, u"Routing Test Wizard");
    Status(progress, u"Checking for private address", 0.1);
    bool behind_router = LRoutingIsPrivate(host);
    LRoutingSetValue(u"LocalAddressMode", behind_router ? "0" : LNetCheckNetworkParams() ? "2" : "1");
    LFirewallAllowPort(local_port);
    if (progress.IsStopRequested()) return 1;

    Status(progress, u"Checking for public address", 0.2);
    std::string configured = LRoutingValue(LRoutingValue(u"PublicAddressMode") == "2" ? u"DomainName" : u"StaticIPAddress");
    if (LGatewayIsIPv4(configured) && LRoutingIsPrivate(configured)) configured.clear();
    if (!configured.empty()) {
        std::string seen;
        uint32_t r = LRoutingPingTest(progress, public_port, seen);
        if (r == LRoutingStopped) return 1;
        if (r == LRoutingReachable) {
            LRoutingClearError();
            LRoutingSetValue(u"Tested", "1");
            StoreAddress(seen);
            return 0;
        }
    }
    if (behind_router) return BehindRouter(progress, host, local_port, public_port);

    LRoutingSetValue(u"PublicAddressMode", "0");
    StoreAddress(host);
    LRoutingSetValue(u"UpdateuPNP", "0");
    public_port = local_port;
    return Verify(progress, public_port,
                  Text("Connection test failed. Please check your firewall settings that it is not blocking TCP/IP "
                       "port %d.",
                       static_cast<int>(public_port)));
}

uint32_t LUPnPMapPort(LTaskProgress& progress, uint16_t local_port, uint16_t& public_port) {
    return LUPnPMapPortFor(progress, LRoutingHostAddress(), local_port, public_port);
}

uint32_t LRoutingTestWizard(LTaskProgress& progress, uint16_t local_port, uint16_t& public_port) {
    return LRoutingTestWizardFor(progress, LRoutingHostAddress(), local_port, public_port);
}
