// Server moves queued by local moves, IDLE, and a message the store refuses.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "foundation/lstring.h"
#include "mail/store/mailboxes.h"
#include "mail/store/tests/store_fixture.h"
#include "mail/sync/sync_engine.h"
#include "mail/sync/tests/sync_fixture.h"
#include "tests/support/service_harness.h"

namespace {

class SyncMoveTest : public SyncTest, public ::testing::WithParamInterface<const char*> {
protected:
    // Two messages in INBOX and one in Archive, mirrored.
    void Mirror() {
        Prepare(GetParam());
        ASSERT_TRUE(Save("INBOX", SyncMessage("keep", "<keep@x>")));
        ASSERT_TRUE(Save("INBOX", SyncMessage("move me", "<move@x>")));
        ASSERT_TRUE(Save("Archive", SyncMessage("archived", "<arch@x>")));
        StartEngine();
        ASSERT_TRUE(Pass());
        ASSERT_EQ(Rows(), 3);
    }
    std::string RowOf(const std::string& subject) {
        return QueryText(Db(), "SELECT ID FROM EMAIL_MESSAGES WHERE SUBJECT='" + subject + "';");
    }
};

}  // namespace

TEST_P(SyncMoveTest, AMoveIsDoneOnTheServerAndTheRowLinked) {
    Mirror();
    LString row = LFromUtf8(RowOf("move me"));
    ASSERT_EQ(LEmailMoveMessage(row.c_str(), u"Archive", false), 0);
    ASSERT_TRUE(Pass());
    EXPECT_EQ(ServerUids("INBOX").size(), 1u);
    EXPECT_EQ(LocalUids("Archive"), ServerUids("Archive"));
    EXPECT_EQ(LocalUids("INBOX"), ServerUids("INBOX"));
    EXPECT_EQ(Rows(), 3) << "the server's copy is the moved row, not a new one";
    EXPECT_EQ(QueryText(Db(), "SELECT MAILBOX_ID FROM EMAIL_MESSAGES WHERE ID='" + LToUtf8(row) + "';"),
              MailboxId("Archive"));
    EXPECT_EQ(QueryInt(Db(), "SELECT COUNT(*) FROM EMAIL_SERVER_MOVES;"), 0);
    ASSERT_TRUE(Pass());
    EXPECT_EQ(Rows(), 3);
    EXPECT_EQ(arrivals_.load(), 0) << "a moved-in copy is no arrival";
}

TEST_P(SyncMoveTest, AMoveTheServerRefusesIsUndone) {
    Mirror();
    // A mailbox the store knows and the server does not.
    Exec(Db(), "INSERT INTO EMAILMAILBOXES (ID, EMAILACCOUNTS_ID, IMAP_NAME) VALUES ('ghost', 'acc1', 'Ghost');");
    std::string row = RowOf("move me");
    int64_t uid = QueryInt(Db(), "SELECT UID FROM EMAIL_MESSAGES WHERE ID='" + row + "';");
    ASSERT_EQ(LEmailMoveMessage(LFromUtf8(row).c_str(), u"Ghost", false), 0);
    ASSERT_TRUE(Pass());
    EXPECT_EQ(QueryText(Db(), "SELECT MAILBOX_ID FROM EMAIL_MESSAGES WHERE ID='" + row + "';"), MailboxId("INBOX"));
    EXPECT_EQ(QueryInt(Db(), "SELECT UID FROM EMAIL_MESSAGES WHERE ID='" + row + "';"), uid);
    EXPECT_EQ(ServerUids("INBOX").size(), 2u);
    EXPECT_EQ(QueryInt(Db(), "SELECT COUNT(*) FROM EMAIL_SERVER_MOVES;"), 0);
    EXPECT_EQ(Rows(), 3);
}

// A message another client expunged: the server answers OK and moves
// nothing (with UIDPLUS there is no COPYUID; without it a search finds no
// such UID), so the row goes back and the log says why.
TEST_P(SyncMoveTest, AMoveOfAMessageGoneFromTheServerIsUndone) {
    Mirror();
    std::string row = RowOf("move me");
    int64_t uid = QueryInt(Db(), "SELECT UID FROM EMAIL_MESSAGES WHERE ID='" + row + "';");
    dovecot_.Doveadm({"expunge", "-u", "alice", "mailbox", "INBOX", "uid", std::to_string(uid)});
    ASSERT_EQ(ServerUids("INBOX").size(), 1u);
    ASSERT_EQ(LEmailMoveMessage(LFromUtf8(row).c_str(), u"Archive", false), 0);
    ASSERT_TRUE(Pass());
    EXPECT_EQ(QueryText(Db(), "SELECT MAILBOX_ID FROM EMAIL_MESSAGES WHERE ID='" + row + "';"), MailboxId("INBOX"));
    EXPECT_EQ(QueryInt(Db(), "SELECT UID FROM EMAIL_MESSAGES WHERE ID='" + row + "';"), uid);
    EXPECT_EQ(QueryInt(Db(), "SELECT COUNT(*) FROM EMAIL_SERVER_MOVES;"), 0);
    EXPECT_EQ(ServerUids("Archive").size(), 1u);
    std::string log = LTestService::ActivityText();
    EXPECT_NE(log.find("no longer in INBOX"), std::string::npos) << log;
    EXPECT_NE(log.find("Server move failed for email " + row), std::string::npos);
    EXPECT_EQ(log.find("Server move complete for email " + row), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Capabilities, SyncMoveTest,
                         ::testing::Values("", "IMAP4rev1 LITERAL+ IDLE"),
                         [](const auto& info) { return std::string(*info.param ? "Narrowed" : "Full"); });

TEST_F(SyncTest, AMoveQueuedBeforeAStopIsDoneAfterTheRestart) {
    Prepare();
    ASSERT_TRUE(Save("INBOX", SyncMessage("move me", "<move@x>")));
    ASSERT_TRUE(Save("Archive", SyncMessage("archived", "<arch@x>")));
    StartEngine();
    ASSERT_TRUE(Pass());
    LMailSyncShutdown();
    // What a local move leaves behind when the process dies before the
    // worker got to it: the row moved and the server move recorded.
    std::string row = QueryText(Db(), "SELECT ID FROM EMAIL_MESSAGES WHERE SUBJECT='move me';");
    std::string inbox = MailboxId("INBOX"), archive = MailboxId("Archive");
    int64_t uid = QueryInt(Db(), "SELECT UID FROM EMAIL_MESSAGES WHERE ID='" + row + "';");
    int64_t validity = QueryInt(Db(), "SELECT UIDVALIDITY FROM EMAIL_MESSAGES WHERE ID='" + row + "';");
    Exec(Db(), "UPDATE EMAIL_MESSAGES SET MAILBOX_ID='" + archive + "', UID=-1 WHERE ID='" + row + "';");
    Exec(Db(), "INSERT INTO EMAIL_SERVER_MOVES (ACCOUNT_ID, MESSAGE_ID, SOURCE_MAILBOX_ID, TARGET_MAILBOX_ID, UID, "
               "UIDVALIDITY) VALUES ('acc1', '" + row + "', '" + inbox + "', '" + archive + "', " +
                   std::to_string(uid) + ", " + std::to_string(validity) + ");");
    StartEngine();
    ASSERT_TRUE(Pass());
    EXPECT_TRUE(ServerUids("INBOX").empty());
    EXPECT_EQ(ServerUids("Archive").size(), 2u);
    EXPECT_EQ(LocalUids("Archive"), ServerUids("Archive"));
    EXPECT_EQ(Rows(), 2);
}

TEST_F(SyncTest, IdleBringsNewMailAndEndsForALocalMove) {
    Prepare();
    ASSERT_TRUE(Save("INBOX", SyncMessage("first", "<first@x>")));
    ASSERT_TRUE(Save("Archive", SyncMessage("archived", "<arch@x>")));
    StartEngine();
    ASSERT_TRUE(Pass());
    // No pass is asked for: the worker's IDLE must see the news itself.
    ASSERT_TRUE(Save("INBOX", SyncMessage("second", "<second@x>")));
    EXPECT_TRUE(LTestWaitFor(30000, [&] { return Rows() == 3; }));
    EXPECT_EQ(arrivals_.load(), 1);
    // A local move wakes the worker out of IDLE.
    std::string row = QueryText(Db(), "SELECT ID FROM EMAIL_MESSAGES WHERE SUBJECT='first';");
    ASSERT_EQ(LEmailMoveMessage(LFromUtf8(row).c_str(), u"Archive", false), 0);
    EXPECT_TRUE(LTestWaitFor(30000, [&] { return ServerUids("Archive").size() == 2; }));
}

namespace {

std::atomic<int> g_poisonTries{0};

// Counts the tries only: the store itself refuses the message (below).
bool CountPoison(const char* bytes, uint64_t size) {
    if (memmem(bytes, size, "Subject: poison", 15) != nullptr) g_poisonTries++;
    return false;
}

}  // namespace

// The message is refused part-way through its writes (its row is in, its
// addresses are not), between two messages of the same batch: the batch's
// transaction is rolled back and written again without it, whole.
TEST_F(SyncTest, AMessageTheStoreRefusesIsRetriedThenPassedOver) {
    Prepare();
    ASSERT_TRUE(Save("INBOX", SyncMessage("before", "<b@x>")));
    ASSERT_TRUE(Save("INBOX", SyncMessage("poison", "<p@x>")));
    ASSERT_TRUE(Save("INBOX", SyncMessage("after", "<a@x>")));
    Exec(Db(), "CREATE TRIGGER poison BEFORE INSERT ON EMAIL_MESSAGE_ADDRESSES WHEN NEW.MESSAGE_ID IN (SELECT ID FROM "
               "EMAIL_MESSAGES WHERE SUBJECT='poison') BEGIN SELECT RAISE(ABORT, 'poisoned'); END;");
    g_poisonTries = 0;
    LMailSyncSetStoreFaultForTests(CountPoison);
    StartEngine();
    ASSERT_TRUE(Pass());
    EXPECT_EQ(Rows(), 2) << "the rest is stored";
    EXPECT_EQ(Rows("SUBJECT='poison'"), 0) << "nothing of the refused message is left";
    EXPECT_EQ(QueryInt(Db(), "SELECT COUNT(*) FROM EMAIL_MESSAGE_ADDRESSES;"), 4) << "From and To of the two others";
    EXPECT_EQ(QueryInt(Db(), "SELECT COUNT(*) FROM EMAIL_MESSAGES_FTS WHERE EMAIL_MESSAGES_FTS MATCH 'before OR after';"),
              2);
    std::string inbox = MailboxId("INBOX");
    auto mark = [&] {
        return QueryInt(Db(), "SELECT LAST_SYNC_UID FROM EMAIL_MAILBOX_SYNC_STATE WHERE MAILBOX_ID='" + inbox + "';");
    };
    EXPECT_EQ(mark(), 1) << "the mark stops before the message that failed";
    EXPECT_EQ(QueryInt(Db(), "SELECT COALESCE(IMAP_UIDNEXT, 0) FROM EMAILMAILBOXES WHERE ID='" + inbox + "';"), 0);
    for (int i = 0; i < 3 && g_poisonTries.load() < 3; i++) ASSERT_TRUE(Pass());
    ASSERT_TRUE(Pass());
    EXPECT_EQ(g_poisonTries.load(), 3) << "tried in three passes, then passed over";
    EXPECT_EQ(mark(), 3);
    EXPECT_EQ(QueryInt(Db(), "SELECT IMAP_UIDNEXT FROM EMAILMAILBOXES WHERE ID='" + inbox + "';"), 4);
    EXPECT_EQ(Rows(), 2);
    std::string raw = dovecot_.RawInput();
    // Body fetches naming UID 3, alone or in a set ("UID FETCH 1,3 BODY.PEEK[]").
    size_t fetches = 0;
    std::istringstream lines(raw);
    for (std::string line; std::getline(lines, line);) {
        size_t at = line.find("UID FETCH ");
        if (at == std::string::npos || line.find("BODY.PEEK[]") == std::string::npos) continue;
        std::string set = "," + line.substr(at + 10, line.find(' ', at + 10) - at - 10) + ",";
        if (set.find(",3,") != std::string::npos) fetches++;
    }
    EXPECT_EQ(fetches, 1u) << "a stored message is not fetched again";
    std::string log = dovecot_.Log();
    size_t logins = 0;
    for (size_t at = log.find("Login: "); at != std::string::npos; at = log.find("Login: ", at + 1)) logins++;
    EXPECT_LE(logins, 2u) << "failed stores do not cost reconnections";
}
