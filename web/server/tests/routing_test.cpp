// Public routing against a fake UPnP gateway and ping service on loopback
// (testdata/fake_gateway.py), first shown to be a real gateway to
// miniupnpc's own client; firewalls through fake firewall-cmd and ufw
// programs that record how they were called.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <memory>
#include <thread>

#include "foundation/reg_settings.h"
#include "foundation/utf8.h"
#include "foundation/wait.h"
#include "platform/system_info.h"
#include "tests/support/service_harness.h"
#include "tests/support/test_root.h"
#include "tests/support/tls_peer.h"
#include "web/server/address_text.h"
#include "web/server/auto_routing.h"
#include "web/server/engine_notifier.h"
#include "web/server/firewall.h"
#include "web/server/gateway_http.h"
#include "web/server/ping_service.h"
#include "web/server/routing_values.h"
#include "web/server/routing_wizard.h"
#include "web/server/tests/fake_gateway.h"
#include "web/server/tests/tool_run.h"
#include "web/server/upnp.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kChanged =
    "Public IP address changed since configuration was last run. If your ISP cannot provide a static IP you need to "
    "use a dynamic IP service.";

void SetWeb(const char16_t* name, const std::string& value) {
    LRegSettingsSet(u"WebServer", name, LFromUtf8(value).c_str());
}

// A fresh root, a fake gateway, the search pointed at it, and fake
// firewall programs first on PATH (no test may touch the real firewall).
struct RoutingFixture {
    explicit RoutingFixture(const std::vector<std::string>& gateway_options = {})
        : gateway(root.Path(), gateway_options),
          ssdp(LSsdpTargetVariable, gateway.SsdpTarget()),
          path("PATH", FakeBin() + ":" + std::getenv("PATH")) {}

    std::string FakeBin() {
        std::string bin = root.Path() + "/bin";
        fs::create_directories(bin);
        LTestWriteFakeProgram(bin, "firewall-cmd", Firewall(), "running", 0);
        return bin;
    }
    std::string Firewall() const { return root.Path() + "/firewall-cmd.calls"; }
    void UsePingService() { LRoutingSetValue(u"PingService", gateway.HttpBase() + "/"); }

    LTestRoot root;
    LTestFakeGateway gateway;
    LTestScopedEnv ssdp;
    LTestScopedEnv path;
    LPlainWait wait;
};

TEST(Routing, MiniupnpcMapsAPortOnTheFakeGateway) {
    if (LTestRunTool({"sh", "-c", "command -v upnpc"}).exit_code != 0)
        GTEST_SKIP() << "upnpc is not installed (scripts/packages/web-certs.txt)";
    LTestRoot root;
    LTestFakeGateway gateway(root.Path());
    ASSERT_TRUE(gateway.Ok());
    LTestToolResult r = LTestRunTool({"upnpc", "-u", gateway.HttpBase() + "/rootDesc.xml", "-a", "127.0.0.1", "8080",
                                      "8081", "TCP"});
    EXPECT_EQ(r.exit_code, 0) << r.output;
    EXPECT_NE(r.output.find("is redirected to internal 127.0.0.1:8080"), std::string::npos) << r.output;
    EXPECT_EQ(gateway.Count({"\"action\": \"AddPortMapping\"", "<NewExternalPort>8081</NewExternalPort>"}), 1u);
}

TEST(Routing, GatewayUrlsAndAddressesAreTakenStrictly) {
    struct Case {
        const char* url;
        bool ok;
        const char* host_text;
        const char* path;
    };
    const Case cases[] = {
        {"http://192.168.1.1:5000/rootDesc.xml", true, "192.168.1.1:5000", "/rootDesc.xml"},
        {"HTTP://10.0.0.1", true, "10.0.0.1:80", "/"},
        {"https://192.168.1.1/", false, "", ""},
        {"http://router.local/", false, "", ""},
        {"http://192.168.1.1:0/", false, "", ""},
        {"http://192.168.1.1:65536/", false, "", ""},
        {"http://192.168.01.1/", false, "", ""},
        {"http://192.168.1.256/", false, "", ""},
        {"http://192.168.1.1/a b", false, "", ""},
        {"http://192.168.1.1/a\r\nHost: x", false, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        LGatewayUrl url;
        ASSERT_EQ(LGatewayParseUrl(c.url, url), c.ok);
        if (c.ok) {
            EXPECT_EQ(url.HostText(), c.host_text);
            EXPECT_EQ(url.path, c.path);
        }
    }
    LGatewayUrl base, control;
    ASSERT_TRUE(LGatewayParseUrl("http://192.168.1.1:5000/desc.xml", base));
    EXPECT_TRUE(LGatewayResolveUrl(base, "/ctl/IPConn", control));
    EXPECT_EQ(control.HostText() + control.path, "192.168.1.1:5000/ctl/IPConn");
    EXPECT_TRUE(LGatewayResolveUrl(base, "ctl", control));
    EXPECT_EQ(control.path, "/ctl");
    EXPECT_TRUE(LGatewayResolveUrl(base, "http://192.168.1.1:6000/c", control));
    EXPECT_FALSE(LGatewayResolveUrl(base, "http://127.0.0.1:5000/c", control));
    EXPECT_FALSE(LGatewayResolveUrl(base, "", control));
    for (const char* good : {"203.0.113.7", "0.0.0.0", "255.255.255.255"}) EXPECT_TRUE(LGatewayIsIPv4(good)) << good;
    for (const char* bad : {"", "1.2.3", "1.2.3.4.", "1.2.3.4 ", "<b>1.2.3.4</b>", "1.2.3.04", "1.2.3.4x"})
        EXPECT_FALSE(LGatewayIsIPv4(bad)) << bad;
}

TEST(Routing, AnEndlessReplyIsCutAtItsCap) {
    LTestRoot root;
    LTestFakeGateway gateway(root.Path());
    ASSERT_TRUE(gateway.Ok());
    LGatewayUrl url;
    ASSERT_TRUE(LGatewayParseUrl(gateway.HttpBase() + "/endless", url));
    LPlainWait wait;
    int status = 0;
    std::string body;
    EXPECT_EQ(LGatewayExchange(wait, url, "GET /endless HTTP/1.1\r\nHost: x\r\n\r\n", 8192, 20000, status, body), 0u);
    EXPECT_EQ(status, 200);
    EXPECT_EQ(body.size(), 8192u);
}

struct RefreshCase {
    const char* name;
    std::vector<std::string> gateway;
    const char* known_address;  // StaticIPAddress before
    const char* error;          // Routing\Error after ("" = none)
    const char* kind;           // Routing\ErrorKB after
    const char* mapped_on;      // the control path that took the mapping ("" = none)
    size_t attempts;            // AddPortMapping requests in all
};

TEST(Routing, RefreshOfTheForwarding) {
    const RefreshCase cases[] = {
        {"WANIP, address new", {"--junk-first"}, "", kChanged, "10220", "/ctl/IPConn", 1},
        {"WANIP unconfigured, WANPPP takes it", {"--services", "ppp"}, "203.0.113.7", "", "", "/ctl/PPPConn", 1},
        {"gateway refuses", {"--fault"}, "203.0.113.7", "uPnp has been disabled on the router.", "10222", "", 2},
        {"no WAN service", {"--services", "none"}, "203.0.113.7", "uPnp router configuration changed.", "10222", "", 0},
    };
    for (const RefreshCase& c : cases) {
        SCOPED_TRACE(c.name);
        RoutingFixture f(c.gateway);
        ASSERT_TRUE(f.gateway.Ok());
        LRoutingSetValue(u"UpdateuPNP", "1");
        LRoutingSetValue(u"StaticIPAddress", c.known_address);
        LRoutingSetError("an old error", 10221);
        uint16_t public_port = 8443;
        EXPECT_EQ(LUPnPMapPortFor(f.wait, "192.168.1.20", 1498, public_port), 0u);
        EXPECT_EQ(LRoutingValue(u"Error"), c.error);
        EXPECT_EQ(LRoutingValue(u"ErrorKB"), c.kind);
        EXPECT_EQ(LRoutingValue(u"Tested"), "1");
        EXPECT_EQ(LRoutingValue(u"StaticIPAddress"), "203.0.113.7");
        if (*c.mapped_on) {
            EXPECT_EQ(f.gateway.Count({"\"action\": \"AddPortMapping\"", c.mapped_on,
                                       "<NewExternalPort>8443</NewExternalPort><NewProtocol>TCP</NewProtocol>"
                                       "<NewInternalPort>1498</NewInternalPort>"
                                       "<NewInternalClient>127.0.0.1</NewInternalClient>",
                                       "Porlinex TCP Redirection", "SOAPACTION: \\\"urn:schemas-upnp-org:service:"}),
                      1u);
        }
        EXPECT_EQ(f.gateway.Count({"\"action\": \"AddPortMapping\""}), c.attempts);
    }
}

TEST(Routing, LocationOnAnotherHostIsNeverFetched) {
    RoutingFixture f({"--location-host", "127.0.0.2"});
    ASSERT_TRUE(f.gateway.Ok());
    LUPnPResult result;
    EXPECT_EQ(LUPnPForwardPort(f.wait, 1498, 1498, result), 2u);
    EXPECT_GE(f.gateway.Count({"\"kind\": \"ssdp\"", "M-SEARCH"}), 2u);
    EXPECT_EQ(f.gateway.Count({"\"kind\": \"http\""}), 0u);
}

// Stops the routing thread a while into a search that nobody answers.
TEST(Routing, StopDuringTheSearchEndsTheThreadAtOnce) {
    RoutingFixture f({"--silent"});
    ASSERT_TRUE(f.gateway.Ok());
    SetWeb(u"AutoRouting", "1");
    LRoutingSetValue(u"UpdateuPNP", "1");
    LAutoRoutingThread thread;
    thread.Start(LThreadPriorityLowest);
    ASSERT_TRUE(LTestWaitFor(10000, [&] { return f.gateway.Count({"M-SEARCH"}) >= 1; }));
    auto t0 = std::chrono::steady_clock::now();
    thread.Stop();
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
    std::cout << "[ timing ] routing thread stopped " << ms << " ms after the request\n";
    EXPECT_LT(ms, 1000);
    EXPECT_EQ(LRoutingValue(u"Tested"), "");
}

struct Recorder : LEngineNotifier {
    std::vector<uint32_t> codes;
    void Notify(uint32_t code, const void*, uint32_t) override { codes.push_back(code); }
};

TEST(Routing, AutoRouteRefreshesTheEnabledPortAndTellsTheDesktop) {
    RoutingFixture f;
    ASSERT_TRUE(f.gateway.Ok());
    SetWeb(u"Port", "18098");
    SetWeb(u"AutoRouting", "1");
    LRoutingSetValue(u"UpdateuPNP", "1");
    Recorder recorder;
    LEngineNotifierSet(&recorder);
    LWebAutoRoute(f.wait);
    LEngineNotifierSet(nullptr);
    EXPECT_EQ(recorder.codes, std::vector<uint32_t>{LRoutingChangedEvent});
    char16_t v[260];
    LRegSettingsGet(u"WebServer", u"PublicPort", u"", v);
    EXPECT_EQ(LToUtf8(v), "18098");
    // The TLS listener is off (SecureEnabled missing): only one mapping.
    EXPECT_EQ(f.gateway.Count({"AddPortMapping", "<NewInternalPort>18098</NewInternalPort>"}), 1u);
    EXPECT_EQ(f.gateway.Count({"AddPortMapping"}), 1u);
}

struct PingCase {
    const char* name;
    const char* ping;  // the fake's mode, or "dead" / "unset"
    uint32_t verdict;
    const char* error;  // Routing\Error after the public-address test
};

TEST(Routing, PingServiceVerdicts) {
    const PingCase cases[] = {
        {"reachable", "connect", LRoutingReachable, ""},
        {"not reachable", "noconnect", LRoutingUnreachable,
         "Connection test failed. Please check your firewall settings that it is not blocking TCP/IP port 1498."},
        {"service answers 404", "none", LRoutingUnknown, "an old error"},
        {"service dead", "dead", LRoutingUnknown, "an old error"},
        {"no service set", "unset", LRoutingUnknown, "an old error"},
    };
    for (const PingCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string mode = c.ping;
        RoutingFixture f({"--ping", mode == "connect" || mode == "noconnect" ? mode : "none"});
        ASSERT_TRUE(f.gateway.Ok());
        if (mode == "dead") LRoutingSetValue(u"PingService", "http://127.0.0.1:" + std::to_string(LTestFreePort()));
        else if (mode != "unset") f.UsePingService();
        std::string text, address;
        EXPECT_EQ(LRoutingPingTest(f.wait, 1498, text), c.verdict);
        EXPECT_EQ(LRoutingGetExternalIP(f.wait, address), c.verdict == LRoutingUnknown ? 2u : 0u);
        EXPECT_EQ(address, c.verdict == LRoutingUnknown ? "" : "203.0.113.7");

        // This host on a public address: the test from outside decides.
        LRoutingSetError("an old error", 10221);
        uint16_t public_port = 8080;
        EXPECT_EQ(LRoutingTestWizardFor(f.wait, "198.51.100.20", 1498, public_port), 0u);
        EXPECT_EQ(LRoutingValue(u"Error"), c.error);
        EXPECT_EQ(public_port, 1498);
        EXPECT_EQ(LRoutingValue(u"StaticIPAddress"), "198.51.100.20");
        EXPECT_EQ(LRoutingValue(u"Tested"), "1");
        EXPECT_NE(LRoutingValue(u"LocalAddressMode"), "0");
        EXPECT_EQ(LTestReadFile(f.Firewall()), "--state\n--add-port=1498/tcp\n--permanent --add-port=1498/tcp\n");
    }
}

TEST(Routing, WizardBehindARouter) {
    {
        SCOPED_TRACE("UPnP forwards, the outside cannot connect");
        RoutingFixture f({"--ping", "noconnect"});
        f.UsePingService();
        uint16_t public_port = 8443;
        EXPECT_EQ(LRoutingTestWizardFor(f.wait, "192.168.1.20", 1498, public_port), 0u);
        EXPECT_EQ(LRoutingValue(u"LocalAddressMode"), "0");
        EXPECT_EQ(LRoutingValue(u"PublicAddressMode"), "0");
        EXPECT_EQ(LRoutingValue(u"UpdateuPNP"), "1");
        EXPECT_EQ(LRoutingValue(u"StaticIPAddress"), "203.0.113.7");
        EXPECT_EQ(LRoutingValue(u"Error"), "Connection test failed. Please check router's firewall is not blocking "
                                           "TCP/IP port 8443 and your computer firewall is not blocking port 1498.");
        EXPECT_EQ(LRoutingValue(u"ErrorKB"), "10221");
    }
    {
        SCOPED_TRACE("the router refuses UPnP");
        RoutingFixture f({"--fault", "--ping", "connect", "--external", "198.51.100.44"});
        f.UsePingService();
        uint16_t public_port = 8443;
        EXPECT_EQ(LRoutingTestWizardFor(f.wait, "192.168.1.20", 1498, public_port), 2u);
        EXPECT_EQ(LRoutingValue(u"Error"), "Router uPNP Disabled. Please log into your router and add TCP/IP port "
                                           "forwarding from public port 8443 to 192.168.1.20 port 1498 or enable uPNP "
                                           "and try again.");
        EXPECT_EQ(LRoutingValue(u"ErrorKB"), "10046");
        EXPECT_EQ(LRoutingValue(u"StaticIPAddress"), "198.51.100.44");
        EXPECT_EQ(LRoutingValue(u"UpdateuPNP"), "0");
    }
}

struct FirewallCase {
    const char* name;
    const char* program;  // the fake on PATH ("" = none)
    const char* output;
    int exit_code;
    bool opened;
    const char* calls;  // what the fake was asked, in order
};

TEST(Routing, FirewallThroughWhatTheMachineRuns) {
    const FirewallCase cases[] = {
        {"firewalld runs", "firewall-cmd", "running", 0, true,
         "--state\n--add-port=1498/tcp\n--permanent --add-port=1498/tcp\n"},
        {"firewalld stopped, no ufw", "firewall-cmd", "not running", 252, false, "--state\n"},
        {"ufw active", "ufw", "Status: active", 0, true, "status\nallow 1498/tcp comment Porlinex TCP/IP Port\n"},
        {"ufw inactive", "ufw", "Status: inactive", 0, false, "status\n"},
        {"neither", "", "", 0, false, ""},
    };
    for (const FirewallCase& c : cases) {
        SCOPED_TRACE(c.name);
        LTestRoot root;
        std::string bin = root.Path() + "/bin", calls = root.Path() + "/calls";
        fs::create_directories(bin);
        if (*c.program) LTestWriteFakeProgram(bin, c.program, calls, c.output, c.exit_code);
        LTestScopedEnv path("PATH", bin);
        EXPECT_EQ(LFirewallAllowPort(1498), c.opened);
        EXPECT_EQ(LTestReadFile(calls), c.calls);
    }
}

TEST(Routing, AddressTexts) {
    LTestRoot root;
    SetWeb(u"Port", "80");
    SetWeb(u"SecurePort", "1498");
    LRoutingSetValue(u"LocalAddressMode", "2");
    LRoutingSetValue(u"PublicAddressMode", "2");
    LRoutingSetValue(u"DomainName", "mail.example.org");
    LRoutingSetValue(u"StaticIPAddress", "203.0.113.7");
    char16_t out[260];
    LWebLocalAddressText(out);
    EXPECT_EQ(LToUtf8(out), LPlatformHostName());
    LWebPublicSecureAddressText(out);
    EXPECT_EQ(LToUtf8(out), "mail.example.org:1498");
    SetWeb(u"PublicSecurePort", "443");
    LWebPublicSecureAddressText(out);
    EXPECT_EQ(LToUtf8(out), "mail.example.org");
    LRoutingSetValue(u"PublicAddressMode", "0");
    SetWeb(u"PublicPort", "8080");
    LWebPublicAddressText(out);
    EXPECT_EQ(LToUtf8(out), "203.0.113.7:8080");
    LRoutingSetValue(u"LocalAddressMode", "4");
    SetWeb(u"Port", "1098");
    LWebLocalAddressText(out);
    EXPECT_EQ(LToUtf8(out), "203.0.113.7:1098");
}

// The real service: public routing asks nothing of any router, and opens
// nothing in the firewall, until the user turns it on.
TEST(RoutingProgram, FreshInstallSendsNoSearch) {
    RoutingFixture f;
    ASSERT_TRUE(f.gateway.Ok());
    LTestFakeGateway& gateway = f.gateway;
    {
        LTestService service;
        ASSERT_TRUE(service.WaitRunning());
        // The routing thread would have searched at once.
        ASSERT_TRUE(LTestWaitFor(20000, [] { return LTestService::LogText().find("Starting web server") != std::string::npos; }));
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        EXPECT_EQ(service.Stop(), 0);
    }
    EXPECT_EQ(gateway.Count({"M-SEARCH"}), 0u);
    EXPECT_EQ(LTestReadFile(f.Firewall()), "");

    // The same with public access turned on does search: the check above
    // would have seen one.
    SetWeb(u"PublicEnabled", "1");
    SetWeb(u"AutoRouting", "1");
    LRoutingSetValue(u"UpdateuPNP", "1");
    LTestService service;
    ASSERT_TRUE(service.WaitRunning());
    EXPECT_TRUE(LTestWaitFor(20000, [&] { return gateway.Count({"AddPortMapping"}) >= 1; }));
    EXPECT_EQ(service.Stop(), 0);
}

}  // namespace
