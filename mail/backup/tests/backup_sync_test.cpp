// The backup behind a real first mirror: it waits while a mailbox was never
// synchronised and runs as soon as the last one is, not a day later.
#include <gtest/gtest.h>

#include <filesystem>

#include "foundation/reg_settings.h"
#include "foundation/utf8.h"
#include "mail/backup/email_backup.h"
#include "mail/mail_services.h"
#include "mail/store/tests/store_fixture.h"
#include "mail/sync/tests/sync_fixture.h"
#include "mail/workers.h"
#include "tests/support/service_harness.h"

namespace fs = std::filesystem;

namespace {

int EmlFiles(const std::string& folder) {
    int n = 0;
    std::error_code ec;
    for (const auto& e : fs::recursive_directory_iterator(folder, ec)) n += e.path().extension() == ".eml";
    return n;
}

TEST_F(SyncTest, BackupRunsWhenTheFirstMirrorIsDone) {
    Prepare();
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(Save("INBOX", SyncMessage("inbox " + std::to_string(i), "<i" + std::to_string(i) + "@x>")));
    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(Save("Archive", SyncMessage("archive " + std::to_string(i), "<a" + std::to_string(i) + "@x>")));
    const std::string folder = root_.Path() + "/backup";
    fs::create_directories(folder);
    LRegSettingsSet(LEmailBackupSection, u"Enabled", u"1");
    LRegSettingsSet(LEmailBackupSection, u"Folder", LFromUtf8(folder).c_str());
    // Mailboxes known and never synchronised: the backup's rounds wait.
    Exec(Db(), "INSERT INTO EMAILMAILBOXES (ID, EMAILACCOUNTS_ID, IMAP_NAME) VALUES ('b1', 'acc1', 'INBOX'), "
               "('b2', 'acc1', 'Archive');");
    LEmailBackupStart();
    StartEngine();
    ASSERT_TRUE(Pass());
    EXPECT_TRUE(LTestWaitFor(20000, [&] { return EmlFiles(folder) == 5; })) << EmlFiles(folder) << " files";
    // A later pass with nothing new starts no round: one would find nothing
    // and the backup page would show it in place of the round that wrote.
    // The first mirror's own wakes may still be queued: a new worker, once
    // its start round is recorded, has none.
    auto roundFiles = [] {
        char16_t files[260];
        LRegSettingsGet(LEmailBackupSection, u"LastRoundFiles", u"", files);
        return LToUtf8(files);
    };
    LEmailBackupStop();
    LRegSettingsSet(LEmailBackupSection, u"LastRoundFiles", u"before the start round");
    LEmailBackupStart();
    ASSERT_TRUE(LTestWaitFor(20000, [&] { return roundFiles() != "before the start round"; }));
    LRegSettingsSet(LEmailBackupSection, u"LastRoundFiles", u"untouched");
    ASSERT_TRUE(Pass());
    EXPECT_FALSE(LTestWaitFor(3000, [&] { return roundFiles() != "untouched"; })) << roundFiles();
    LEmailBackupStop();
}

}  // namespace
