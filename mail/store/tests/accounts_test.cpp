// Account passwords behind their mask, the default Sent mailbox and the
// list-refresh flag.
#include <gtest/gtest.h>

#include <string>

#include "foundation/utf8.h"
#include "mail/store/accounts.h"
#include "mail/store/tests/store_fixture.h"

namespace {

class AccountsTest : public StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        Exec(Db(),
             "INSERT INTO EMAILACCOUNTS (ID, EMAIL, PASSWORD) VALUES ('live', 'live@example.test', 'old mask'), "
             "('gone', 'gone@example.test', NULL);"
             "UPDATE EMAILACCOUNTS SET DELETED='2024-01-01 00:00:00' WHERE ID='gone';");
    }
    std::string Mask(const char* id) {
        return QueryText(Db(), std::string("SELECT PASSWORD FROM EMAILACCOUNTS WHERE ID='") + id + "'");
    }
    int64_t StoredRows(const char* id) {
        return QueryInt(Db(), std::string("SELECT COUNT(*) FROM EMAILACCOUNTSPASSWORDS WHERE ID='") + id + "'");
    }
};

// Whole passwords back, never cut; one that cannot be kept whole is refused
// and the old values stay.
TEST_F(AccountsTest, PasswordsComeBackWholeOrAreRefused) {
    struct Case {
        std::string password;
        bool stored;
        size_t mask;
    } cases[] = {
        {"abc", true, 3},
        {std::string(192, 'x'), true, 192},     // the longest that fits the stored field
        {std::string(193, 'y'), false, 0},
        {std::string(300, 'z'), false, 0},
        {[] { std::string s; for (int i = 0; i < 96; ++i) s += "é"; return s; }(), true, 96},
        {"with \"quotes\" and 'apostrophes' \\", true, 33},
        {"", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.password.substr(0, 20) + "... (" + std::to_string(c.password.size()) + " bytes)");
        Exec(Db(), "DELETE FROM EMAILACCOUNTSPASSWORDS; UPDATE EMAILACCOUNTS SET PASSWORD='old mask' WHERE ID='live';");
        LWideFromUTF8 wide(c.password.c_str());
        EXPECT_EQ(LEmailAccountPasswordSet(Db(), u"live", wide.text), c.stored);
        char16_t out[260];
        if (c.stored) {
            EXPECT_EQ(Mask("live"), std::string(c.mask, '*'));
            ASSERT_TRUE(LEmailAccountPasswordGet(Db(), u"live", out));
            EXPECT_EQ(LToUtf8(out), c.password);
        } else {
            EXPECT_EQ(Mask("live"), "old mask");
            EXPECT_EQ(StoredRows("live"), 0);
        }
    }
}

TEST_F(AccountsTest, PasswordOfAnAccountThatIsNotLiveIsNotStored) {
    EXPECT_FALSE(LEmailAccountPasswordSet(Db(), u"gone", u"secret"));
    EXPECT_FALSE(LEmailAccountPasswordSet(Db(), u"nobody", u"secret"));
    EXPECT_EQ(StoredRows("gone") + StoredRows("nobody"), 0);
    EXPECT_EQ(QueryInt(Db(), "SELECT PASSWORD IS NULL FROM EMAILACCOUNTS WHERE ID='gone'"), 1);
}

TEST_F(AccountsTest, LegacyPasswordsMoveBehindTheMask) {
    Exec(Db(), "UPDATE EMAILACCOUNTS SET PASSWORD='hunter2' WHERE ID='live';"
               "UPDATE EMAILACCOUNTS SET PASSWORD='old plain' WHERE ID='gone';");
    char16_t out[260];
    ASSERT_TRUE(LEmailAccountPasswordGet(Db(), u"live", out));
    EXPECT_EQ(LToUtf8(out), "hunter2");
    EXPECT_EQ(Mask("live"), "*******");
    EXPECT_EQ(StoredRows("live"), 1);
    EXPECT_NE(QueryText(Db(), "SELECT PASSWORD FROM EMAILACCOUNTSPASSWORDS WHERE ID='live'"), "hunter2");
    // A deleted account's plain password does not stay in plain text either.
    LEmailAccountPasswordsMigrate(Db());
    EXPECT_EQ(Mask("gone"), "*********");
    EXPECT_EQ(StoredRows("gone"), 1);
    // Stars alone are no password.
    Exec(Db(), "DELETE FROM EMAILACCOUNTSPASSWORDS; UPDATE EMAILACCOUNTS SET PASSWORD='*****' WHERE ID='live';");
    EXPECT_FALSE(LEmailAccountPasswordGet(Db(), u"live", out));
    EXPECT_EQ(out[0], 0);
}

TEST_F(AccountsTest, DefaultSentMailboxAndListRefresh) {
    Exec(Db(),
         "INSERT INTO EMAILMAILBOXES (ID, EMAILACCOUNTS_ID, IMAP_NAME, DELETED) VALUES ('s1', 'live', 'Sent', NULL), "
         "('s2', 'live', 'Old Sent', '2024-01-01 00:00:00'), ('s3', 'gone', 'Sent', NULL);"
         "UPDATE EMAILACCOUNTS SET LAST_MAILBOXLIST_REFRESH_UTC='2024-05-01 00:00:00';");
    EXPECT_TRUE(LEmailAccountSetDefaultSentMailbox(Db(), u"live", u"Sent"));
    EXPECT_EQ(QueryText(Db(), "SELECT DEFAULT_SENT_MAILBOX FROM EMAILACCOUNTS WHERE ID='live'"), "Sent");
    EXPECT_FALSE(LEmailAccountSetDefaultSentMailbox(Db(), u"live", u"Old Sent"));
    EXPECT_FALSE(LEmailAccountSetDefaultSentMailbox(Db(), u"live", u"Missing"));
    EXPECT_FALSE(LEmailAccountSetDefaultSentMailbox(Db(), u"gone", u"Sent"));
    EXPECT_FALSE(LEmailAccountSetDefaultSentMailbox(Db(), u"live", u""));
    EXPECT_EQ(QueryText(Db(), "SELECT DEFAULT_SENT_MAILBOX FROM EMAILACCOUNTS WHERE ID='live'"), "Sent");
    EXPECT_TRUE(LEmailAccountClearListRefresh(Db(), u"live"));
    EXPECT_EQ(QueryInt(Db(), "SELECT COUNT(*) FROM EMAILACCOUNTS WHERE LAST_MAILBOXLIST_REFRESH_UTC IS NULL"), 1);
}

}  // namespace
