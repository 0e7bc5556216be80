#include "mail/sync/tests/sync_fixture.h"

#include <sys/stat.h>
#include <unistd.h>

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
    bool done = LMailSyncWakeAndWait(wait_, u"acc1", nullptr, 120000, workers, woken, found, target);
    EXPECT_EQ(workers, 1);
    return done && workers == 1;
}

void SyncTest::BulkSave(int n, const std::string& prefix, int attachEvery) {
    // Delivered the maildir way (written in tmp/, renamed into new/), which
    // is what a delivery agent does, instead of n doveadm processes.
    std::string maildir = dovecot_.Folder() + "/home/alice/Maildir";
    for (const char* d : {"/cur", "/new", "/tmp"}) {
        mkdir((maildir + d).c_str(), 0700);
        if (geteuid() == 0) chown((maildir + d).c_str(), 65534, 65534);
    }
    for (int i = 0; i < n; i++) {
        std::string name = std::to_string(1000000 + i) + "." + prefix + ".porlinex";
        std::string tmp = maildir + "/tmp/" + name;
        std::string subject = prefix + " " + std::to_string(i);
        std::string id = "<" + prefix + "-" + std::to_string(i) + "@example.org>";
        if (attachEvery > 0 && i % attachEvery == 0)
            std::ofstream(tmp) << "From: Sender <sender@example.org>\r\nSubject: " << subject << "\r\nMessage-ID: " << id
                               << "\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
                                  "Content-Type: text/plain\r\n\r\nsee attached\r\n--b\r\nContent-Type: "
                                  "application/octet-stream\r\nContent-Disposition: attachment; filename=\"part"
                               << i << ".bin\"\r\nContent-Transfer-Encoding: base64\r\n\r\nAAECAwQFBgc=\r\n--b--\r\n";
        else
            std::ofstream(tmp) << SyncMessage(subject, id);
        if (geteuid() == 0) chown(tmp.c_str(), 65534, 65534);
        ASSERT_EQ(rename(tmp.c_str(), (maildir + "/new/" + name).c_str()), 0);
    }
    ASSERT_GE(ServerUids("INBOX").size(), size_t(n)) << dovecot_.Log();
}

bool SyncTest::Save(const std::string& mailbox, const std::string& message) {
    if (mailbox != "INBOX") dovecot_.Doveadm({"mailbox", "create", "-u", "alice", mailbox});
    return dovecot_.Save("alice", mailbox, message);
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
