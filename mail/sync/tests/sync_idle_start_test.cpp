// Mail that reaches INBOX while a pass walks the other mailboxes exists
// before IDLE starts, so IDLE alone never reports it: the worker must see it
// from INBOX's UIDNEXT and pass again instead of waiting for other news.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

#include "mail/sync/sync_engine.h"
#include "mail/sync/tests/sync_fixture.h"

namespace {

LTestDovecot* g_server = nullptr;
std::atomic<bool> g_delivered{false};

// Called as the worker stores each message: while it stores the one in
// Archive (INBOX already scanned), a new message reaches INBOX.
bool DeliverDuringPass(const char* bytes, uint64_t size) {
    if (memmem(bytes, size, "Subject: archived", 17) && g_server && !g_delivered.exchange(true))
        g_server->Save("alice", "INBOX", SyncMessage("late arrival", "<late@x>"));
    return false;
}

TEST_F(SyncTest, MailThatArrivesDuringAPassIsFetchedWithoutNews) {
    Prepare();
    ASSERT_TRUE(Save("INBOX", SyncMessage("first", "<f@x>")));
    ASSERT_TRUE(Save("Archive", SyncMessage("archived", "<a@x>")));
    g_server = &dovecot_;
    g_delivered = false;
    LMailSyncSetStoreFaultForTests(DeliverDuringPass);
    StartEngine();
    // No pass is asked for: the first one, and whatever it decides next.
    EXPECT_TRUE(LTestWaitFor(30000, [&] { return Rows("SUBJECT='late arrival'") == 1; })) << Rows();
    EXPECT_TRUE(g_delivered.load());
    g_server = nullptr;
}

}  // namespace
