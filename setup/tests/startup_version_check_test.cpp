// The start-up version check under injected clocks against a version file
// served by python3 -m http.server: when it fetches, what it stores, when
// it asks, and when the program goes on starting.
#include <gtest/gtest.h>

#include <string>

#include "foundation/date_time.h"
#include "foundation/lstring.h"
#include "foundation/reg_settings.h"
#include "setup/startup_version_check.h"
#include "setup/version_check.h"
#include "setup/tests/maker_peer.h"

namespace {

constexpr int64_t kDay = 86400;

std::string UserValue(const char16_t* name) {
    char16_t out[260] = {0};
    LRegUserSettingsGet(u"Settings", name, u"", out);
    return LToUtf8(out);
}

void SetUser(const char16_t* name, const char* value) {
    if (*value)
        LRegUserSettingsSet(u"Settings", name, LFromUtf8(value).c_str());
    else
        LRegUserSettingsDelete(name);
}

struct Case {
    const char* name;
    int64_t age;          // days since the build
    const char* crashed;  // VersionCheckAfterCrash before
    int64_t lastCrash;    // LastCrashCheck days before now; -1: missing
    const char* osCheck;  // stored OSCheck
    const char* disabled; // PromptUpdateDisabled
    int download;         // the download's result; -1: the user says later
    bool goOn;
    bool fetched;
    bool asked;
};

const Case kCases[] = {
    {"fresh build, ordinary start", 30, "", -1, "", "", -1, true, false, false},
    {"old build, same system", 600, "", -1, "1000", "", -1, true, false, false},
    {"old build, system changed, later", 600, "", -1, "601", "", -1, true, true, true},
    {"crash, never checked", 30, "1", -1, "1000", "", -1, true, true, true},
    {"crash, checked a day ago", 30, "1", 1, "1000", "", -1, true, false, false},
    {"crash, checked 29 days ago", 30, "1", 29, "1000", "", -1, true, true, true},
    {"crash value 0 is no crash", 30, "0", -1, "1000", "", -1, true, false, false},
    {"prompt disabled still fetches", 600, "", -1, "", "1", 0, true, true, false},
    {"update started", 600, "", -1, "", "", 0, false, true, true},
    {"update failed", 600, "", -1, "", "", 2, true, true, true},
};

TEST(StartupVersionCheck, FetchesAsksAndStoresAsTheStateSays) {
    LTestRoot root;
    LTestFileServer server(root.Path() + "/www");
    ASSERT_TRUE(server.Ready());
    LTestWriteFile(root.Path() + "/www/versions/porlinex.txt", "version=2.1&info=http://i/&download=http://d/");
    LRegSettingsSet(u"Maker", u"DownloadHost", LFromUtf8(server.Host()).c_str());

    const time_t now = 1800000000;
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        LStartupFacts facts;
        facts.now = now;
        facts.build = now - c.age * kDay;
        facts.osReleased = now - 365 * kDay;
        facts.osVersion = 1000;
        facts.osRelease = 2409;
        SetUser(u"NewerVersion", "");
        SetUser(u"VersionCheckAfterCrash", c.crashed);
        SetUser(u"LastCrashCheck", c.lastCrash < 0 ? "" : std::to_string(now - c.lastCrash * kDay).c_str());
        SetUser(u"OSCheck", c.osCheck);
        SetUser(u"OSCheckWinRelease", *c.osCheck ? "2409" : "");
        LRegSettingsSet(u"Settings", u"PromptUpdateDisabled", LFromUtf8(c.disabled).c_str());

        bool asked = false;
        LPlainWait wait;
        LStartupSteps steps{[&](double& v) { return LGetNewerVersion(wait, v); },
                            [&] {
                                asked = true;
                                return c.download >= 0;
                            },
                            [&] { return c.download; }};
        bool goOn = LCheckVersionAtStartupWith(facts, steps);
        EXPECT_EQ(goOn, c.goOn);
        EXPECT_EQ(asked, c.asked);
        EXPECT_EQ(UserValue(u"NewerVersion"), c.fetched ? "210" : "");
        EXPECT_EQ(UserValue(u"VersionCheckAfterCrash"), "");
        if (c.fetched) {
            EXPECT_EQ(UserValue(u"OSCheck"), "1000");
            EXPECT_EQ(UserValue(u"OSCheckWinRelease"), "2409");
        }
        // A crash-triggered check records when it ran.
        if (c.fetched && *c.crashed == '1') {
            EXPECT_EQ(UserValue(u"LastCrashCheck"), std::to_string(now));
        }
    }
}

TEST(StartupVersionCheck, LogonStartAndOutdatedSystemNeverFetch) {
    LTestRoot root;
    LRegSettingsSet(u"Maker", u"DownloadHost", u"127.0.0.1:1");
    const time_t now = 1800000000;
    LStartupFacts logon{now, now - 600 * kDay, now - 365 * kDay, 1000, 2409, true};
    LStartupFacts outdated{now, now - 600 * kDay, now - 61 * 31 * kDay, 1000, 2409, false};
    for (const LStartupFacts& facts : {logon, outdated}) {
        LPlainWait wait;
        LStartupSteps steps{[&](double& v) { return LGetNewerVersion(wait, v); }, [] { return true; }, [] { return 0; }};
        EXPECT_TRUE(LCheckVersionAtStartupWith(facts, steps));
        EXPECT_EQ(UserValue(u"OSCheck"), "");
    }
}

}  // namespace
