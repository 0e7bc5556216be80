// "Download again": the purge clears what came from the server and keeps
// what exists only here.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "foundation/log.h"
#include "mail/store/accounts.h"
#include "mail/store/fts_index.h"
#include "mail/store/tests/store_fixture.h"

namespace {

namespace fs = std::filesystem;

class PurgeTest : public StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        cache_ = root_.Path() + "/home/.local/share/Vek Software/Porlinex/CachedAttachments";
        Exec(Db(),
             "INSERT INTO EMAILACCOUNTS (ID, EMAIL, LAST_SYNC, LAST_MAILBOXLIST_REFRESH_UTC) VALUES "
             "('acc1', 'one@example.test', '2024-05-01 00:00:00', '2024-05-01 00:00:00'), "
             "('acc2', 'two@example.test', '2024-05-01 00:00:00', '2024-05-01 00:00:00');"
             "INSERT INTO EMAILACCOUNTSPASSWORDS VALUES ('acc1', 'c2VjcmV0');"
             "INSERT INTO EMAILMAILBOXES (ID, EMAILACCOUNTS_ID, IMAP_NAME, IMAP_UIDVALIDITY, IMAP_UIDNEXT, IMAP_FLAGS) "
             "VALUES ('in1', 'acc1', 'INBOX', 7, 900, NULL), ('sent1', 'acc1', 'Sent', 8, 20, NULL), "
             "('out1', 'acc1', 'Outbox', 0, 0, '\\Outbox'), ('drafts1', 'acc1', 'Drafts', 9, 4, NULL), "
             "('in2', 'acc2', 'INBOX', 3, 10, NULL);"
             "INSERT INTO EMAIL_MAILBOX_SYNC_STATE (MAILBOX_ID) VALUES ('in1'), ('drafts1'), ('in2');");
        // Synced mail of acc1, more than one chunk of it.
        for (int i = 0; i < LEmailPurgeChunkRows * 2 + 37; ++i) {
            TestMessage m;
            m.id = "sync" + std::to_string(i);
            m.mailbox = i % 3 ? "in1" : "sent1";
            m.uid = i + 1;
            m.subject = "Synced zebra report " + std::to_string(i);
            InsertMessage(Db(), m);
            Companions(m.id, i < 3);
        }
        // Local rows of acc1: a queued message in the Outbox and a draft in
        // the server's Drafts mailbox.
        for (const char* id : {"queued1", "draft1"}) {
            TestMessage m;
            m.id = id;
            m.mailbox = id[0] == 'q' ? "out1" : "drafts1";
            m.uidvalidity = 0;
            m.uid = 1;
            m.subject = "Local zebra note";
            InsertMessage(Db(), m);
            Companions(id, true);
        }
        // Another account's synced mail.
        for (int i = 0; i < 4; ++i) {
            TestMessage m;
            m.id = "other" + std::to_string(i);
            m.account = "acc2";
            m.mailbox = "in2";
            m.uidvalidity = 3;
            m.uid = i + 1;
            m.subject = "Other zebra mail";
            InsertMessage(Db(), m);
            Companions(m.id, true);
        }
    }

    // Address, part and safety rows, and an attachment whose file is cached.
    void Companions(const std::string& id, bool cached_file) {
        std::string path;
        if (cached_file) {
            fs::create_directories(cache_ + "/" + id);
            path = cache_ + "/" + id + "/att" + id + "-report.pdf";
            std::ofstream(path) << "%PDF";
        }
        Exec(Db(), "INSERT INTO EMAIL_MESSAGE_ADDRESSES (MESSAGE_ID, KIND, EMAIL) VALUES ('" + id +
                       "', 'FROM', 'a@example.test');"
                       "INSERT INTO EMAIL_MESSAGE_PARTS (ID, MESSAGE_ID, PART_ID) VALUES ('p" + id + "', '" + id +
                       "', '1');"
                       "INSERT INTO AUTORESPONDER_MESSAGE_SAFETY (EMAIL_MESSAGE_ID) VALUES ('" + id + "');"
                       "INSERT INTO EMAIL_MESSAGE_ATTACHMENTS (ID, MESSAGE_ID, STORAGE_PATH) VALUES ('att" + id +
                       "', '" + id + "', '" + path + "');");
    }
    int64_t Count(const std::string& table, const std::string& column, const std::string& like) {
        return QueryInt(Db(), "SELECT COUNT(*) FROM " + table + " WHERE " + column + " LIKE '" + like + "'");
    }

    std::string cache_;
};

TEST_F(PurgeTest, SyncedMailGoesLocalMailAndOtherAccountsStay) {
    // A row whose cached path points outside the cache must not delete it.
    std::string outside = root_.Path() + "/outside.txt";
    std::ofstream(outside) << "keep";
    Exec(Db(), "UPDATE EMAIL_MESSAGE_ATTACHMENTS SET STORAGE_PATH='" + outside + "' WHERE MESSAGE_ID='sync5';");
    std::string escaping = cache_ + "/../escape.txt";
    std::ofstream(root_.Path() + "/home/.local/share/Vek Software/Porlinex/escape.txt") << "keep";
    Exec(Db(), "UPDATE EMAIL_MESSAGE_ATTACHMENTS SET STORAGE_PATH='" + escaping + "' WHERE MESSAGE_ID='sync6';");

    ASSERT_TRUE(LEmailAccountPurgeMessages(Db(), u"acc1"));

    // Synced rows with every companion, their index entries and their files.
    for (const char* table : {"EMAIL_MESSAGE_ADDRESSES", "EMAIL_MESSAGE_PARTS", "EMAIL_MESSAGE_ATTACHMENTS"})
        EXPECT_EQ(Count(table, "MESSAGE_ID", "sync%"), 0) << table;
    EXPECT_EQ(Count("AUTORESPONDER_MESSAGE_SAFETY", "EMAIL_MESSAGE_ID", "sync%"), 0);
    EXPECT_EQ(Count("EMAIL_MESSAGES", "ID", "sync%"), 0);
    EXPECT_FALSE(fs::exists(cache_ + "/sync0"));
    EXPECT_FALSE(fs::exists(cache_ + "/sync2"));
    EXPECT_TRUE(fs::exists(outside));
    EXPECT_TRUE(fs::exists(root_.Path() + "/home/.local/share/Vek Software/Porlinex/escape.txt"));
    EXPECT_EQ(QueryInt(Db(), "SELECT COUNT(*) FROM EMAIL_MESSAGES_FTS WHERE EMAIL_MESSAGES_FTS MATCH 'synced'"), 0);
    EXPECT_EQ(QueryInt(Db(), "SELECT COUNT(*) FROM EMAIL_MESSAGES_FTS WHERE EMAIL_MESSAGES_FTS MATCH 'zebra'"), 6);
    char16_t error[260];
    EXPECT_TRUE(LEmailFtsIntegrityCheck(Db(), true, error));

    // Local rows keep everything, and the mailboxes that hold them.
    EXPECT_EQ(QueryInt(Db(), "SELECT COUNT(*) FROM EMAIL_MESSAGES WHERE ACCOUNT_ID='acc1'"), 2);
    for (const char* id : {"queued1", "draft1"}) {
        EXPECT_EQ(Count("EMAIL_MESSAGE_ADDRESSES", "MESSAGE_ID", id), 1) << id;
        EXPECT_EQ(Count("EMAIL_MESSAGE_ATTACHMENTS", "MESSAGE_ID", id), 1) << id;
        EXPECT_TRUE(fs::exists(cache_ + "/" + id)) << id;
    }
    EXPECT_EQ(QueryText(Db(), "SELECT GROUP_CONCAT(ID) FROM (SELECT ID FROM EMAILMAILBOXES WHERE "
                              "EMAILACCOUNTS_ID='acc1' ORDER BY ID)"),
              "drafts1,out1");
    // A kept server mailbox is listed and scanned again from the start.
    EXPECT_EQ(QueryInt(Db(), "SELECT IMAP_UIDVALIDITY + IMAP_UIDNEXT FROM EMAILMAILBOXES WHERE ID='drafts1'"), 0);
    EXPECT_EQ(Count("EMAIL_MAILBOX_SYNC_STATE", "MAILBOX_ID", "drafts1"), 0);
    EXPECT_EQ(QueryInt(Db(), "SELECT COUNT(*) FROM EMAILACCOUNTS WHERE ID='acc1' AND LAST_SYNC IS NULL AND "
                             "LAST_MAILBOXLIST_REFRESH_UTC IS NULL"),
              1);
    EXPECT_EQ(Count("EMAILACCOUNTSPASSWORDS", "ID", "acc1"), 1);

    // The other account is untouched.
    EXPECT_EQ(Count("EMAIL_MESSAGES", "ACCOUNT_ID", "acc2"), 4);
    EXPECT_EQ(Count("EMAIL_MESSAGE_ATTACHMENTS", "MESSAGE_ID", "other%"), 4);
    EXPECT_TRUE(fs::exists(cache_ + "/other0"));
    EXPECT_EQ(Count("EMAIL_MAILBOX_SYNC_STATE", "MAILBOX_ID", "in2"), 1);
    EXPECT_EQ(QueryInt(Db(), "SELECT IMAP_UIDVALIDITY FROM EMAILMAILBOXES WHERE ID='in2'"), 3);
    EXPECT_EQ(QueryText(Db(), "SELECT LAST_SYNC FROM EMAILACCOUNTS WHERE ID='acc2'"), "2024-05-01 00:00:00");

    // A second purge finds nothing more to do.
    EXPECT_TRUE(LEmailAccountPurgeMessages(Db(), u"acc1"));
    EXPECT_FALSE(LEmailAccountPurgeMessages(Db(), u""));
}

// A chunk that fails rolls back whole: its rows and files stay, and the
// purge reports the failure.
TEST_F(PurgeTest, FailedChunkKeepsItsRowsAndFiles) {
    Exec(Db(), "CREATE TRIGGER block_purge BEFORE DELETE ON EMAIL_MESSAGES WHEN old.ID='sync1' "
               "BEGIN SELECT RAISE(ABORT, 'held'); END;");
    EXPECT_FALSE(LEmailAccountPurgeMessages(Db(), u"acc1"));
    EXPECT_EQ(Count("EMAIL_MESSAGES", "ID", "sync1"), 1);
    EXPECT_EQ(Count("EMAIL_MESSAGE_ATTACHMENTS", "MESSAGE_ID", "sync1"), 1);
    EXPECT_TRUE(fs::exists(cache_ + "/sync1"));
    char16_t error[260];
    EXPECT_TRUE(LEmailFtsIntegrityCheck(Db(), true, error));
    Exec(Db(), "DROP TRIGGER block_purge;");
    ASSERT_TRUE(LEmailAccountPurgeMessages(Db(), u"acc1"));
    EXPECT_EQ(Count("EMAIL_MESSAGES", "ID", "sync%"), 0);
    EXPECT_FALSE(fs::exists(cache_ + "/sync1"));
}

}  // namespace
