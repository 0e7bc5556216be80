// The backup's rounds against what happens to a store: an account reload
// (purge and download again), address headers with non-ASCII names, and a
// full disk.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <string>
#include <thread>

#include "foundation/log.h"
#include "foundation/utf8.h"
#include "foundation/wait.h"
#include "mail/backup/email_backup.h"
#include "mail/backup/tests/backup_fixture.h"
#include "mail/mail_services.h"
#include "mail/store/accounts.h"
#include "mail/store/message_store.h"
#include "mail/workers.h"
#include "tests/support/service_harness.h"

namespace fs = std::filesystem;

namespace {

class BackupRoundTest : public BackupTest {
protected:
    void SetUp() override {
        BackupTest::SetUp();
        Exec(Db(), "INSERT INTO EMAILACCOUNTS (ID, EMAIL) VALUES ('acc1', 'me@example.org');");
        Exec(Db(), "INSERT INTO EMAILMAILBOXES (ID, EMAILACCOUNTS_ID, IMAP_NAME, LAST_SYNC_UTC) VALUES ('mbx1', "
                   "'acc1', 'INBOX', '2024-01-01 00:00:00');");
    }
    // Messages "<m<n>@example.org>" as the sync stores them, UID n, dated
    // n days into January 2024: long before any round's time window.
    void Download(const std::vector<int>& numbers) {
        LEmailStoreBatch batch(Db());
        for (int n : numbers) {
            std::string bytes = "From: Ann <ann@example.org>\r\nTo: bob@example.org\r\nSubject: Message " +
                                std::to_string(n) + "\r\nMessage-ID: <m" + std::to_string(n) +
                                "@example.org>\r\nDate: " + std::to_string(1 + n % 28) +
                                " Jan 2024 10:00:00 +0000\r\n\r\nBody " + std::to_string(n) + "\r\n";
            LString row;
            bool is_new = false;
            ASSERT_EQ(batch.StoreBytes(row, is_new, u"acc1", u"mbx1", static_cast<uint32_t>(n), 7, bytes),
                      LEmailStoreOk);
        }
        ASSERT_TRUE(batch.Commit());
    }
    // One round of a worker started for it (its round at start), which
    // wrote everything; the worker is stopped again.
    void Round() {
        std::string before = Setting(LEmailBackupSequenceValue) + "/" + Setting(u"LastDoneUTC");
        LEmailBackupStart();
        bool done = LTestWaitFor(20000, [&] {
            return Setting(LEmailBackupSequenceValue) + "/" + Setting(u"LastDoneUTC") != before;
        });
        LEmailBackupStop();
        ASSERT_TRUE(done);
    }
};

// An account reload deletes the account's rows and downloads them again
// under new store IDs, in another order; rowids are reused. Every live
// message is then in the backup exactly once, the new ones included.
TEST_F(BackupRoundTest, ReloadThenRoundWritesEveryLiveMessageOnce) {
    std::vector<int> first, again;
    for (int n = 1; n <= 20; ++n) first.push_back(n);
    for (int n = 25; n >= 1; --n) again.push_back(n);  // five more, stored first
    Download(first);
    Enable();
    Round();
    ASSERT_EQ(ReadBack(folder_).size(), 20u);
    // What the backup page shows of the round.
    EXPECT_EQ(Setting(u"LastRoundFiles"), "20");
    EXPECT_EQ(Setting(u"LastRoundFailures"), "0");
    EXPECT_EQ(Setting(u"LastRoundError"), "");
    EXPECT_EQ(std::stoll(Setting(u"LastRoundUTC")) - 300, std::stoll(Setting(u"LastDoneUTC")));

    ASSERT_TRUE(LEmailAccountPurgeMessages(Db(), u"acc1"));
    Exec(Db(), "UPDATE EMAILMAILBOXES SET LAST_SYNC_UTC='2024-01-02 00:00:00';");
    Download(again);
    Round();
    std::map<std::string, int> copies;
    for (const EmlView& e : ReadAll(folder_)) copies[e.message_id]++;
    EXPECT_EQ(copies.size(), 25u);
    for (int n = 1; n <= 25; ++n)
        EXPECT_EQ(copies["<m" + std::to_string(n) + "@example.org>"], 1) << "message " << n;
}

// Address lists are written with only the display names encoded, never
// cut; Python's email package reads back the same names and addresses.
TEST_F(BackupRoundTest, AddressHeadersReadBackToTheSameAddresses) {
    std::string long_to;
    Addresses long_want;
    for (int i = 0; i < 12; ++i) {
        std::string name = "Łukasz Żółć " + std::to_string(i), address = "person" + std::to_string(i) + "@example.com";
        long_to += (i ? ", " : "") + name + " <" + address + ">";
        long_want.emplace_back(name, address);
    }
    struct Case {
        std::string column, stored;
        const char* header;
        Addresses want;
    };
    const Case cases[] = {
        {"FROM_TEXT", "Lucía Tanaka <lucia.tanaka@mail.example.com>", "from",
         {{"Lucía Tanaka", "lucia.tanaka@mail.example.com"}}},
        // Decoded from an encoded word, the comma lost its quotes.
        {"FROM_TEXT", "Tanaka, Lucía <lucia@example.com>", "from", {{"Tanaka, Lucía", "lucia@example.com"}}},
        {"FROM_TEXT", "\"Smith, John\" <john@example.com>", "from", {{"Smith, John", "john@example.com"}}},
        {"FROM_TEXT", "plain@example.com", "from", {{"", "plain@example.com"}}},
        {"TO_TEXT", long_to, "to", long_want},
        {"CC_TEXT", "Zoë <zoe@example.com>, ann@example.com", "cc",
         {{"Zoë", "zoe@example.com"}, {"", "ann@example.com"}}},
        {"REPLY_TO_TEXT", "Ünal Öz <unal@example.com>", "reply-to", {{"Ünal Öz", "unal@example.com"}}},
    };
    ASSERT_GT(long_to.size(), 259u);
    // A long thread: folded between its IDs, read back whole.
    std::string references;
    for (int i = 0; i < 40; ++i) references += (i ? " <" : "<") + std::to_string(i) + "-thread@example.org>";
    int n = 0;
    for (const Case& c : cases) {
        std::string id = "a" + std::to_string(++n);
        Message(id, 1709210096, 1709210100, "Addresses", "text");
        LStringA q;
        q.Format("UPDATE EMAIL_MESSAGES SET %s='%Q', IN_REPLY_TO='<parent@example.org>', REFERENCES_TEXT='%Q' WHERE "
                 "ID='%Q';",
                 c.column.c_str(), c.stored.c_str(), references.c_str(), id.c_str());
        Exec(Db(), q.Str());
    }
    LPlainWait wait;
    time_t earliest = 0;
    LEmailBackupFailures failed;
    ASSERT_TRUE(LEmailBackupExport(Db(), wait, LFromUtf8(folder_).c_str(), 0, 0, earliest, failed));
    std::map<std::string, EmlView> files = ReadBack(folder_);
    n = 0;
    for (const Case& c : cases) {
        const EmlView& e = files["a" + std::to_string(++n)];
        EXPECT_EQ(e.error, "") << c.stored;
        EXPECT_EQ(e.addresses.count(c.header) ? e.addresses.at(c.header) : Addresses{}, c.want) << c.stored;
        EXPECT_EQ(e.in_reply_to, "<parent@example.org>");
        EXPECT_EQ(e.references, references);
    }
}

std::atomic<int> g_backup_errors{0};

void CountBackupErrors(const char*, const char* text, int level) {
    if (level == LLogError && std::string(text).find("Backup:") != std::string::npos) g_backup_errors++;
}

// A disk that takes no more: the month's page stays the last good one (no
// empty page, no temporary file left), and the round logs one line.
TEST_F(BackupRoundTest, FullDiskKeepsTheLastIndexPageAndLogsOnce) {
    Message("small", 1709210096, 1709210100, "Small", "small");
    Enable();
    Round();
    const std::string index = folder_ + "/2024-02/index.html";
    const std::string good = LTestReadFile(index);
    ASSERT_NE(good.find("Small"), std::string::npos);

    // Each message and the page with them all outgrow what may be written.
    const std::string subject(200, 's'), body(40000, 'b');
    for (int i = 0; i < 60; ++i) Message("big" + std::to_string(i), 1709210096 + i, 1709210100, subject, body);
    g_backup_errors = 0;
    LLogAttachView(CountBackupErrors);
    struct rlimit old_limit {};
    getrlimit(RLIMIT_FSIZE, &old_limit);
    struct rlimit small = old_limit;
    small.rlim_cur = 16 * 1024;
    signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    LEmailBackupStart();
    bool logged = LTestWaitFor(20000, [] { return g_backup_errors.load() > 0; });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // a second line would come now
    setrlimit(RLIMIT_FSIZE, &old_limit);
    LLogAttachView(nullptr);
    LEmailBackupStop();
    ASSERT_TRUE(logged);
    EXPECT_EQ(g_backup_errors.load(), 1);
    // The round's record names the failures and the first cause.
    EXPECT_GT(std::stoi(Setting(u"LastRoundFailures")), 0);
    EXPECT_NE(Setting(u"LastRoundError").find("File too large"), std::string::npos) << Setting(u"LastRoundError");
    EXPECT_EQ(LTestReadFile(index), good);
    for (const auto& e : fs::recursive_directory_iterator(folder_)) {
        EXPECT_NE(e.path().extension(), ".tmp") << e.path();
        if (e.is_regular_file()) {
            EXPECT_GT(fs::file_size(e.path()), 0u) << e.path();
        }
    }
}

}  // namespace
