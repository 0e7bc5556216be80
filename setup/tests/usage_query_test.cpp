// The usage counters and the query string the maker's pages receive.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "foundation/reg_settings.h"
#include "foundation/system_version.h"
#include "setup/usage_counters.h"
#include "setup/usage_query.h"
#include "setup/tests/machine_values.h"
#include "tests/support/test_root.h"
#include "tests/support/tls_peer.h"

namespace {

namespace fs = std::filesystem;

std::string Text(const LString& s) { return LToUtf8(s.c_str()); }

constexpr auto& Set = LTestSetMachineValue;
constexpr auto& Get = LTestMachineValue;
constexpr auto& VmPiece = LTestVmPiece;

TEST(UsageQuery, CommonQueryPiecesInOrder) {
    LTestRoot root;
    Set(u"Software", u"IID", "abcdefghijk");
    std::string head = "?software=Porlinex&appname=Porlinex&version=2.01" + VmPiece() +
                       "&appbits=64&base=email&domain=porlinex";
    {
        LString q;
        LAppendCommonQuery(q);
        EXPECT_EQ(Text(q), head + "&instby=dl&iid=abcdefghijk&help=0&ostype=0&osver=10.0");
    }
    // Stored values are encoded: one holding '&' or '=' adds no piece.
    Set(u"Software", u"Ref", "news&x=1");
    Set(u"Software", u"InstalledBy", "admin");
    Set(u"Software", u"SVar", "FG5h");
    ASSERT_TRUE(LRegUserSettingsSet(u"Software", u"HelpOpens", u"3"));
    LString q;
    LAppendCommonQuery(q);
    EXPECT_EQ(Text(q), head + "&ref=news%26x%3D1&instby=admin&iid=abcdefghijk&help=3&ostype=0&osver=10.0&svar=FG5h");
}

TEST(UsageQuery, ReferralPiecesOnlyWhenStored) {
    LTestRoot root;
    LString q;
    LAppendRefData(q);
    LAppendInstallerSVar(q);
    EXPECT_EQ(Text(q), "");
    Set(u"Software", u"RefData", "a=b&c%");
    Set(u"Software", u"InstallerSVar", "XY12");
    LAppendRefData(q);
    LAppendInstallerSVar(q);
    EXPECT_EQ(Text(q), "&refdata=a%3Db%26c%25&instsvar=XY12");
}

TEST(UsageQuery, UsageSampleFromTheCommandTable) {
    const std::vector<LCommandCount> table = {{0x12, 300}, {0xABCD, 7}, {0, 0}, {0x55, 5}};
    struct Case {
        int random;
        const char* expected;
    } cases[] = {{0, "&usage=0012FF"}, {1, "&usage=ABCD07"}, {32767, "&usage=ABCD07"}, {4, "&usage=0012FF"}};
    for (const Case& c : cases) {
        LString q;
        LAppendUsageSampleFrom(q, table, c.random);
        EXPECT_EQ(Text(q), c.expected) << c.random;
    }
    LString q;
    LAppendUsageSampleFrom(q, {}, 7);
    LAppendUsageSampleFrom(q, {{0, 9}, {3, 3}}, 7);
    EXPECT_EQ(Text(q), "") << "only the entries before the first free slot count";
}

TEST(UsageQuery, OsAndAddressClasses) {
    const std::pair<unsigned, int> types[] = {{0, 0},   {11, 0},  {122, 0}, {2, 1},   {101, 1}, {98, 1},
                                              {6, 3},   {16, 3},  {1, 4},   {72, 4},  {133, 4}, {48, 2},
                                              {127, 2}, {132, 2}, {97, 2},  {134, 2}};
    for (auto [type, cls] : types) EXPECT_EQ(LOsClassFromProductType(type), cls) << type;

    const std::pair<const char*, const char*> addresses[] = {
        {"10.1.2.3", "A"},    {"1.0.0.1", "A"},        {"126.0.0.1", "A"},   {"127.0.0.1", ""},
        {"128.0.0.1", "B"},   {"172.16.0.1", "B"},     {"191.255.0.1", "B"}, {"192.168.1.1", "C"},
        {"223.1.1.1", "C"},   {"224.0.0.1", ""},       {"255.255.255.255", ""}, {"0.0.0.0", ""},
    };
    for (auto [text, cls] : addresses) {
        in_addr a;
        ASSERT_EQ(inet_pton(AF_INET, text, &a), 1);
        EXPECT_EQ(LToUtf8(LIpPrivClass(a.s_addr)), cls) << text;
    }
    LString q;
    LAppendOsClass(q);
    EXPECT_EQ(Text(q).rfind("&osclass=0&ipprivclass=", 0), 0u) << Text(q);
}

TEST(UsageCounters, ActivePeriodsAndTheThanksPage) {
    LTestRoot root;
    LResetActiveTimeClock();
    for (time_t t : {1000, 1005, 1010, 1011, 1015, 1022, 900}) LCountActiveTimeAt(t);
    // 1000, 1011 and 1022 start periods; the clock set back to 900 too.
    EXPECT_EQ(Get(u"Settings", u"RunActive10sec"), "4");
    EXPECT_EQ(LGetFirstRunActiveTime(), 4);

    // "0" is not shown; once shown (as a new process sees it), only the
    // overall count grows.
    Set(u"Settings", u"Thanks", "0");
    LResetActiveTimeClock();
    LCountActiveTimeAt(2000);
    EXPECT_EQ(LGetFirstRunActiveTime(), 5);
    Set(u"Settings", u"Thanks", "1");
    LResetActiveTimeClock();
    LCountActiveTimeAt(3000);
    LCountActiveTimeAt(3020);
    EXPECT_EQ(Get(u"Settings", u"RunActive10sec"), "7");
    EXPECT_EQ(LGetFirstRunActiveTime(), 5);
    LResetActiveTimeClock();
}

TEST(UsageCounters, RunsAskForTheRatingAtTheNinthClosing) {
    LTestRoot root;
    Set(u"Settings", u"RunsSinceLastInstall", "garbage");
    for (int closing = 1; closing <= 10; ++closing) EXPECT_EQ(LCountRun(), closing == 9) << closing;
    EXPECT_EQ(Get(u"Settings", u"Runs"), "10");
    EXPECT_EQ(Get(u"Settings", u"RunsSinceLastInstall"), "10") << "an unreadable count starts at 0";
    LString q;
    LAppendDaysAndRuns(q, 5);
    EXPECT_EQ(Text(q), "&days=5&runs=11");
}

TEST(UsageCounters, DaysSinceInstall) {
    LTestRoot root;
    const time_t now = 1800000000;
    int days = -1;
    EXPECT_FALSE(LGetDaysSinceInstallAt(now, days));
    Set(u"Settings", u"InstallDateFirst", "0");
    EXPECT_FALSE(LGetDaysSinceInstallAt(now, days));
    const std::pair<time_t, int> cases[] = {
        {now, 0}, {now - 86400 * 26 / 10, 3}, {now - 86400 * 24 / 10, 2}, {now - 86400 * 200, 200}, {now + 86400 * 5, 0}};
    for (auto [first, expected] : cases) {
        Set(u"Settings", u"InstallDateFirst", std::to_string(first));
        ASSERT_TRUE(LGetDaysSinceInstallAt(now, days));
        EXPECT_EQ(days, expected) << first;
    }
}

TEST(UsageQuery, HelpPageAddressAndOpening) {
    LTestRoot root;
    Set(u"Software", u"IID", "abcdefghijk");
    LString url;
    LGetHelpPageUrl(url, u"index");
    // The command-use sample depends on the process's own table.
    std::string text = Text(url);
    if (size_t usage = text.find("&usage="); usage != std::string::npos)
        text.erase(usage, text.find('&', usage + 1) - usage);
    EXPECT_EQ(text, "http://help.porlinex.invalid/help/en/porlinex/win/index.html?software=Porlinex&appname=Porlinex"
                         "&version=2.01" + VmPiece() + "&appbits=64&base=email&domain=porlinex&instby=dl&iid=abcdefghijk"
                         "&help=0&ostype=0&osver=10.0&days=0&runs=1");

    // The opened address goes to the desktop opener (a recording stand-in).
    Set(u"Maker", u"HelpHost", "help.example.test");
    const std::string bin = root.Path() + "/bin", record = root.Path() + "/opened";
    fs::create_directories(bin);
    std::ofstream(bin + "/xdg-open") << "#!/bin/sh\nprintf '%s' \"$1\" > '" << record << "'\n";
    fs::permissions(bin + "/xdg-open", fs::perms::owner_all);
    const char* path = std::getenv("PATH");
    LTestScopedEnv env("PATH", bin + ":" + (path ? path : ""));
    LOpenHelpPage(u"lveksuitedialoglxa");
    ASSERT_TRUE(LTestWaitFor(10000, [&] { return !LTestReadFile(record).empty(); }));
    std::string opened = LTestReadFile(record);
    EXPECT_EQ(opened.rfind("http://help.example.test/help/en/porlinex/win/lveksuitedialoglxa.html?software=", 0), 0u)
        << opened;
    EXPECT_NE(opened.find("&help=1&"), std::string::npos) << "the opening is counted before the address is built";
}

}  // namespace
