#include "foundation/primary_key.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>

#include "foundation/database.h"
#include "foundation/reg_settings.h"
#include "foundation/time_source.h"
#include "foundation/utf8.h"
#include "tests/support/test_root.h"

namespace {

std::string Key(uint64_t counter, uint16_t server) {
    char16_t out[11];
    LPrimaryKeyFormat(counter, server, out);
    return LToUtf8(out);
}

TEST(PrimaryKey, DigitsLeastSignificantFirstThenServer) {
    EXPECT_EQ(Key(0, 1), "0000000001");
    EXPECT_EQ(Key(35, 255), "z000000073");
    EXPECT_EQ(Key(36, 36), "0100000010");
    EXPECT_EQ(Key(0, 300), "000000008c");
    // Digits beyond the eighth are dropped.
    uint64_t big = 1;
    for (int i = 0; i < 8; ++i) big *= 36;
    EXPECT_EQ(Key(big + 1, 1), "1000000001");
}

TEST(PrimaryKey, RandomLettersAreLowerCaseAndVaried) {
    std::set<char16_t> seen;
    for (int i = 0; i < 200; ++i) {
        char16_t out[9];
        ASSERT_TRUE(LRandomLettersSecure(out, 8));
        EXPECT_EQ(out[8], 0);
        for (int k = 0; k < 8; ++k) {
            ASSERT_TRUE(out[k] >= u'a' && out[k] <= u'z');
            seen.insert(out[k]);
        }
    }
    EXPECT_EQ(seen.size(), 26u);
}

time_t FixedNow() { return 1796811072; }

class PrimaryKeyStore : public ::testing::Test {
protected:
    void SetUp() override { LPrimaryKeyResetProcessState(); }
    void TearDown() override {
        LSetNowFuncForTests(nullptr);
        LPrimaryKeyResetProcessState();
    }
    static uint64_t CounterOf(const char16_t key[11]) {
        uint64_t v = 0;
        for (int i = 7; i >= 0; --i) v = v * 36 + (key[i] <= u'9' ? key[i] - u'0' : key[i] - u'a' + 10);
        return v;
    }
    LTestRoot root;
};

TEST_F(PrimaryKeyStore, FreshInstallStartsFromTheClock) {
    LSetNowFuncForTests(FixedNow);
    char16_t a[11], b[11];
    LAppDatabaseAccount::SQLCreatePrimaryKey(a);
    LAppDatabaseAccount::SQLCreatePrimaryKey(b);
    uint64_t first = static_cast<uint64_t>(FixedNow() - 1513728000) * 800 + 256;
    EXPECT_EQ(CounterOf(a), first % (uint64_t(36) * 36 * 36 * 36 * 36 * 36 * 36 * 36));
    EXPECT_EQ(CounterOf(b), CounterOf(a) + 1);
    EXPECT_EQ(std::u16string(a + 8, 2), std::u16string(b + 8, 2));
}

TEST_F(PrimaryKeyStore, SessionIdsAreUniqueKeysWithLetters) {
    LAppDatabaseAccount db(false);
    ASSERT_TRUE(db.Exec(u"CREATE TABLE main.SESSION_DATA(ID CHAR(40) PRIMARY KEY NOT NULL);"));
    std::set<std::u16string> ids;
    for (int i = 0; i < 50; ++i) {
        char16_t id[19];
        LAppDatabaseAccount::CreateSessionID(db, id);
        ASSERT_EQ(std::u16string(id).size(), 18u);
        ids.insert(id);
    }
    EXPECT_EQ(ids.size(), 50u);
}

}  // namespace

namespace {

std::string Setting(const char16_t* name) {
    char16_t v[260];
    LRegSettingsGet(u"Settings", name, u"", v);
    return LToUtf8(v);
}

TEST_F(PrimaryKeyStore, StoredCounterResumesAndIsSavedEvery64) {
    LRegSettingsSet(u"Settings", u"SQLPrimaryKeyID", u"1000");
    LRegSettingsSet(u"Settings", u"SQLPrimaryKeyServerID", u"300");
    char16_t key[11];
    LAppDatabaseAccount::SQLCreatePrimaryKey(key);
    EXPECT_EQ(CounterOf(key), 1256u);
    EXPECT_EQ(std::u16string(key + 8), u"8c");
    EXPECT_EQ(Setting(u"SQLPrimaryKeyID"), "1257");
    while (CounterOf(key) < 1278) LAppDatabaseAccount::SQLCreatePrimaryKey(key);
    EXPECT_EQ(Setting(u"SQLPrimaryKeyID"), "1257");
    LAppDatabaseAccount::SQLCreatePrimaryKey(key);  // counter becomes 1280
    EXPECT_EQ(Setting(u"SQLPrimaryKeyID"), "1280");
}

TEST_F(PrimaryKeyStore, NewServerNumberIsDrawnAndKept) {
    char16_t key[11];
    LAppDatabaseAccount::SQLCreatePrimaryKey(key);
    int server = std::atoi(Setting(u"SQLPrimaryKeyServerID").c_str());
    EXPECT_GE(server, 1);
    EXPECT_LE(server, 255);
    char16_t expect[11];
    LPrimaryKeyFormat(0, static_cast<uint16_t>(server), expect);
    EXPECT_EQ(std::u16string(key + 8), std::u16string(expect + 8));
}

}  // namespace
