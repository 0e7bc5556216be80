#include "foundation/app_settings.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/utf8.h"
#include "tests/support/test_root.h"

namespace {

class AppSettings : public ::testing::Test {
protected:
    void SetUp() override { db.CreateRegisteredTables(); }
    std::string Get(const char16_t* item) {
        char16_t out[260];
        LDbAppSettingsGetString(db, item, out);
        return LToUtf8(out);
    }
    LTestRoot root;
    LAppDatabaseAccount db{false};
};

TEST_F(AppSettings, SetReadDeleteAndDefaults) {
    EXPECT_EQ(LDbAppSettingsGetSendDailyLimit(db), 10);
    EXPECT_TRUE(LDbAppSettingsGetBool(db, u"Enabled", true));
    LDbAppSettingsSetNoDefault(db, u"Enabled", u"true");
    EXPECT_FALSE(LDbAppSettingsGetBool(db, u"Enabled", true));  // only the integer 1 is true
    LDbAppSettingsSetNoDefault(db, u"Enabled", u"1");
    EXPECT_TRUE(LDbAppSettingsGetBool(db, u"Enabled", false));
    LDbAppSettingsSetNoDefault(db, u"SendDailyLimit", u"25");
    EXPECT_EQ(LDbAppSettingsGetSendDailyLimit(db), 25);
    LDbAppSettingsSetNoDefault(db, u"Name", u"it's");
    EXPECT_EQ(Get(u"Name"), "it's");
    LDbAppSettingsDelete(db, u"Name");
    EXPECT_EQ(Get(u"Name"), "");
    LAppDatabaseCursor cursor;
    EXPECT_FALSE(LDbAppSettingsGet(db, u"Name", cursor));
    EXPECT_FALSE(LDbAppSettingsGet(db, u"", cursor));
    char16_t updated[260] = {0};
    ASSERT_TRUE(db.QueryText(u"SELECT UPDATED FROM main.APPSETTINGS WHERE ITEM = 'Name';", updated));
    EXPECT_EQ(std::u16string(updated).size(), 19u);
}

TEST(AppSettingsSections, RefusedNamesAreExact) {
    EXPECT_TRUE(LDbAppSettingsIsReadOnlySection(u"UsageCredits"));
    EXPECT_TRUE(LDbAppSettingsIsReadOnlySection(u"EmailFreeSendUsage"));
    EXPECT_TRUE(LDbAppSettingsIsRestrictedSection(u"ServerConfig"));
    EXPECT_TRUE(LDbAppSettingsIsRestrictedSection(u"SystemSettings"));
    EXPECT_FALSE(LDbAppSettingsIsRestrictedSection(u"serverconfig"));
    EXPECT_FALSE(LDbAppSettingsIsReadOnlySection(u"MCP"));
}

}  // namespace
