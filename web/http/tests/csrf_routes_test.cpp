#include <gtest/gtest.h>

#include "web/http/csrf.h"
#include "web/http/routes.h"

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
