#include "web/server/auto_routing.h"

#include <string>

#include "foundation/reg_settings.h"
#include "foundation/utf8.h"
#include "web/server/engine_notifier.h"
#include "web/server/routing_values.h"
#include "web/server/routing_wizard.h"
#include "web/server/web_server.h"

namespace {

struct Listener {
    bool (*enabled)();
    uint16_t (*port)();
    const char16_t* auto_routing;
    const char16_t* public_port;
};

const Listener kListeners[] = {
    {LWebServerIsEnabled, LWebServerGetPort, u"AutoRouting", u"PublicPort"},
    {LWebServerIsSecureEnabled, LWebServerGetSecurePort, u"AutoRoutingSecure", u"PublicSecurePort"},
};

bool AutoRoutingOn(const Listener& l) {
    char16_t v[260];
    LRegSettingsGet(u"WebServer", l.auto_routing, u"", v);
    return v[0] != 0 && v[0] != u'0';
}

uint16_t PublicPort(const Listener& l) {
    uint16_t p = LRoutingPortValue(l.public_port);
    return p ? p : l.port();
}

void StorePort(const char16_t* name, uint16_t port) {
    LRegSettingsSet(u"WebServer", name, LFromUtf8(std::to_string(port)).c_str());
}

}  // namespace

uint32_t LWebRouteSetup(LTaskProgress& progress) {
    progress.SetStatusText(u"Routing Test Wizard", 0);
    for (const Listener& l : kListeners) {
        if (!l.enabled()) continue;
        uint16_t public_port = PublicPort(l);
        if (LRoutingTestWizard(progress, l.port(), public_port) == 1) return 1;
        LRegSettingsSet(u"WebServer", l.auto_routing, u"1");
        StorePort(l.public_port, public_port);
    }
    return 0;
}

void LWebAutoRoute(LTaskProgress& progress) {
    for (const Listener& l : kListeners) {
        if (!l.enabled()) continue;
        if (!AutoRoutingOn(l)) {
            if (LWebRouteSetup(progress) == 1) return;
            continue;
        }
        uint16_t public_port = PublicPort(l);
        if (LUPnPMapPort(progress, l.port(), public_port) == 1) return;
        StorePort(l.public_port, public_port);
    }
    LEngineNotify(LRoutingChangedEvent, nullptr, 0);
}
