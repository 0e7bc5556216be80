#include <gtest/gtest.h>

#include <latch>
#include <thread>

#include "foundation/time_source.h"
#include "foundation/utf8.h"
#include "mail/mail_services.h"
#include "mail/queue/send_queue.h"
#include "mail/queue/tests/queue_fixture.h"
#include "net/mime/mime_message.h"

namespace {

std::string Port(const LTestSmtpServer& s) { return "localhost:" + std::to_string(s.Port()); }

// The server copy in Sent with a Message-ID: "uid hdr" of doveadm fetch.
// The server copy in Sent with a Message-ID: its UID and header block.
struct SentCopy {
    int uid = 0;
    std::string header;
};

// Each of three messages reaches the SMTP server once and Sent once, with
// the Message-ID and Date of its row in both, and the row linked to the
// server copy: from APPENDUID, or (server without UIDPLUS) by searching.
class QueueDeliveryTest : public QueueTest, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override { StartWith(GetParam()); }

public:
    std::vector<SentCopy> Copies(const std::string& message_id) {
        std::vector<SentCopy> out;
        std::string uids = Doveadm({"search", "-u", kUser, "mailbox", "Sent", "header", "Message-ID", message_id});
        for (size_t at = 0; (at = uids.find(' ', at)) != std::string::npos;) {
            size_t end = uids.find('\n', at);
            int uid = std::stoi(uids.substr(at + 1, end - at - 1));
            std::string header = Doveadm({"fetch", "-u", kUser, "hdr", "mailbox", "Sent", "uid", std::to_string(uid)});
            out.push_back({uid, header});
            at = end == std::string::npos ? uids.size() : end;
        }
        return out;
    }
};

TEST_P(QueueDeliveryTest, EachMessageOnceWithItsMessageIdAndLinked) {
    LTestSmtpServer& smtp = StartSmtp();
    AddAccount("acc1", Port(smtp));
    std::vector<std::string> rows;
    for (const char* subject : {"First", "Second", "Third"}) rows.push_back(Queue("acc1", "bob@example.net", subject));
    // Queued an hour ago (while offline): the Date is that time, and the
    // row keeps it when it is filed.
    Exec(Db(), "UPDATE EMAIL_MESSAGES SET SENT_UTC=SENT_UTC-3600;");
    std::vector<int64_t> queued;
    for (const std::string& row : rows)
        queued.push_back(QueryInt(Db(), "SELECT SENT_UTC FROM EMAIL_MESSAGES WHERE ID='" + row + "'"));
    ASSERT_EQ(Round(), 0);
    ASSERT_EQ(Round(), 0);  // nothing goes out twice
    std::vector<LTestSmtpMessage> got = smtp.Messages();
    ASSERT_EQ(got.size(), 3u) << QueryText(Db(), "SELECT LAST_ERROR FROM EMAIL_SEND_QUEUE");
    std::string uidvalidity = Doveadm({"-f", "flow", "mailbox", "status", "-u", kUser, "uidvalidity", "Sent"});
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i]);
        EXPECT_EQ(State(rows[i]), "FILED");
        std::string message_id = QueryText(Db(), "SELECT MESSAGE_ID FROM EMAIL_MESSAGES WHERE ID='" + rows[i] + "'");
        // Delivered in queue order, each with the row's Message-ID.
        EXPECT_EQ(Header(got[i].data, "Message-ID"), message_id);
        EXPECT_EQ(got[i].rcptTos, std::vector<std::string>{"bob@example.net"});
        std::vector<SentCopy> copies = Copies(message_id);
        ASSERT_EQ(copies.size(), 1u) << Doveadm({"fetch", "-u", kUser, "hdr", "mailbox", "Sent", "all"});
        EXPECT_EQ(Header(copies[0].header, "Date"), Header(got[i].data, "Date"));
        EXPECT_EQ(LEmailParseDate(LFromUtf8(Header(copies[0].header, "Date")).View()), queued[i]);
        EXPECT_EQ(QueryInt(Db(), "SELECT SENT_UTC FROM EMAIL_MESSAGES WHERE ID='" + rows[i] + "'"), queued[i]);
        EXPECT_EQ(Header(copies[0].header, "Message-ID"), message_id);
        EXPECT_EQ(QueryInt(Db(), "SELECT UID FROM EMAIL_MESSAGES WHERE ID='" + rows[i] + "'"), copies[0].uid);
        EXPECT_EQ("Sent uidvalidity=" + std::to_string(QueryInt(Db(), "SELECT UIDVALIDITY FROM EMAIL_MESSAGES WHERE ID='" +
                                                                     rows[i] + "'")) + "\n",
                  uidvalidity);
        EXPECT_EQ(QueryInt(Db(), "SELECT IS_DELETED FROM EMAIL_MESSAGES WHERE ID='" + rows[i] + "'"), 0);
    }
    // Without UIDPLUS on offer the copies were found by their Message-ID.
    bool searched = dovecot_.RawInput().find("SEARCH HEADER") != std::string::npos;
    EXPECT_EQ(searched, *GetParam() != 0);
}

INSTANTIATE_TEST_SUITE_P(Servers, QueueDeliveryTest,
                         ::testing::Values("", "IMAP4rev1 SASL-IR LOGIN-REFERRALS ID ENABLE IDLE LITERAL+"),
                         [](const auto& info) { return std::string(info.index == 0 ? "Uidplus" : "Search"); });

TEST_F(QueueTest, ImapDownAfterTheSendFilesLaterWithoutSendingAgain) {
    LTestSmtpServer& smtp = StartSmtp();
    AddAccount("acc1", Port(smtp));
    Exec(Db(), "UPDATE EMAILACCOUNTS SET INCOMINGSERVER='127.0.0.1:" + std::to_string(LTestFreePort()) + "'");
    std::string row = Queue("acc1", "bob@example.net", "While IMAP is down");
    ASSERT_EQ(Round(), 0);
    ASSERT_EQ(smtp.Messages().size(), 1u);
    // Sent already: in the local Sent, not yet on the server.
    EXPECT_EQ(State(row), "SENT");
    EXPECT_EQ(QueryText(Db(), "SELECT b.IMAP_NAME FROM EMAIL_MESSAGES m JOIN EMAILMAILBOXES b ON b.ID=m.MAILBOX_ID "
                              "WHERE m.ID='" + row + "'"),
              "Sent");
    EXPECT_EQ(QueryInt(Db(), "SELECT UIDVALIDITY FROM EMAIL_MESSAGES WHERE ID='" + row + "'"), 0);
    EXPECT_GT(next_due_, 0);
    Exec(Db(), "UPDATE EMAILACCOUNTS SET INCOMINGSERVER='" + dovecot_.Server() + "'");
    Exec(Db(), "UPDATE EMAIL_SEND_QUEUE SET NEXT_TRY_UTC=0");
    ASSERT_EQ(Round(), 0);
    EXPECT_EQ(State(row), "FILED");
    EXPECT_EQ(smtp.Messages().size(), 1u);
    EXPECT_GT(QueryInt(Db(), "SELECT UIDVALIDITY FROM EMAIL_MESSAGES WHERE ID='" + row + "'"), 0);
    EXPECT_NE(Doveadm({"search", "-u", kUser, "mailbox", "Sent", "all"}), "");
}

time_t g_now = 0;
time_t TestNow() { return g_now; }

struct ClockOverride {
    ClockOverride() {
        g_now = 1800000000;
        LSetNowFuncForTests(TestNow);
    }
    ~ClockOverride() { LSetNowFuncForTests(nullptr); }
};

TEST_F(QueueTest, ClosedSmtpPortBacksOffWhileAnotherAccountSends) {
    ClockOverride clock;
    LTestSmtpServer& smtp = StartSmtp();
    AddAccount("down", "localhost:" + std::to_string(LTestFreePort()), false);
    AddAccount("up", Port(smtp), false);
    std::string stuck = Queue("down", "bob@example.net", "Stuck");
    std::string fine = Queue("up", "carol@example.net", "Goes");
    ASSERT_EQ(Round(), 0);
    EXPECT_EQ(smtp.Messages().size(), 1u);
    EXPECT_EQ(State(fine), "FILED");
    // The wait after each failed try: 1 minute doubling, at most an hour.
    std::vector<int64_t> waits;
    for (int i = 0; i < 8; ++i) {
        int64_t next = QueryInt(Db(), "SELECT NEXT_TRY_UTC FROM EMAIL_SEND_QUEUE WHERE ROW_ID='" + stuck + "'");
        waits.push_back(next - g_now);
        ASSERT_EQ(Round(), 0);  // not due yet: no try
        g_now = next;
        ASSERT_EQ(Round(), 0);
    }
    EXPECT_EQ(waits, (std::vector<int64_t>{60, 120, 240, 480, 960, 1920, 3600, 3600}));
    EXPECT_EQ(QueryInt(Db(), "SELECT TRIES FROM EMAIL_SEND_QUEUE WHERE ROW_ID='" + stuck + "'"), 9);
    EXPECT_EQ(State(stuck), "QUEUED");
}

TEST_F(QueueTest, RefusalsAreFinalAndPartialRefusalDeliversOnce) {
    ClockOverride clock;
    LTestSmtpServerOptions o;
    o.refuse = {"gone@example.net", "left@example.net"};
    LTestSmtpServer& smtp = StartSmtp(o);
    AddAccount("acc1", Port(smtp), false);
    std::string refused = Queue("acc1", "gone@example.net, left@example.net", "Nobody");
    std::string partial = Queue("acc1", "gone@example.net, bob@example.net", "Half");
    ASSERT_EQ(Round(), 0);
    EXPECT_EQ(State(refused), "FAILED");
    EXPECT_EQ(State(partial), "FILED");
    g_now += 86400;
    ASSERT_EQ(Round(), 0);
    std::vector<LTestSmtpMessage> got = smtp.Messages();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].rcptTos, std::vector<std::string>{"bob@example.net"});
    size_t mail_commands = 0;
    for (const LTestSmtpCommand& c : smtp.Commands()) mail_commands += c.verb == "MAIL";
    EXPECT_EQ(mail_commands, 2u);
    EXPECT_EQ(next_due_, 0);
}

// Only rows this program queued are sent: a server mailbox named Outbox
// whose synchronised messages sit in the store is left alone.
TEST_F(QueueTest, ServerOutboxIsNeverSentFromAndLocalOutboxSurvivesReconciliation) {
    LTestSmtpServer& smtp = StartSmtp();
    AddAccount("acc1", Port(smtp), false);
    Exec(Db(), "INSERT INTO EMAILMAILBOXES (ID, EMAILACCOUNTS_ID, IMAP_NAME, IMAP_FLAGS) VALUES ('srvout', 'acc1', "
               "'Outbox', '')");
    TestMessage synced;
    synced.account = "acc1";
    synced.mailbox = "srvout";
    synced.to = "victim@example.net";
    synced.subject = "synced";
    InsertMessage(Db(), synced);
    std::string first = Queue("acc1", "bob@example.net", "Ours");
    // The list reconciliation did not find our local Outbox on the server.
    Exec(Db(), "UPDATE EMAILMAILBOXES SET DELETED='2026-01-01 00:00:00' WHERE IMAP_NAME='Outbox'");
    std::string second = Queue("acc1", "bob@example.net", "Ours again");
    EXPECT_EQ(QueryInt(Db(), "SELECT COUNT(*) FROM EMAILMAILBOXES WHERE IMAP_NAME='Outbox' AND DELETED IS NULL"), 1);
    ASSERT_EQ(Round(), 0);
    std::vector<LTestSmtpMessage> got = smtp.Messages();
    ASSERT_EQ(got.size(), 2u);
    for (const LTestSmtpMessage& m : got) EXPECT_EQ(m.rcptTos, std::vector<std::string>{"bob@example.net"});
}

// Two threads queuing at once never draw the same local UID.
TEST_F(QueueTest, ConcurrentQueuingKeepsEveryRow) {
    AddAccount("acc1", "localhost:1", false);
    constexpr int kEach = 25;
    auto queue_many = [] {
        LAppDatabaseAccount db(false);
        for (int i = 0; i < kEach; ++i)
            EXPECT_EQ(LEmailQueueOutgoing(db, u"acc1", u"bob@example.net", u"", u"x", u"<p>x</p>"), 0);
    };
    std::thread a(queue_many), b(queue_many);
    a.join();
    b.join();
    EXPECT_EQ(QueryInt(Db(), "SELECT COUNT(DISTINCT m.UID) FROM EMAIL_SEND_QUEUE q JOIN EMAIL_MESSAGES m ON "
                             "m.ID=q.ROW_ID"),
              2 * kEach);
}

// The first sends of an account all start at once: each of them looks for
// the Outbox, finds none and creates it; every one must still queue, into
// one Outbox.
TEST_F(QueueTest, ConcurrentFirstSendsShareOneNewOutbox) {
    constexpr int kAccounts = 6, kThreads = 6;
    for (int a = 0; a < kAccounts; ++a) AddAccount("first" + std::to_string(a), "localhost:1", false);
    for (int a = 0; a < kAccounts; ++a) {
        std::u16string account = LFromUtf8("first" + std::to_string(a)).c_str();
        std::latch start(kThreads);
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&] {
                LAppDatabaseAccount db(false);
                start.arrive_and_wait();
                EXPECT_EQ(LEmailQueueOutgoing(db, account.c_str(), u"bob@example.net", u"", u"x", u"<p>x</p>"), 0);
            });
        for (auto& t : threads) t.join();
        const std::string id = "first" + std::to_string(a);
        EXPECT_EQ(QueryInt(Db(), "SELECT COUNT(*) FROM EMAILMAILBOXES WHERE EMAILACCOUNTS_ID='" + id + "'"), 1) << id;
        EXPECT_EQ(QueryInt(Db(), "SELECT COUNT(*) FROM EMAIL_SEND_QUEUE q JOIN EMAIL_MESSAGES m ON m.ID=q.ROW_ID "
                                 "WHERE m.ACCOUNT_ID='" + id + "'"),
                  kThreads)
            << id;
    }
}

TEST_F(QueueTest, DraftIsStoredAndNeverQueued) {
    AddAccount("acc1", "localhost:1", false);
    char16_t id[260];
    ASSERT_TRUE(LEmailStoreDraft(Db(), u"acc1", u"bob@example.net", u"", u"", u"", u"Draft", u"text", u"", id));
    std::string row = LToUtf8(id);
    EXPECT_EQ(QueryText(Db(), "SELECT FLAGS || '|' || MESSAGE_ID || '|' || UID FROM EMAIL_MESSAGES WHERE ID='" + row +
                                  "'"),
              "\\Draft||1");
    EXPECT_EQ(QueryInt(Db(), "SELECT COUNT(*) FROM EMAIL_SEND_QUEUE"), 0);
}

}  // namespace
