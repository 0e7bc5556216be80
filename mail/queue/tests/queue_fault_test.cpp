// The outgoing queue when the peers misbehave: a server that fails, hangs
// or drops the line at a chosen step, an APPEND whose outcome is unknown,
// a refused sign-in.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "foundation/time_source.h"
#include "foundation/utf8.h"
#include "foundation/wait.h"
#include "mail/queue/send_queue.h"
#include "mail/queue/tests/queue_fixture.h"
#include "mail/store/accounts.h"
#include "web/http/activity_log.h"

namespace {

std::string Port(const LTestSmtpServer& s) { return "localhost:" + std::to_string(s.Port()); }

class StoppableWait : public LPlainWait {
public:
    bool IsStopRequested() override { return stop; }
    std::atomic<bool> stop{false};
};

// Test hooks are put back whatever the test's end.
struct Hooks {
    ~Hooks() {
        LSendQueueSetFilingFaultForTests(0);
        LSendQueueSetExchangeLimitForTests(0);
    }
};

class QueueFaultTest : public QueueTest {
protected:
    std::string Column(const std::string& row, const std::string& column) {
        return QueryText(Db(), "SELECT " + column + " FROM EMAIL_SEND_QUEUE_STATUS WHERE ROW_ID='" + row + "'");
    }
    std::string MessageId(const std::string& row) {
        return QueryText(Db(), "SELECT MESSAGE_ID FROM EMAIL_MESSAGES WHERE ID='" + row + "'");
    }
    // The copies in the server's Sent with this Message-ID.
    int SentCopies(const std::string& message_id) {
        std::string uids = Doveadm({"search", "-u", kUser, "mailbox", "Sent", "header", "Message-ID", message_id});
        return static_cast<int>(std::count(uids.begin(), uids.end(), '\n'));
    }
    std::string LocalMailbox(const std::string& row) {
        return QueryText(Db(), "SELECT b.IMAP_NAME FROM EMAIL_MESSAGES m JOIN EMAILMAILBOXES b ON b.ID=m.MAILBOX_ID "
                               "WHERE m.ID='" + row + "'");
    }
    static std::string ErrorLog() {
        std::string all;
        for (const auto& f : std::filesystem::directory_iterator(LActivityLogFolder()))
            if (f.path().string().ends_with(" ERROR.csv")) all += LTestReadFile(f.path().string());
        return all;
    }
    void DueNow() { Exec(Db(), "UPDATE EMAIL_SEND_QUEUE SET NEXT_TRY_UTC=0"); }
    Hooks hooks_;
};

// The APPEND to Sent went through but we never learnt it (the process
// ended before the link, or the server's answer was lost): the next try
// finds the copy by its Message-ID and links it instead of adding another.
TEST_F(QueueFaultTest, UnknownAppendOutcomeLeavesOneCopyInSent) {
    LTestSmtpServer& smtp = StartSmtp();
    AddAccount("acc1", Port(smtp));
    for (int fault : {1, 2}) {
        SCOPED_TRACE(fault == 1 ? "ended after the APPEND" : "APPEND answer lost");
        std::string row = Queue("acc1", "bob@example.net", "Filed once " + std::to_string(fault));
        LSendQueueSetFilingFaultForTests(fault);
        ASSERT_EQ(Round(), 0);
        LSendQueueSetFilingFaultForTests(0);
        EXPECT_EQ(State(row), "FILING");
        ASSERT_EQ(SentCopies(MessageId(row)), 1);
        DueNow();
        ASSERT_EQ(Round(), 0);
        EXPECT_EQ(State(row), "FILED");
        EXPECT_EQ(SentCopies(MessageId(row)), 1);
        // Linked to that copy.
        std::string found = Doveadm({"search", "-u", kUser, "mailbox", "Sent", "header", "Message-ID", MessageId(row)});
        int64_t uid = QueryInt(Db(), "SELECT UID FROM EMAIL_MESSAGES WHERE ID='" + row + "'");
        EXPECT_NE(found.find(" " + std::to_string(uid) + "\n"), std::string::npos) << found << uid;
    }
    EXPECT_EQ(smtp.Messages().size(), 2u);
}

// No answer to the end of DATA: the server may have the message or not.
// The row is never filed as sent (no 250 was read); it goes again after the
// longer wait, logged as one that may arrive twice.
TEST_F(QueueFaultTest, NoAnswerToTheEndOfDataIsSentAgainAndNeverFiledUnsent) {
    struct Case {
        const char* name;
        const char* fault;
        bool stopWorker;
        size_t delivered;  // messages the server holds in the end
    } cases[] = {
        {"worker stopped while the server is silent", "END=hang", true, 1},
        {"server silent past the time limit", "END=hang", false, 1},
        {"answer lost after the server took it", "END=drop", false, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LSendQueueSetExchangeLimitForTests(c.stopWorker ? 0 : 3000);
        LTestSmtpServerOptions o;
        o.faults = {c.fault};
        o.faultTimes = 1;
        LTestSmtpServer& smtp = StartSmtp(o);
        std::string account = "acc" + std::to_string(smtp_.size());
        AddAccount(account, Port(smtp));
        std::string row = Queue(account, "bob@example.net", c.name);
        int64_t before = LNow();
        StoppableWait progress;
        int result = -1;
        std::thread worker([&] {
            LAppDatabaseAccount db(false);
            int64_t next = 0;
            result = LSendQueueProcess(progress, db, next);
        });
        if (c.stopWorker) {
            EXPECT_TRUE(LTestWaitFor(10000, [&] {
                for (const auto& command : smtp.Commands())
                    if (command.verb == "END") return true;
                return false;
            }));
            // Recorded once the end of DATA went out, not before.
            EXPECT_TRUE(LTestWaitFor(5000, [&] { return State(row) == "SENDING"; })) << State(row);
            progress.stop = true;
        }
        worker.join();
        LSendQueueSetExchangeLimitForTests(0);
        EXPECT_EQ(result, c.stopWorker ? 1 : 0);
        EXPECT_EQ(State(row), "QUEUED");
        EXPECT_EQ(LocalMailbox(row), "Outbox");
        EXPECT_EQ(SentCopies(MessageId(row)), 0);
        EXPECT_NE(Column(row, "LAST_ERROR").find("may arrive twice"), std::string::npos) << Column(row, "LAST_ERROR");
        EXPECT_GE(QueryInt(Db(), "SELECT NEXT_TRY_UTC FROM EMAIL_SEND_QUEUE WHERE ROW_ID='" + row + "'"),
                  before + LSendQueueUncertainWaitSeconds);
        DueNow();
        ASSERT_EQ(Round(), 0);
        EXPECT_EQ(State(row), "FILED");
        EXPECT_EQ(SentCopies(MessageId(row)), 1);
        EXPECT_EQ(smtp.Messages().size(), c.delivered);
    }
    EXPECT_NE(ErrorLog().find("may arrive twice"), std::string::npos);
}

// The server's own words and where it said them reach the row's error and
// the error log.
TEST_F(QueueFaultTest, ServerReplyReachesTheRowAndTheLog) {
    struct Case {
        const char* fault;
        const char* said;
    } cases[] = {
        {"MAIL=451 4.3.0 try later", "answered \"451 4.3.0 try later\" to MAIL FROM"},
        {"RCPT=drop", "closed the connection at RCPT TO without an answer"},
        {"END=554 5.7.1 not today", "answered \"554 5.7.1 not today\" to end of data"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        LTestSmtpServerOptions o;
        o.faults = {c.fault};
        LTestSmtpServer& smtp = StartSmtp(o);
        std::string account = "acc" + std::to_string(smtp_.size());
        AddAccount(account, Port(smtp), false);
        std::string row = Queue(account, "bob@example.net", c.fault);
        ASSERT_EQ(Round(), 0);
        std::string expected = Port(smtp) + " " + c.said;
        EXPECT_NE(Column(row, "LAST_ERROR").find(expected), std::string::npos) << Column(row, "LAST_ERROR");
        EXPECT_NE(ErrorLog().find(expected), std::string::npos);
    }
}

// A refused password is not tried again and again (providers lock such
// accounts): the account's mail waits, shown as paused with the reason,
// until the password is changed.
TEST_F(QueueFaultTest, RefusedPasswordPausesTheAccountUntilItChanges) {
    LTestSmtpServer& smtp = StartSmtp();
    AddAccount("acc1", Port(smtp), false);
    ASSERT_TRUE(LEmailAccountPasswordSet(Db(), u"acc1", u"wrong"));
    std::string first = Queue("acc1", "bob@example.net", "One");
    std::string second = Queue("acc1", "carol@example.net", "Two");
    ASSERT_EQ(Round(), 0);
    DueNow();
    ASSERT_EQ(Round(), 0);
    auto auths = [&] {
        size_t n = 0;
        for (const auto& command : smtp.Commands()) n += command.verb == "AUTH";
        return n;
    };
    EXPECT_EQ(auths(), 1u);
    for (const std::string& row : {first, second}) {
        EXPECT_EQ(Column(row, "STATE"), "PAUSED");
        EXPECT_NE(Column(row, "LAST_ERROR").find("535"), std::string::npos) << Column(row, "LAST_ERROR");
    }
    EXPECT_GT(next_due_, 0);
    EXPECT_LE(next_due_, LNow() + LSendQueuePauseLookSeconds);
    ASSERT_TRUE(LEmailAccountPasswordSet(Db(), u"acc1", u"secret"));
    ASSERT_EQ(Round(), 0);
    EXPECT_EQ(State(first), "FILED");
    EXPECT_EQ(State(second), "FILED");
    EXPECT_EQ(smtp.Messages().size(), 2u);
    EXPECT_EQ(QueryInt(Db(), "SELECT COUNT(*) FROM EMAIL_SEND_PAUSES"), 0);
}

// A server that accepts the connection and never speaks costs its account
// one try per back-off, not one per message, and the other accounts' mail
// goes out in the same round.
TEST_F(QueueFaultTest, SilentServerCostsOneTryAndOthersSend) {
    LSendQueueSetExchangeLimitForTests(1500);
    LTestSmtpServerOptions o;
    o.faults = {"GREETING=hang"};
    LTestSmtpServer& silent = StartSmtp(o);
    LTestSmtpServer& fine = StartSmtp();
    AddAccount("quiet", Port(silent), false);
    AddAccount("up", Port(fine), false);
    std::vector<std::string> stuck;
    for (int i = 0; i < 3; ++i) stuck.push_back(Queue("quiet", "bob@example.net", "Stuck " + std::to_string(i)));
    std::string goes = Queue("up", "carol@example.net", "Goes");
    ASSERT_EQ(Round(), 0);
    EXPECT_EQ(State(goes), "FILED");
    EXPECT_EQ(QueryInt(Db(), "SELECT SUM(TRIES) FROM EMAIL_SEND_QUEUE WHERE ACCOUNT_ID='quiet'"), 1);
    EXPECT_EQ(QueryInt(Db(), "SELECT COUNT(DISTINCT NEXT_TRY_UTC) FROM EMAIL_SEND_QUEUE WHERE ACCOUNT_ID='quiet'"), 1);
    EXPECT_GT(QueryInt(Db(), "SELECT MIN(NEXT_TRY_UTC) FROM EMAIL_SEND_QUEUE WHERE ACCOUNT_ID='quiet'"), LNow());
    EXPECT_NE(Column(stuck[0], "LAST_ERROR").find("gave no answer to greeting"), std::string::npos)
        << Column(stuck[0], "LAST_ERROR");
}

// An account address that no server takes as a sender fails the row at
// once, without a connection.
TEST_F(QueueFaultTest, InvalidAccountAddressFailsWithoutSending) {
    LTestSmtpServer& smtp = StartSmtp();
    AddAccount("acc1", Port(smtp), false);
    Exec(Db(), "UPDATE EMAILACCOUNTS SET EMAIL='alice@localhost'");
    std::string row = Queue("acc1", "bob@example.net", "Nowhere");
    ASSERT_EQ(Round(), 0);
    EXPECT_EQ(State(row), "FAILED");
    EXPECT_NE(Column(row, "LAST_ERROR").find("invalid sender address"), std::string::npos);
    EXPECT_TRUE(smtp.Commands().empty());
}

}  // namespace
