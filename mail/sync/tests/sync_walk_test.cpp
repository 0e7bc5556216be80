// Which mailboxes a walk selects, and what a walk that a stop ends leaves.
#include <gtest/gtest.h>

#include <cstring>

#include "mail/store/tests/store_fixture.h"
#include "mail/sync/sync_engine.h"
#include "mail/sync/tests/sync_fixture.h"

// The list is read at every pass: a mailbox the server no longer has is
// stamped deleted before the walk and never selected (a mailbox the server
// lists and refuses to open is passed over: sync_hostile_test).
TEST_F(SyncTest, AMailboxGoneFromTheServerIsNotWalkedAndTheQueuesOwnAreNeverSelected) {
    Prepare();
    ASSERT_TRUE(Save("INBOX", SyncMessage("one", "<one@x>")));
    ASSERT_TRUE(Save("Work", SyncMessage("two", "<two@x>")));
    // A list fetched a moment ago, holding a mailbox the server no longer
    // has ("Gone", before INBOX's neighbour "Work") and the queue's Outbox.
    Exec(Db(), "UPDATE EMAILACCOUNTS SET LAST_MAILBOXLIST_REFRESH_UTC=strftime('%Y-%m-%d %H:%M:%S', 'now');");
    Exec(Db(), "INSERT INTO EMAILMAILBOXES (ID, EMAILACCOUNTS_ID, IMAP_NAME, IMAP_FLAGS) VALUES "
               "('inbox', 'acc1', 'INBOX', NULL), ('gone', 'acc1', 'Gone', NULL), ('work', 'acc1', 'Work', NULL), "
               "('outbox', 'acc1', 'Outbox', '\\Outbox');");
    StartEngine();
    ASSERT_TRUE(Pass());
    EXPECT_EQ(LocalUids("INBOX"), ServerUids("INBOX"));
    EXPECT_EQ(LocalUids("Work"), ServerUids("Work"));
    EXPECT_EQ(QueryText(Db(), "SELECT COALESCE(DELETED, '') FROM EMAILMAILBOXES WHERE ID='gone';").empty(), false);
    ASSERT_TRUE(Pass());
    std::string raw = dovecot_.RawInput();
    EXPECT_EQ(raw.find("SELECT \"Gone\""), std::string::npos);
    EXPECT_EQ(raw.find("SELECT \"Outbox\""), std::string::npos);
    EXPECT_EQ(QueryText(Db(), "SELECT COALESCE(DELETED, '') FROM EMAILMAILBOXES WHERE ID='outbox';"), "");
    std::string log = dovecot_.Log();
    size_t logins = 0;
    for (size_t at = log.find("Login: "); at != std::string::npos; at = log.find("Login: ", at + 1)) logins++;
    EXPECT_EQ(logins, 1u);
}

namespace {

std::atomic<bool> g_stopAsked{false};

bool StopAtSecond(const char* bytes, uint64_t size) {
    if (memmem(bytes, size, "Subject: second", 15)) {
        LMailSyncSignalStop();
        g_stopAsked = true;
    }
    return false;
}

}  // namespace

TEST_F(SyncTest, AWalkEndedByAStopRecordsNothingAndTheNextGoesOn) {
    Prepare();
    for (const char* s : {"first", "second", "third"})
        ASSERT_TRUE(Save("INBOX", SyncMessage(s, std::string("<") + s + "@x>")));
    g_stopAsked = false;
    LMailSyncSetStoreFaultForTests(StopAtSecond);
    StartEngine();
    ASSERT_TRUE(LTestWaitFor(60000, [] { return g_stopAsked.load(); }));
    LMailSyncShutdown();
    LMailSyncSetStoreFaultForTests(nullptr);
    std::string inbox = MailboxId("INBOX");
    EXPECT_EQ(Rows(), 2);
    EXPECT_EQ(QueryText(Db(), "SELECT COALESCE(IMAP_UIDNEXT, 0) || '/' || COALESCE(IMAP_UIDVALIDITY, 0) || '/' || "
                              "COALESCE(LAST_SYNC_UTC, '') FROM EMAILMAILBOXES WHERE ID='" + inbox + "';"),
              "0/0/");
    EXPECT_EQ(QueryInt(Db(), "SELECT LAST_SYNC_UID FROM EMAIL_MAILBOX_SYNC_STATE WHERE MAILBOX_ID='" + inbox + "';"), 2);

    StartEngine();
    ASSERT_TRUE(Pass());
    EXPECT_EQ(LocalUids("INBOX"), ServerUids("INBOX"));
    EXPECT_EQ(Rows(), 3);
}
