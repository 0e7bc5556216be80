// Server discovery against a real nameserver (dnsmasq on loopback, with SRV,
// MX and address records) and loopback listeners standing in for the IMAP
// (993) and submission (587) ports.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "foundation/wait.h"
#include "mail/store/server_discovery.h"
#include "platform/socket.h"
#include "tests/support/test_root.h"
#include "tests/support/tls_peer.h"

namespace {

class DiscoveryTest : public ::testing::Test {
protected:
    void SetUp() override {
        imap_port_ = LTestFreePort();
        smtp_port_ = LTestFreePort();
        LEmailSetProbePortsForTests(static_cast<uint16_t>(imap_port_), static_cast<uint16_t>(smtp_port_));
        int dns_port = LTestFreePort();
        std::vector<std::string> argv = {
            "dnsmasq", "-k", "--port=" + std::to_string(dns_port), "--listen-address=127.0.0.1", "--bind-interfaces",
            "--no-resolv", "--no-hosts", "--conf-file=/dev/null", "--pid-file=" + root_.Path() + "/dnsmasq.pid",
            "--log-facility=" + root_.Path() + "/dnsmasq.log",
            // SRV: IMAP over TLS and submission.
            "--srv-host=_imaps._tcp.srv.test,imap.srvhost.test,993", "--srv-host=_submission._tcp.srv.test,smtp.srvhost.test,587",
            // SRV with only the plain IMAP record.
            "--srv-host=_imap._tcp.plainsrv.test,imap.srvhost.test,143",
            "--srv-host=_submission._tcp.plainsrv.test,smtp.srvhost.test,587",
            // SRV whose hosts do not answer: the next step runs.
            "--srv-host=_imaps._tcp.deadsrv.test,imap.nowhere.test,993",
            "--srv-host=_submission._tcp.deadsrv.test,smtp.nowhere.test,587", "--mx-host=deadsrv.test,mx.deadsrv.test,5",
            // MX at a provider that hosts other domains' mail.
            "--mx-host=hosted.test,mx1.eur.mail.protection.outlook.com,10", "--mx-host=hosted.test,backup.hosted.test,50",
            // MX of the domain's own provider: its parent domain is probed.
            "--mx-host=mxparent.test,MX1.Mail.ParentHost.TEST,10",
            "--host-record=imap.srvhost.test,127.0.0.2", "--host-record=smtp.srvhost.test,127.0.0.3",
            "--host-record=outlook.office365.com,127.0.0.4", "--host-record=smtp-mail.outlook.com,127.0.0.5",
            "--host-record=imap.mail.parenthost.test,127.0.0.6", "--host-record=smtp.mail.parenthost.test,127.0.0.7",
            "--host-record=imap.names.test,127.0.0.9", "--host-record=mail.names.test,127.0.0.10",
            "--host-record=mail.deadsrv.test,127.0.0.11", "--host-record=smtp.deadsrv.test,127.0.0.12"};
        if (geteuid() == 0) argv.push_back("--user=root");
        dnsmasq_ = std::make_unique<LTestProcess>(argv);
        ASSERT_TRUE(LTestWaitFor(10000, [&] {
            return LTestReadFile(root_.Path() + "/dnsmasq.log").find("started") != std::string::npos;
        }));
        env_ = std::make_unique<LTestScopedEnv>("PORLINEX_DNS_SERVER", "127.0.0.1:" + std::to_string(dns_port));
        for (const char* a : {"127.0.0.2", "127.0.0.4", "127.0.0.6", "127.0.0.9", "127.0.0.11"}) Listen(a, imap_port_);
        for (const char* a : {"127.0.0.3", "127.0.0.5", "127.0.0.7", "127.0.0.10", "127.0.0.12"}) Listen(a, smtp_port_);
    }
    void TearDown() override { LEmailSetProbePortsForTests(0, 0); }

    // The kernel completes the handshakes: a probe needs no accept.
    void Listen(const char* address, int port) {
        LSocket s = LPlatformSocketListen(inet_addr(address), htons(static_cast<uint16_t>(port)), 16);
        ASSERT_NE(s, LInvalidSocket) << address;
        listeners_.push_back(std::make_unique<LOwnedSocket>(s));
    }

    LTestRoot root_;
    int imap_port_ = 0, smtp_port_ = 0;
    std::unique_ptr<LTestProcess> dnsmasq_;
    std::unique_ptr<LTestScopedEnv> env_;
    std::vector<std::unique_ptr<LOwnedSocket>> listeners_;
};

TEST_F(DiscoveryTest, EachStepFindsItsHosts) {
    struct Case {
        const char* address;
        bool found;
        const char* imap;
        const char* smtp;
    } cases[] = {
        // The provider table answers without asking anybody.
        {"ann@gmail.com", true, "imap.gmail.com", "smtp.gmail.com"},
        {"Ann@GMail.COM..", true, "imap.gmail.com", "smtp.gmail.com"},
        {"ann@srv.test", true, "imap.srvhost.test", "smtp.srvhost.test"},
        {"Ann@SRV.Test.", true, "imap.srvhost.test", "smtp.srvhost.test"},
        {"ann@plainsrv.test", true, "imap.srvhost.test", "smtp.srvhost.test"},
        {"ann@deadsrv.test", true, "mail.deadsrv.test", "smtp.deadsrv.test"},
        {"ann@hosted.test", true, "outlook.office365.com", "smtp-mail.outlook.com"},
        {"ann@mxparent.test", true, "imap.mail.parenthost.test", "smtp.mail.parenthost.test"},
        // Only the last of the four name pairs answers on both ports.
        {"ann@names.test", true, "imap.names.test", "mail.names.test"},
        {"ann@nothing.test", false, "", ""},
        {"no-at-sign.test", false, "", ""},
        {"ann@", false, "", ""},
        {"ann@.", false, "", ""},
        {"ann@srv.test:993", false, "", ""},
        {"ann@srv test", false, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address);
        LPlainWait progress;
        char imap[260] = "x", smtp[260] = "x";
        EXPECT_EQ(LEmailGuessServers(progress, c.address, imap, smtp), c.found);
        EXPECT_STREQ(imap, c.imap);
        EXPECT_STREQ(smtp, c.smtp);
    }
}

TEST_F(DiscoveryTest, StepsOnTheirOwn) {
    LPlainWait progress;
    char host[260];
    uint16_t port = 0;
    ASSERT_TRUE(LDnsQuery("srv.test", "_imaps._tcp.", host, port));
    EXPECT_STREQ(host, "imap.srvhost.test");
    EXPECT_EQ(port, 993);
    EXPECT_FALSE(LDnsQuery("srv.test", "_imap._tcp.", host, port));
    EXPECT_EQ(host[0], 0);
    EXPECT_TRUE(LEmailProbePort(progress, "imap.srvhost.test", static_cast<uint16_t>(imap_port_)));
    EXPECT_FALSE(LEmailProbePort(progress, "imap.srvhost.test", static_cast<uint16_t>(smtp_port_)));
    EXPECT_FALSE(LEmailProbePort(progress, "no.such.host.test", static_cast<uint16_t>(imap_port_)));
    char imap[260], smtp[260];
    // The SRV hosts answer, but the MX step alone does not know this domain.
    EXPECT_FALSE(LEmailGuessServersMx(progress, "srv.test", imap, smtp));
    EXPECT_TRUE(LEmailGuessServersSrv(progress, "srv.test", imap, smtp));
    EXPECT_FALSE(LEmailGuessServersSrv(progress, "deadsrv.test", imap, smtp));
    EXPECT_EQ(imap[0], 0);
}

TEST(ProviderTable, LookupIsExactOnTheLowerCaseDomain) {
    char imap[260], smtp[260];
    for (const LEmailProvider& p : LEmailProviders) {
        ASSERT_TRUE(LEmailProviderLookup(p.domain, imap, smtp)) << p.domain;
        EXPECT_STREQ(imap, p.imap_host);
        EXPECT_STREQ(smtp, p.smtp_host);
    }
    for (const LEmailMxProvider& m : LEmailMxProviders)
        EXPECT_TRUE(LEmailProviderLookup(m.provider_domain, imap, smtp)) << m.provider_domain;
    for (const char* miss : {"", "Gmail.com", "gmail.co", "gmail.comm", "mail.gmail.com", "zzz.com", "0.com"})
        EXPECT_FALSE(LEmailProviderLookup(miss, imap, smtp)) << miss;
    EXPECT_EQ(imap[0], 0);
}

}  // namespace
