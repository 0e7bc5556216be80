// The engine against a server that fails on one message (a small Python
// peer over TLS on loopback, hostile_sync_imap.py): the message is passed
// over after a bounded number of tries, and everything else arrives. The
// peer also sends a stray tagged line before every SELECT answer.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>

#include "foundation/wait.h"
#include "mail/store/accounts.h"
#include "mail/store/tests/store_fixture.h"
#include "mail/sync/sync_engine.h"
#include "tests/support/test_root.h"
#include "tests/support/tls_peer.h"

namespace {

struct Case {
    const char* mode;
    // How often the bad message's body may be asked for at most, and how
    // many bytes of it may be served.
    int maxBodyFetches;
};

class SyncHostileTest : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        int port = LTestFreePort();
        stats_ = root_.Path() + "/stats.txt";
        std::string out = root_.Path() + "/peer.out";
        peer_ = std::make_unique<LTestProcess>(LTestRedirectedArgv(
            {"/usr/bin/python3", PORLINEX_SOURCE_DIR "/mail/sync/tests/testdata/hostile_sync_imap.py",
             std::to_string(port), leaf_.chain_path, leaf_.key_path, GetParam().mode, stats_},
            "/dev/null", out));
        ASSERT_TRUE(LTestWaitFor(10000, [&] { return LTestReadFile(out).find("READY") != std::string::npos; }));
        db_ = std::make_unique<LAppDatabaseAccount>(false);
        ASSERT_TRUE(RunMailSchema(*db_));
        Exec(*db_, "INSERT INTO EMAILACCOUNTS (ID, EMAIL, INCOMINGSERVER) VALUES ('acc1', 'alice', 'localhost:" +
                       std::to_string(port) + "');");
        ASSERT_TRUE(LEmailAccountPasswordSet(*db_, u"acc1", u"secret"));
    }
    void TearDown() override {
        LMailSyncShutdown();
        if (peer_) peer_->Signal(9, 5000);
    }
    bool Pass() {
        int32_t workers = 0, woken = 0;
        bool found = false, target = false;
        return LMailSyncWakeAndWait(wait_, u"acc1", nullptr, 60000, workers, woken, found, target);
    }
    std::string Subjects(const std::string& mailbox) {
        return QueryText(*db_, "SELECT COALESCE(group_concat(SUBJECT, ','), '') FROM (SELECT m.SUBJECT FROM "
                               "EMAIL_MESSAGES m JOIN EMAILMAILBOXES b ON b.ID=m.MAILBOX_ID WHERE b.IMAP_NAME='" +
                               mailbox + "' ORDER BY m.UID);");
    }
    // Body fetches of INBOX UID 2 and the bytes served for them.
    void BadFetches(int& count, long long& bytes) {
        count = 0;
        bytes = 0;
        std::istringstream in(LTestReadFile(stats_));
        std::string word, box;
        int uid = 0;
        long long served = 0;
        while (in >> word >> box >> uid >> served)
            if (box == "INBOX" && uid == 2) count++, bytes += served;
    }

    LTestRoot root_;
    LTestCertificateAuthority ca_{root_.Path()};
    LTestScopedEnv trust_{"SSL_CERT_FILE", ca_.CaPath()};
    LTestIssuedCertificate leaf_ = ca_.Issue("imap");
    std::unique_ptr<LTestProcess> peer_;
    std::unique_ptr<LAppDatabaseAccount> db_;
    std::string stats_;
    LPlainWait wait_;
};

TEST_P(SyncHostileTest, OneBadMessageStopsNothingElse) {
    LMailSyncStart();
    ASSERT_TRUE(LMailSyncIsStarted());
    // Failed passes reconnect after a growing wait; a few passes are enough
    // for the bad message to be given up.
    for (int i = 0; i < 6; i++) {
        Pass();
        if (Subjects("INBOX") == "first,third" && Subjects("Later") == "later") break;
    }
    EXPECT_EQ(Subjects("INBOX"), "first,third");
    EXPECT_EQ(Subjects("Later"), "later") << "the mailboxes after the bad message (and after one the server "
                                             "refuses to open) sync too";
    // More passes never ask for it again.
    Pass();
    Pass();
    int count = 0;
    long long bytes = 0;
    BadFetches(count, bytes);
    EXPECT_LE(count, GetParam().maxBodyFetches);
    EXPECT_EQ(bytes, 0);
}

// A server that completes every pass and then refuses IDLE: each new
// connection waits longer than the last (2 s, 4 s, 8 s ...), as the pass
// alone proves nothing about the server.
class SyncIdleBreaksTest : public SyncHostileTest {};

TEST_P(SyncIdleBreaksTest, AServerThatBreaksAtIdleIsNotHammered) {
    LMailSyncStart();
    ASSERT_TRUE(LTestWaitFor(30000, [&] { return Subjects("INBOX") == "first,bad one,third"; }));
    LPlainWait pause;
    pause.WaitStop(13000);
    std::string stats = LTestReadFile(stats_);
    size_t logins = 0;
    for (size_t at = stats.find("LOGIN"); at != std::string::npos; at = stats.find("LOGIN", at + 1)) logins++;
    // At 0, 2, 6 and 14 s with the back-off; one every 2 s (7 or more) without.
    EXPECT_GE(logins, 2u);
    EXPECT_LE(logins, 4u) << stats;
}

INSTANTIATE_TEST_SUITE_P(Server, SyncIdleBreaksTest, ::testing::Values(Case{"idle-breaks", 0}),
                         [](const ::testing::TestParamInfo<Case>&) { return std::string("idle_breaks"); });

INSTANTIATE_TEST_SUITE_P(Modes, SyncHostileTest,
                         ::testing::Values(Case{"refused", 3}, Case{"garbage", 3}, Case{"drop", 3}, Case{"huge", 0}),
                         [](const ::testing::TestParamInfo<Case>& i) { return std::string(i.param.mode); });

}  // namespace
