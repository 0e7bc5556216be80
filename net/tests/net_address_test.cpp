// Address helpers: splitting, the strict parser, the private-address test,
// resolution, and the MX lookup against a dnsmasq on loopback.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "foundation/log.h"
#include "foundation/utf8.h"
#include "net/net_address.h"
#include "platform/dns.h"
#include "tests/support/test_root.h"
#include "tests/support/tls_peer.h"

namespace {

std::string Dotted(uint32_t address) {
    char buf[INET_ADDRSTRLEN];
    in_addr a{address};
    inet_ntop(AF_INET, &a, buf, sizeof buf);
    return buf;
}

TEST(NetAddress, SplitHostPort) {
    struct Case {
        const char* text;
        const char* host;
        uint16_t port;
    };
    const Case cases[] = {
        {"mail.example.com:8080", "mail.example.com", 8080},
        {"mail.example.com", "mail.example.com", 25},
        {"10.0.0.1:65535", "10.0.0.1", 65535},
        {"host:65536", "host", 0},  // out of range never wraps to another port
        {"host:99999", "host", 0},
        {"host:-1", "host", 0},
        {"host:12ab", "host", 0},
        {"host:", "host", 0},
    };
    for (const auto& c : cases) {
        char host[260];
        EXPECT_EQ(LNetSplitHostPortA(c.text, host, 25), c.port) << c.text;
        EXPECT_STREQ(host, c.host) << c.text;
        char16_t whost[260];
        EXPECT_EQ(LNetSplitHostPort(LFromUtf8(c.text).c_str(), whost, 25), c.port) << c.text;
        EXPECT_EQ(LToUtf8(whost), c.host);
    }
    char host[260];
    std::string longer(400, 'h');
    LNetSplitHostPortA(longer.c_str(), host, 1);
    EXPECT_EQ(std::string(host).size(), 259u);
}

TEST(NetAddress, ParseAddressPortIsStrict) {
    struct Case {
        const char* text;
        bool ok;
        uint8_t a, b, c, d;
        uint16_t port;  // 7 when the text leaves it alone
    };
    const Case cases[] = {
        {"1.2.3.4", true, 1, 2, 3, 4, 7},
        {"1.2.3.4:25", true, 1, 2, 3, 4, 25},
        {"255.255.255.255:65535", true, 255, 255, 255, 255, 65535},
        {"192.168.0.10:0", true, 192, 168, 0, 10, 0},
        {"1.2.3", false, 0, 0, 0, 0, 7},
        {"1.2.3.4.", false, 0, 0, 0, 0, 7},
        {"1..2.3", false, 0, 0, 0, 0, 7},
        {"1.2.3.4.5", false, 0, 0, 0, 0, 7},
        {"300.1.1.1", false, 0, 0, 0, 0, 7},
        {"1.2.3.256", false, 0, 0, 0, 0, 7},
        {"1.2.3.4:65536", false, 0, 0, 0, 0, 7},
        {"1.2.3.4:", false, 0, 0, 0, 0, 7},
        {"1.2.3:4", false, 0, 0, 0, 0, 7},
        {"1.2.3.4:2:5", false, 0, 0, 0, 0, 7},
        {" 1.2.3.4", false, 0, 0, 0, 0, 7},
        {"", false, 0, 0, 0, 0, 7},
    };
    for (const auto& c : cases) {
        uint8_t addr[4] = {9, 9, 9, 9};
        uint16_t port = 7;
        EXPECT_EQ(LNetParseAddressPort(LFromUtf8(c.text).c_str(), addr, port), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(addr[0], c.a);
            EXPECT_EQ(addr[1], c.b);
            EXPECT_EQ(addr[2], c.c);
            EXPECT_EQ(addr[3], c.d);
            EXPECT_EQ(port, c.port) << c.text;
        }
    }
}

TEST(NetAddress, PrivateAddresses) {
    struct Case {
        uint8_t a, b, c, d;
        bool is_private;
    };
    const Case cases[] = {
        {10, 0, 0, 1, true},      {10, 255, 255, 255, true}, {172, 16, 0, 1, true},    {172, 31, 255, 1, true},
        {172, 15, 0, 1, false},   {172, 32, 0, 1, false},    {172, 48, 0, 1, false},   {172, 240, 0, 1, false},
        {192, 168, 1, 1, true},   {192, 169, 0, 1, false},   {127, 0, 0, 1, true},     {127, 1, 0, 1, true},
        {169, 254, 3, 4, true},   {8, 8, 8, 8, false},       {11, 0, 0, 1, false},     {193, 168, 0, 1, false},
    };
    for (const auto& c : cases) {
        uint8_t addr[4] = {c.a, c.b, c.c, c.d};
        EXPECT_EQ(LNetIsPrivateAddress(addr), c.is_private)
            << int(c.a) << "." << int(c.b) << "." << int(c.c) << "." << int(c.d);
    }
}

TEST(NetAddress, ResolveHost) {
    LNetAddressList list;
    LNetResolveHost(list, "10.0.0.1", 143);
    ASSERT_EQ(list.count, 1u);
    EXPECT_EQ(Dotted(list.addresses[0]), "10.0.0.1");
    EXPECT_EQ(list.port, 143);
    LNetResolveHost(list, "localhost:8080", 143);
    ASSERT_GE(list.count, 1u);
    EXPECT_EQ(Dotted(list.addresses[0]), "127.0.0.1");
    EXPECT_EQ(list.port, 8080);
    LNetResolveHost(list, "no-such-host.invalid", 25);
    EXPECT_EQ(list.count, 0u);

    uint32_t picked = 42;
    LNetPickHostAddress(picked, "no-such-host.invalid");
    EXPECT_EQ(picked, 42u);
    LNetPickHostAddress(picked, "127.0.0.9");
    EXPECT_EQ(Dotted(picked), "127.0.0.9");
}

TEST(NetAddress, LocalHostNameAndConnectivity) {
    char16_t name[260];
    LNetGetLocalHostName(name);
    EXPECT_FALSE(LToUtf8(name).empty());
    EXPECT_TRUE(LNetCheckNetworkParams());
    LSetServiceFlag(true);
    EXPECT_TRUE(LNetHasInternetConnection());
    LSetServiceFlag(false);
}

// dnsmasq answering for example.test on a free loopback port, logging the
// queries it gets.
class Dnsmasq : public ::testing::Test {
protected:
    void SetUp() override {
        port_ = LTestFreePort();
        std::vector<std::string> argv = {
            "dnsmasq", "-k", "--port=" + std::to_string(port_), "--listen-address=127.0.0.1", "--bind-interfaces",
            "--no-resolv", "--no-hosts", "--conf-file=/dev/null", "--pid-file=" + root_.Path() + "/dnsmasq.pid",
            "--log-queries", "--log-facility=" + root_.Path() + "/dnsmasq.log",
            // dnsmasq answers in the reverse order of these lines, so the
            // exchanger with the higher preference value comes first.
            "--mx-host=example.test,mx-low.example.test,5", "--mx-host=example.test,mx-high.example.test,20",
            "--host-record=mx-low.example.test,127.0.0.5", "--host-record=mx-high.example.test,127.0.0.6",
            "--host-record=example.test,127.0.0.8", "--host-record=plain.test,127.0.0.9",
            "--srv-host=_imaps._tcp.example.test,imap.example.test.,993,10,5"};
        if (geteuid() == 0) argv.push_back("--user=root");
        dnsmasq_ = std::make_unique<LTestProcess>(argv);
        ASSERT_TRUE(LTestWaitFor(10000, [&] { return LTestReadFile(root_.Path() + "/dnsmasq.log").find("started") != std::string::npos; }));
        env_ = std::make_unique<LTestScopedEnv>("PORLINEX_DNS_SERVER", "127.0.0.1:" + std::to_string(port_));
    }
    std::string Log() { return LTestReadFile(root_.Path() + "/dnsmasq.log"); }

    LTestRoot root_;
    int port_ = 0;
    std::unique_ptr<LTestProcess> dnsmasq_;
    std::unique_ptr<LTestScopedEnv> env_;
};

TEST_F(Dnsmasq, MailExchangerIsTheLowestPreference) {
    char host[260];
    uint16_t port = 0;
    LNetMailExchangerHost(u"example.test", host, port);
    EXPECT_STREQ(host, "mx-low.example.test");
    EXPECT_EQ(port, 25);
    LNetSocketAddress target;
    LNetResolveMailExchanger(target, u"example.test");
    EXPECT_EQ(Dotted(target.address), "127.0.0.5");
    EXPECT_EQ(ntohs(target.port), 25);
}

TEST_F(Dnsmasq, DomainWithoutMxIsItsOwnExchanger) {
    LNetSocketAddress target;
    LNetResolveMailExchanger(target, u"plain.test");
    EXPECT_EQ(Dotted(target.address), "127.0.0.9");
    EXPECT_EQ(ntohs(target.port), 25);
}

TEST_F(Dnsmasq, GivenPortSkipsTheMxQuery) {
    LNetSocketAddress target;
    LNetResolveMailExchanger(target, u"example.test:587");
    EXPECT_EQ(Dotted(target.address), "127.0.0.8");
    EXPECT_EQ(ntohs(target.port), 587);
    EXPECT_EQ(Log().find("query[MX]"), std::string::npos) << Log();
    EXPECT_NE(Log().find("query[A] example.test"), std::string::npos) << Log();
}

TEST_F(Dnsmasq, SrvRecords) {
    std::vector<LDnsSrvRecord> srv;
    ASSERT_TRUE(LPlatformDnsQuerySrv("_imaps._tcp.example.test", srv));
    ASSERT_EQ(srv.size(), 1u);
    EXPECT_EQ(srv[0].target, "imap.example.test");
    EXPECT_EQ(srv[0].port, 993);
    EXPECT_EQ(srv[0].priority, 10);
    EXPECT_EQ(srv[0].weight, 5);
    EXPECT_FALSE(LPlatformDnsQuerySrv("_submission._tcp.example.test", srv) && !srv.empty());
}

}  // namespace
