#include "mail/sync/tests/sync_fixture.h"

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "mail/store/accounts.h"
#include "mail/store/tests/store_fixture.h"
#include "mail/sync/sync_engine.h"

std::atomic<int> SyncTest::arrivals_{0};

std::string SyncMessage(const std::string& subject, const std::string& messageId, const std::string& body) {
    std::string m = "From: Sender <sender@example.org>\r\nTo: alice@example.org\r\nSubject: " + subject + "\r\n";
    if (!messageId.empty()) m += "Message-ID: " + messageId + "\r\n";
    return m + "Date: Tue, 15 Nov 2022 08:12:31 +0000\r\n\r\n" + body + "\r\n";
}

void SyncTest::Prepare(const std::string& capability) {
    LTestDovecotOptions o;
    o.capability = capability;
    o.extra = "auth_failure_delay = 0\n";
    ASSERT_TRUE(dovecot_.Start(o)) << dovecot_.Error();
    db_ = std::make_unique<LAppDatabaseAccount>(false);
    ASSERT_TRUE(RunMailSchema(*db_));
    Exec(*db_, "INSERT INTO EMAILACCOUNTS (ID, EMAIL, INCOMINGSERVER) VALUES ('acc1', 'alice', '" +
                   dovecot_.Server() + "');");
    ASSERT_TRUE(LEmailAccountPasswordSet(*db_, u"acc1", u"secret"));
    arrivals_ = 0;
    LMailSyncSetArrivalObserverForTests([](const char16_t*) { arrivals_++; });
}

void SyncTest::StartEngine() {
    LMailSyncStart();
    ASSERT_TRUE(LMailSyncIsStarted());
}

void SyncTest::TearDown() {
    LMailSyncShutdown();
    LMailSyncSetArrivalObserverForTests(nullptr);
    LMailSyncSetStoreFaultForTests(nullptr);
}

bool SyncTest::Pass() {
    int32_t workers = 0, woken = 0;
    bool found = false, target = false;
    return LMailSyncWakeAndWait(wait_, u"acc1", nullptr, 120000, workers, woken, found, target) && workers == 1;
}

void SyncTest::BulkSave(int n, const std::string& prefix) {
    // One import of a prepared maildir instead of n doveadm processes.
    std::string src = root_.Path() + "/import-" + std::to_string(rand());
    mkdir(src.c_str(), 0755);
    for (const char* d : {"/cur", "/new", "/tmp"}) mkdir((src + d).c_str(), 0755);
    for (int i = 0; i < n; i++) {
        std::ofstream(src + "/cur/" + std::to_string(1000000 + i) + ".import:2,")
            << SyncMessage(prefix + " " + std::to_string(i), "<" + prefix + "-" + std::to_string(i) + "@example.org>");
    }
    chmod(root_.Path().c_str(), 0755);
    dovecot_.Doveadm({"import", "-u", "alice", "maildir:" + src, "", "all"});
    ASSERT_EQ(ServerUids("INBOX").size() >= size_t(n), true) << dovecot_.Log();
}

int64_t SyncTest::Rows(const std::string& where) {
    return QueryInt(*db_, "SELECT COUNT(*) FROM EMAIL_MESSAGES WHERE " + where + ";");
}

std::string SyncTest::MailboxId(const std::string& mailbox) {
    return QueryText(*db_, "SELECT ID FROM EMAILMAILBOXES WHERE EMAILACCOUNTS_ID='acc1' AND IMAP_NAME='" + mailbox +
                               "' AND DELETED IS NULL;");
}

std::vector<int64_t> SyncTest::LocalUids(const std::string& mailbox) {
    std::vector<int64_t> uids;
    sqlite3_stmt* st = nullptr;
    std::string sql = "SELECT UID FROM EMAIL_MESSAGES WHERE MAILBOX_ID='" + MailboxId(mailbox) + "' ORDER BY UID;";
    if (sqlite3_prepare_v2(db_->handle, sql.c_str(), -1, &st, nullptr) == SQLITE_OK)
        while (sqlite3_step(st) == SQLITE_ROW) uids.push_back(sqlite3_column_int64(st, 0));
    sqlite3_finalize(st);
    return uids;
}

std::vector<int64_t> SyncTest::ServerUids(const std::string& mailbox) {
    // "doveadm search" prints "<mailbox guid> <uid>" per message.
    std::istringstream in(dovecot_.Doveadm({"search", "-u", "alice", "mailbox", mailbox, "all"}));
    std::vector<int64_t> uids;
    std::string guid;
    int64_t uid = 0;
    while (in >> guid >> uid) uids.push_back(uid);
    std::sort(uids.begin(), uids.end());
    return uids;
}

std::string SyncTest::RawSince(size_t from) {
    std::string all = dovecot_.RawInput();
    return from < all.size() ? all.substr(from) : std::string();
}
