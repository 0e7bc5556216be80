// Mailbox list reconciliation, look-ups, the refresh rule and local moves on
// a fresh store; the server side of a move against a real Dovecot, with and
// without MOVE and UIDPLUS.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/time_source.h"
#include "mail/store/mailboxes.h"
#include "mail/store/message_store.h"
#include "mail/store/tests/store_fixture.h"
#include "net/imap/imap_client.h"
#include "tests/support/dovecot_server.h"

namespace {

time_t g_now = 0;
time_t FixedNow() { return g_now; }

struct NowForTest {
    explicit NowForTest(time_t t) {
        g_now = t;
        LSetNowFuncForTests(FixedNow);
    }
    ~NowForTest() { LSetNowFuncForTests(nullptr); }
};

void Names(LStringList& list, std::initializer_list<const char*> names) {
    list.Clear();
    for (const char* n : names) list.AddA(n);
}

class MailboxesTest : public StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        Exec(Db(), "INSERT INTO EMAILACCOUNTS (ID, EMAIL) VALUES ('acc1', 'alice@example.org')");
    }
    std::string Id(const std::string& name) {
        return QueryText(Db(), "SELECT ID FROM EMAILMAILBOXES WHERE IMAP_NAME='" + name + "'");
    }
    bool Deleted(const std::string& name) {
        return QueryInt(Db(), "SELECT DELETED IS NOT NULL FROM EMAILMAILBOXES WHERE IMAP_NAME='" + name + "'") == 1;
    }
};

}  // namespace

TEST_F(MailboxesTest, ReconcileFollowsTheServerListAndKeepsLocalQueueMailboxes) {
    // The outgoing queue's own mailboxes, never listed by the server.
    Exec(Db(), "INSERT INTO EMAILMAILBOXES (ID, EMAILACCOUNTS_ID, IMAP_NAME, IMAP_FLAGS) VALUES "
               "('out1', 'acc1', 'Outbox', '\\Outbox'), ('dr1', 'acc1', 'Drafts', '\\Drafts')");
    LStringList names;
    // A name that is not valid UTF-8 still matches its own row.
    Names(names, {"INBOX", "Work Stuff", "Ärchiv", "Old", "Bad\xff"});
    ASSERT_TRUE(LEmailMailboxesReconcile(Db(), u"acc1", names));
    EXPECT_EQ(QueryInt(Db(), "SELECT COUNT(*) FROM EMAILMAILBOXES WHERE DELETED IS NOT NULL"), 0);
    const std::string old_id = Id("Old");
    ASSERT_EQ(old_id.size(), 10u);
    EXPECT_FALSE(QueryText(Db(), "SELECT LAST_MAILBOXLIST_REFRESH_UTC FROM EMAILACCOUNTS").empty());

    Names(names, {"INBOX", "Work Stuff", "Ärchiv"});
    ASSERT_TRUE(LEmailMailboxesReconcile(Db(), u"acc1", names));
    EXPECT_TRUE(Deleted("Old"));
    EXPECT_EQ(QueryInt(Db(), "SELECT COUNT(*) FROM EMAILMAILBOXES WHERE DELETED IS NOT NULL"), 2);
    EXPECT_FALSE(Deleted("Outbox"));
    EXPECT_FALSE(Deleted("Drafts"));
    LStringList live;
    ASSERT_TRUE(LEmailMailboxListNames(Db(), u"acc1", live));
    ASSERT_EQ(live.count, 5u);  // three listed, Outbox and Drafts
    EXPECT_STREQ(live.ItemA(0), "INBOX");

    // Back on the list: the same row lives again.
    Names(names, {"INBOX", "Old"});
    ASSERT_TRUE(LEmailMailboxesReconcile(Db(), u"acc1", names));
    EXPECT_FALSE(Deleted("Old"));
    EXPECT_EQ(Id("Old"), old_id);

    // An empty list or a failing write changes nothing.
    const std::string before = QueryText(Db(), "SELECT group_concat(IMAP_NAME || COALESCE(DELETED, '-')) FROM "
                                               "EMAILMAILBOXES");
    names.Clear();
    EXPECT_FALSE(LEmailMailboxesReconcile(Db(), u"acc1", names));
    Exec(Db(), "CREATE TRIGGER refuse BEFORE INSERT ON EMAILMAILBOXES WHEN NEW.IMAP_NAME='New' "
               "BEGIN SELECT RAISE(ABORT, 'refused'); END;");
    Names(names, {"INBOX", "New"});
    EXPECT_FALSE(LEmailMailboxesReconcile(Db(), u"acc1", names));
    EXPECT_EQ(QueryText(Db(), "SELECT group_concat(IMAP_NAME || COALESCE(DELETED, '-')) FROM EMAILMAILBOXES"),
              before);
}

TEST_F(MailboxesTest, ListRefreshIsDueAfterSevenDaysOrAnEdit) {
    LStringList names;
    Names(names, {"INBOX"});
    EXPECT_TRUE(LEmailAccountListRefreshDue(Db(), u"acc1"));  // nothing listed yet
    const time_t refreshed = 1700000000;
    {
        NowForTest now(refreshed);
        ASSERT_TRUE(LEmailMailboxesReconcile(Db(), u"acc1", names));
    }
    struct Case {
        time_t later;
        const char* updated;
        bool due;
    } cases[] = {
        {604799, nullptr, false},
        {604800, nullptr, true},
        {10, "2099-01-01 00:00:00", true},  // edited after the refresh
        {10, "2000-01-01 00:00:00", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.later);
        Exec(Db(), std::string("UPDATE EMAILACCOUNTS SET UPDATED=") +
                       (c.updated ? std::string("'") + c.updated + "'" : "NULL"));
        NowForTest now(refreshed + c.later);
        EXPECT_EQ(LEmailAccountListRefreshDue(Db(), u"acc1"), c.due);
    }
}

TEST_F(MailboxesTest, LookUpsByNameIdAndTrash) {
    LStringList names;
    Names(names, {"INBOX", "Deleted Items", "Archive"});
    ASSERT_TRUE(LEmailMailboxesReconcile(Db(), u"acc1", names));
    LString id, name;
    ASSERT_TRUE(LEmailMailboxFindByName(Db(), u"acc1", u"inbox", id, name));
    EXPECT_EQ(LToUtf8(name), "INBOX");
    LString by_id_name, by_id;
    ASSERT_TRUE(LEmailMailboxFindByName(Db(), u"acc1", id.c_str(), by_id, by_id_name));
    EXPECT_EQ(LToUtf8(by_id_name), "INBOX");
    EXPECT_FALSE(LEmailMailboxFindByName(Db(), u"acc2", u"INBOX", id, name));

    LString trash;
    ASSERT_TRUE(LEmailMailboxFindTrash(Db(), u"acc1", trash));
    EXPECT_EQ(LToUtf8(trash), Id("Deleted Items"));
    Names(names, {"INBOX", "Deleted Items", "Trash"});
    ASSERT_TRUE(LEmailMailboxesReconcile(Db(), u"acc1", names));
    ASSERT_TRUE(LEmailMailboxFindTrash(Db(), u"acc1", trash));
    EXPECT_EQ(LToUtf8(trash), Id("Trash"));
    Exec(Db(), "UPDATE EMAILMAILBOXES SET IMAP_FLAGS='\\Trash' WHERE IMAP_NAME='Archive'");
    ASSERT_TRUE(LEmailMailboxFindTrash(Db(), u"acc1", trash));
    EXPECT_EQ(LToUtf8(trash), Id("Archive"));

    // Unlisted now, still named.
    ASSERT_TRUE(LEmailMailboxGetName(Db(), u"acc1", LFromUtf8(Id("Archive")).c_str(), name));
    EXPECT_EQ(LToUtf8(name), "Archive");
}

// Without a running synchronisation engine nothing can be queued for the
// server: a synced row goes back where it was, whole; a local row (never on
// a server) just moves.
TEST_F(MailboxesTest, LocalMovesAndTheirRefusal) {
    LStringList names;
    Names(names, {"INBOX", "Archive", "Trash"});
    ASSERT_TRUE(LEmailMailboxesReconcile(Db(), u"acc1", names));
    const std::string inbox = Id("INBOX"), archive = Id("Archive");
    TestMessage synced;
    synced.id = "synced";
    synced.mailbox = inbox;
    synced.uid = 12;
    synced.uidvalidity = 99;
    InsertMessage(Db(), synced);
    TestMessage draft = synced;
    draft.id = "draft";
    draft.uid = 1;
    draft.uidvalidity = 0;
    InsertMessage(Db(), draft);

    EXPECT_EQ(LEmailMoveMessage(u"synced", u"inbox", false), 0);  // already there
    EXPECT_EQ(LEmailMoveMessage(u"synced", u"Archive", false), 2);
    EXPECT_EQ(QueryText(Db(), "SELECT MAILBOX_ID || '/' || UID || '/' || UIDVALIDITY FROM EMAIL_MESSAGES WHERE "
                              "ID='synced'"),
              inbox + "/12/99");
    EXPECT_EQ(LEmailMoveMessage(u"draft", u"Archive", false), 0);
    EXPECT_EQ(QueryText(Db(), "SELECT MAILBOX_ID FROM EMAIL_MESSAGES WHERE ID='draft'"), archive);
    EXPECT_EQ(LEmailMoveMessageToTrash(u"draft"), 0);
    EXPECT_EQ(QueryText(Db(), "SELECT MAILBOX_ID FROM EMAIL_MESSAGES WHERE ID='draft'"), Id("Trash"));
    EXPECT_EQ(LEmailMoveMessage(u"missing", u"Archive", false), 2);
    EXPECT_EQ(LEmailMoveMessage(u"synced", u"No Such Box", false), 2);
}

namespace {

class Progress : public LTaskProgress {
public:
    bool IsStopRequested() override { return false; }
    uint32_t WaitStop(uint32_t) override { return 0; }
    uint32_t WaitHandle(LHandle, uint32_t) override { return 2; }
    uint32_t WaitHandles(LHandleList&, uint32_t) override { return 2; }
    void ShowError(const char16_t* text) override { ADD_FAILURE() << LToUtf8(text); }
};

class ServerMoveTest : public MailboxesTest, public ::testing::WithParamInterface<const char*> {};

}  // namespace

// The worker's side of a move in the store: the row, moved locally, is
// linked to the server's copy by COPYUID when the server gives one, else
// adopted when the target's pass stores that copy; either way one row.
TEST_P(ServerMoveTest, MovedRowMeetsItsServerCopyOnce) {
    LTestDovecot dovecot;
    LTestDovecotOptions o;
    o.capability = GetParam();
    ASSERT_TRUE(dovecot.Start(o)) << dovecot.Error();
    const std::string created = "Ärchiv 2026";
    ASSERT_TRUE(dovecot.Save("alice", "INBOX",
                             "From: a@example.org\r\nSubject: moved\r\nMessage-ID: <mv@example.org>\r\n\r\nbody\r\n"));
    dovecot.Doveadm({"mailbox", "create", "-u", "alice", created});

    Progress progress;
    LNetOpResult r;
    LImapConnection imap;
    ASSERT_EQ(imap.Login(r, progress, LFromUtf8(dovecot.Server()).c_str(), u"alice", u"secret"), 0u);
    LStringList names;
    ASSERT_EQ(imap.ListMailboxes(r, progress, names), 0u);
    ASSERT_TRUE(LEmailMailboxesReconcile(Db(), u"acc1", names));
    // The name as the server lists it (a non-ASCII name may come encoded).
    ASSERT_EQ(names.count, 2u);
    const std::string target = names.ItemA(1);
    LString inbox, target_id, name;
    ASSERT_TRUE(LEmailMailboxFindByName(Db(), u"acc1", u"INBOX", inbox, name));
    ASSERT_TRUE(LEmailMailboxFindByName(Db(), u"acc1", LFromUtf8(target).c_str(), target_id, name));

    uint32_t exists = 0, validity = 0, next = 0;
    ASSERT_EQ(imap.SelectStatus(r, progress, exists, validity, next, "INBOX"), 0u);
    LStringA bytes;
    ASSERT_EQ(imap.FetchMessage(r, progress, 1, bytes), 0u);
    LEmailStoreBatch batch(Db());
    LString row;
    bool is_new = false;
    ASSERT_EQ(batch.StoreBytes(row, is_new, u"acc1", inbox.c_str(), 1, validity, bytes.View()), 0);
    ASSERT_TRUE(batch.Commit());

    // What the local move leaves: the row in the target, not yet linked.
    Exec(Db(), "UPDATE EMAIL_MESSAGES SET MAILBOX_ID='" + LToUtf8(target_id) + "', UID=-rowid");
    uint32_t copy_validity = 0, copy_uid = 0;
    ASSERT_EQ(imap.MoveMessage(r, progress, "INBOX", 1, target.c_str(), &copy_validity, &copy_uid), 0u);
    if (copy_uid) {
        ASSERT_TRUE(LEmailMoveLink(Db(), row.c_str(), target_id.c_str(), copy_validity, copy_uid));
    }

    // The target's pass.
    ASSERT_EQ(imap.SelectStatus(r, progress, exists, validity, next, target.c_str()), 0u);
    ASSERT_EQ(exists, 1u);
    LStringA uids;
    ASSERT_EQ(imap.SearchUids(r, progress, uids, 0), 0u);
    const uint32_t server_uid = static_cast<uint32_t>(std::stoul(uids.Str()));
    ASSERT_EQ(imap.FetchMessage(r, progress, server_uid, bytes), 0u);
    LEmailStoreBatch pass(Db());
    LString copy_row;
    ASSERT_EQ(pass.StoreBytes(copy_row, is_new, u"acc1", target_id.c_str(), server_uid, validity, bytes.View()), 0);
    ASSERT_TRUE(pass.Commit());
    imap.Logout(r, progress);

    EXPECT_FALSE(is_new);  // no hooks for a message moved here
    EXPECT_EQ(LToUtf8(copy_row), LToUtf8(row));
    EXPECT_EQ(QueryInt(Db(), "SELECT COUNT(*) FROM EMAIL_MESSAGES"), 1);
    EXPECT_EQ(QueryText(Db(), "SELECT MAILBOX_ID || '/' || UID || '/' || UIDVALIDITY FROM EMAIL_MESSAGES"),
              LToUtf8(target_id) + "/" + std::to_string(server_uid) + "/" + std::to_string(validity));
    if (copy_uid) {
        EXPECT_EQ(copy_uid, server_uid);
    }
}

INSTANTIATE_TEST_SUITE_P(Capabilities, ServerMoveTest, ::testing::Values("", "IMAP4rev1 IDLE"));
