// A server that answers slowly, through a link that hands on a few hundred
// bytes a second: while the worker waits for a message, the store takes
// other writers (the web pages and the MCP endpoint write as they answer).
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <string>

#include "mail/store/tests/store_fixture.h"
#include "mail/sync/tests/sync_fixture.h"
#include "tests/support/throttle_relay.h"

namespace {

TEST_F(SyncTest, StoreTakesWritersWhileAMessageIsStillArriving) {
    Prepare();
    // Far more than the link's first burst, which the log-in, the mailbox
    // list and the UID search fit in.
    const std::string body(40000, 'x');
    for (const char* id : {"<slow-1@x>", "<slow-2@x>"}) ASSERT_TRUE(Save("INBOX", SyncMessage("slow", id, body)));
    LTestThrottleOptions o;
    o.targetPort = dovecot_.ImapsPort();
    o.burstBytes = 16384;
    o.bytesPerSecond = 1000;
    LTestThrottleRelay slow(root_.Path() + "/slow", o);
    ASSERT_TRUE(slow.Ready());
    Exec(Db(), "UPDATE EMAILACCOUNTS SET INCOMINGSERVER='127.0.0.1:" + std::to_string(slow.Port()) + "';");
    StartEngine();
    // The server has sent more than the link let through: a message is
    // on its way.
    ASSERT_TRUE(LTestWaitFor(60000, [&] { return slow.Held() > 0; }));

    LAppDatabaseAccount writer(false);
    ASSERT_NE(writer.handle, nullptr);
    sqlite3_busy_timeout(writer.handle, 2000);
    EXPECT_TRUE(writer.ExecA("BEGIN IMMEDIATE;")) << sqlite3_errmsg(writer.handle);
    writer.ExecA("ROLLBACK;");
    EXPECT_GT(slow.Held(), 0);
    EXPECT_EQ(Rows(), 0);
}

}  // namespace
