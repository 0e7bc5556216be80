#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>

#include "mail/queue/tests/queue_fixture.h"
#include "tests/support/service_harness.h"

namespace {

// The service is killed as soon as it has the server's 250 recorded; when
// it starts again the message is filed in Sent and never sent a second time.
TEST_F(QueueTest, KilledAfterTheSendNeverSendsAgain) {
    LTestSmtpServer& smtp = StartSmtp();
    AddAccount("acc1", "localhost:" + std::to_string(smtp.Port()));
    std::string row = Queue("acc1", "bob@example.net", "Across a crash");
    {
        LTestService service;
        ASSERT_TRUE(service.WaitRunning());
        ASSERT_TRUE(smtp.WaitForMessages(1, 30000));
        ASSERT_TRUE(LTestWaitFor(10000, [&] { return State(row) != "QUEUED" && State(row) != "SENDING"; }));
        service.Process().Signal(SIGKILL, 10000);
    }
    LTestService again;
    ASSERT_TRUE(again.WaitRunning());
    EXPECT_TRUE(LTestWaitFor(30000, [&] { return State(row) == "FILED"; })) << State(row);
    std::string message_id = QueryText(Db(), "SELECT MESSAGE_ID FROM EMAIL_MESSAGES WHERE ID='" + row + "'");
    std::string copies = Doveadm({"search", "-u", kUser, "mailbox", "Sent", "header", "Message-ID", message_id});
    EXPECT_EQ(std::count(copies.begin(), copies.end(), '\n'), 1) << copies;
    EXPECT_EQ(smtp.Messages().size(), 1u);
}

// Killed while the server has the whole message but has not answered: at
// the next start the row is not taken for sent (nothing goes into Sent);
// it waits to be sent again, logged as one that may arrive twice.
TEST_F(QueueTest, KilledBeforeTheServersAnswerIsNeverFiledAsSent) {
    LTestSmtpServerOptions o;
    o.faults = {"END=hang"};
    LTestSmtpServer& smtp = StartSmtp(o);
    AddAccount("acc1", "localhost:" + std::to_string(smtp.Port()));
    std::string row = Queue("acc1", "bob@example.net", "Unanswered");
    {
        LTestService service;
        ASSERT_TRUE(service.WaitRunning());
        ASSERT_TRUE(LTestWaitFor(30000, [&] { return State(row) == "SENDING"; })) << State(row);
        service.Process().Signal(SIGKILL, 10000);
    }
    LTestService again;
    ASSERT_TRUE(again.WaitRunning());
    auto error = [&] { return QueryText(Db(), "SELECT LAST_ERROR FROM EMAIL_SEND_QUEUE WHERE ROW_ID='" + row + "'"); };
    EXPECT_TRUE(LTestWaitFor(30000, [&] { return error().find("may arrive twice") != std::string::npos; })) << error();
    EXPECT_EQ(State(row), "QUEUED");
    EXPECT_EQ(QueryText(Db(), "SELECT b.IMAP_NAME FROM EMAIL_MESSAGES m JOIN EMAILMAILBOXES b ON b.ID=m.MAILBOX_ID "
                              "WHERE m.ID='" + row + "'"),
              "Outbox");
    EXPECT_EQ(Doveadm({"search", "-u", kUser, "mailbox", "Sent", "all"}), "");
    EXPECT_TRUE(smtp.Messages().empty());
}

// Not a benchmark: the time from queuing 100 messages to the last Sent copy
// filed, printed for the record (one message, one SMTP and one IMAP session
// at a time, as the worker does it).
TEST_F(QueueTest, HundredMessagesQueuedToFiled) {
    LTestSmtpServer& smtp = StartSmtp();
    AddAccount("acc1", "localhost:" + std::to_string(smtp.Port()));
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 100; ++i) Queue("acc1", "bob@example.net", "Message " + std::to_string(i));
    ASSERT_EQ(Round(), 0);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("[ timing ] 100 messages queued to the last Sent copy filed: %.1f s\n", seconds);
    EXPECT_EQ(QueryInt(Db(), "SELECT COUNT(*) FROM EMAIL_SEND_QUEUE WHERE STATE='FILED'"), 100);
    EXPECT_EQ(smtp.Messages().size(), 100u);
}

}  // namespace
