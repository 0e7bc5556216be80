// The real service killed again and again during a first mirror ends with
// the store an uninterrupted mirror gives: every server message once, each
// whole, nothing left behind.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <set>

#include "mail/store/tests/store_fixture.h"
#include "mail/sync/tests/sync_fixture.h"
#include "tests/support/service_harness.h"

TEST_F(SyncTest, AServiceKilledDuringAFirstMirrorEndsWithTheWholeStore) {
    Prepare();
    const int n = 2000;
    BulkSave(n, "bulk", 7);
    int kills = 0;
    for (; kills < 10 && Rows() < n; kills++) {
        LTestService service;
        int64_t before = Rows();
        // Killed as soon as the mirror has made some headway, so that the
        // kill lands inside the walk.
        LTestWaitFor(60000, [&] { return Rows() > before; });
        service.Process().Signal(SIGKILL, 10000);
    }
    EXPECT_GE(kills, 2) << "the mirror should not have finished before the second kill";
    {
        LTestService service;
        std::string inbox;
        ASSERT_TRUE(LTestWaitFor(120000, [&] {
            inbox = MailboxId("INBOX");
            return !inbox.empty() &&
                   QueryInt(Db(), "SELECT COALESCE(IMAP_UIDNEXT, 0) FROM EMAILMAILBOXES WHERE ID='" + inbox + "';") > 0;
        }));
        EXPECT_EQ(service.Stop(), 0);
    }
    EXPECT_EQ(Rows(), n);
    EXPECT_EQ(LocalUids("INBOX"), ServerUids("INBOX"));
    EXPECT_EQ(QueryInt(Db(), "SELECT COUNT(DISTINCT MESSAGE_ID) FROM EMAIL_MESSAGES;"), n);
    EXPECT_EQ(Rows("ID NOT IN (SELECT MESSAGE_ID FROM EMAIL_MESSAGE_ADDRESSES WHERE KIND='FROM')"), 0);
    const int withAttachment = (n + 6) / 7;
    EXPECT_EQ(QueryInt(Db(), "SELECT COUNT(*) FROM EMAIL_MESSAGE_ATTACHMENTS WHERE STORAGE_PATH<>'';"), withAttachment);
    EXPECT_EQ(Rows("HAS_ATTACHMENTS=1"), withAttachment);
    EXPECT_EQ(QueryText(Db(), "PRAGMA integrity_check;"), "ok");
    // Every cached file belongs to an attachment row.
    std::set<std::string> named;
    for (int64_t i = 0; i < withAttachment; i++)
        named.insert(QueryText(Db(), "SELECT STORAGE_PATH FROM EMAIL_MESSAGE_ATTACHMENTS ORDER BY ID LIMIT 1 OFFSET " +
                                         std::to_string(i) + ";"));
    size_t files = 0;
    std::error_code ec;
    for (auto& e : std::filesystem::recursive_directory_iterator(root_.Path(), ec)) {
        if (!e.is_regular_file() || e.path().string().find("CachedAttachments") == std::string::npos) continue;
        files++;
        EXPECT_TRUE(named.count(e.path().string())) << "orphan cache file " << e.path();
    }
    EXPECT_EQ(files, size_t(withAttachment));
}
