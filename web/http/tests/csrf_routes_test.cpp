#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "foundation/reg_settings.h"
#include "foundation/utf8.h"
#include "web/http/csrf.h"
#include "web/http/local_host.h"
#include "web/http/routes.h"
#include "web/http/tests/http_harness.h"

namespace {

TEST(Csrf, RefererOriginAndAjaxRules) {
    const char16_t* host = u"127.0.0.1:98";
    EXPECT_TRUE(LWebCsrfAccepts(false, host, u"http://127.0.0.1:98/index.html", nullptr, nullptr));
    EXPECT_FALSE(LWebCsrfAccepts(false, u"LOCALHOST:98", u"http://localhost:98/index.html", nullptr, nullptr));
    EXPECT_FALSE(LWebCsrfAccepts(false, host, u"http://127.0.0.1:98.evil/", nullptr, nullptr));
    EXPECT_TRUE(LWebCsrfAccepts(true, host, nullptr, u"https://127.0.0.1:98", nullptr));
    EXPECT_FALSE(LWebCsrfAccepts(false, host, nullptr, u"https://127.0.0.1:98", nullptr));
    EXPECT_FALSE(LWebCsrfAccepts(false, host, nullptr, u"http://127.0.0.1:98/", nullptr));
    EXPECT_TRUE(LWebCsrfAccepts(false, host, nullptr, nullptr, u"1"));
    EXPECT_FALSE(LWebCsrfAccepts(false, host, nullptr, nullptr, u""));
    EXPECT_FALSE(LWebCsrfAccepts(false, nullptr, nullptr, nullptr, nullptr));
}

TEST(Csrf, HostMustNameThisMachine) {
    LTestRoot root;
    LRegSettingsSet(u"Routing", u"DomainName", u"Mail.Example.org");
    char own[256] = {0};
    gethostname(own, sizeof own - 1);
    std::string lan = LTestOwnNonLoopbackAddress();
    struct Case {
        std::string host;
        bool ours;
    };
    const Case cases[] = {
        {"127.0.0.1:1098", true},
        {"127.9.8.7", true},
        {"LocalHost:1098", true},
        {"localhost.:1098", true},
        {"app.localhost:1098", true},
        {"[::1]:1098", true},
        {std::string(own) + ":1098", true},
        {"mail.example.org.", true},  // the configured public name
        {lan.empty() ? "127.0.0.2" : lan + ":1098", true},
        // A rebinding page's own name, however it dresses up.
        {"evil.example:1098", false},
        {"127.0.0.1.evil.example", false},
        {"localhost.evil.example", false},
        {"evillocalhost", false},
        {"127.0.0.1:1098x", false},
        {"[::1", false},
        {"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LWebHostNamesThisMachine(LFromUtf8(c.host).c_str()), c.ours) << c.host;
    EXPECT_FALSE(LWebHostNamesThisMachine(nullptr));
}

// A page of evil.example, whose name was made to point at this machine,
// calls a route: its Host, Origin and Referer all agree with each other.
TEST(Csrf, RebindingPageIsRefusedLoopbackPageServed) {
    LTestWebServer web;
    ASSERT_TRUE(web.Start());
    std::string session = "porlinex_sess=" + web.MakeSession();
    std::string port = std::to_string(web.port);
    struct Case {
        std::string host;
        std::vector<std::string> headers;
        bool refused;
    };
    const Case cases[] = {
        {"evil.example:" + port, {"Origin: http://evil.example:" + port}, true},
        {"evil.example:" + port, {"Referer: http://evil.example:" + port + "/index.html"}, true},
        {"evil.example:" + port, {"X-AJAX: 1"}, true},
        {"127.0.0.1:" + port, {"Origin: http://127.0.0.1:" + port}, false},
        {"localhost:" + port, {"X-AJAX: 1"}, false},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"-X", "POST", "-d", "{}", "-b", session, "-H", "Host: " + c.host};
        for (const std::string& h : c.headers) {
            args.push_back("-H");
            args.push_back(h);
        }
        std::string reply = web.Curl(args, "/loglist").output;
        EXPECT_EQ(reply.find("CSRF validation failed") != std::string::npos, c.refused) << c.host << "\n" << reply;
        if (!c.refused) {
            EXPECT_NE(reply.find("\"errorcode\":200"), std::string::npos) << reply;
        }
    }
}

void PageA(Weblet&, LWebletRoute*, uint64_t) {}
void JsonA(Weblet&, LJsonValue&) {}

TEST(Routes, PostPrefersJsonGetOnlyPages) {
    LWebletRoute* page = LWebletRegisterRoute(u"test/route-a", PageA, 1);
    LWebletRoute* json = LWebletRegisterJsonRoute(u"test/route-a", JsonA, 0);
    LWebletRoute* only_json = LWebletRegisterJsonRoute(u"test/route-b", JsonA, 0);
    EXPECT_EQ(LWebletFindRoute(u"test/route-a", true), json);
    EXPECT_EQ(LWebletFindRoute(u"test/route-a", false), page);
    EXPECT_EQ(LWebletFindRoute(u"test/route-b", false), nullptr);
    EXPECT_EQ(LWebletFindRoute(u"test/route-b", true), only_json);
    EXPECT_EQ(LWebletFindRoute(u"test/ROUTE-A", false), nullptr);
    EXPECT_EQ(page->load_session, 1u);
}

}  // namespace
