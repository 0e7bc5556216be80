#include <gtest/gtest.h>

#include "foundation/utf8.h"
#include "mail/mail_services.h"
#include "mail/rules/autoresponder.h"
#include "mail/rules/tests/services_fixture.h"
#include "mail/store/message_store.h"

namespace {

constexpr int64_t kStart = 1800000000;

class AutoresponderTest : public ServicesTest {
protected:
    void Responder(const std::string& id, const std::string& frequency, int priority = 0,
                   const std::string& subject = "") {
        LStringA q;
        q.Format("INSERT INTO AUTORESPONDERS (ID, NAME, ENABLED, START_UTC, END_UTC, ALL_ACCOUNTS, SUBJECT, BODY_TEXT, "
                 "REPLY_FREQUENCY, PRIORITY, CREATED_UTC) VALUES ('%Q', 'away', 1, %I64d, %I64d, 1, '%Q', 'I am "
                 "away <until> Monday', '%Q', %d, 1)",
                 id.c_str(), kStart, kStart + 30 * 86400, subject.c_str(), frequency.c_str(), priority);
        Exec(Db(), q.Str());
    }
    bool Hook(const std::string& id, int64_t now) {
        return LAutoresponderOnNewMessageAt(Db(), LFromUtf8(id).c_str(), now);
    }
    int n_ = 0;
    std::string Next() { return "msg" + std::to_string(++n_); }
};

// RFC 3834: nothing a machine sent, nothing from a bounce or no-reply
// address, nothing from ourselves, nothing outside the ordinary mailboxes.
TEST_F(AutoresponderTest, SafetyTable) {
    Responder("ar1", "EVERY_MESSAGE");
    struct Case {
        const char* what;
        Arrival a;
        bool answered;
    };
    auto with = [](auto change) {
        Arrival a;
        change(a);
        return a;
    };
    const Case cases[] = {
        {"personal", with([](Arrival&) {}), true},
        {"Auto-Submitted no", with([](Arrival& a) { a.auto_submitted = "No"; }), true},
        {"Auto-Submitted", with([](Arrival& a) { a.auto_submitted = "auto-replied"; }), false},
        {"Precedence BULK", with([](Arrival& a) { a.precedence = "BULK"; }), false},
        {"List-Id", with([](Arrival& a) { a.list_id = "<list.example.net>"; }), false},
        {"no safety row", with([](Arrival& a) { a.safety_row = false; }), false},
        {"mailer-daemon", with([](Arrival& a) { a.from = "MAILER-Daemon@example.net"; }), false},
        {"noreply", with([](Arrival& a) { a.from = "News <NoReply@example.net>"; }), false},
        {"our own account", with([](Arrival& a) { a.from = "Me@Example.org"; }), false},
        {"in Sent", with([](Arrival& a) { a.mailbox = "sent"; }), false},
        {"in Trash", with([](Arrival& a) { a.mailbox = "trash"; }), false},
        {"written before the period", with([](Arrival& a) { a.sent_utc = kStart - 86400 * 400; }), false},
    };
    int sender = 0;
    for (Case c : cases) {
        c.a.id = Next();
        // A sender of its own each, so that no frequency rule interferes.
        if (c.a.from == Arrival().from) c.a.from = "Ann <ann" + std::to_string(++sender) + "@example.net>";
        Arrive(c.a);
        int64_t before = Queued();
        EXPECT_EQ(Hook(c.a.id, kStart + 60), c.answered) << c.what;
        EXPECT_EQ(Queued() - before, c.answered ? 1 : 0) << c.what;
    }
}

// Delivery reports as the store writer keeps them (RFC 3834 section 2): a
// null Return-Path, multipart/report or a postmaster sender is never
// answered, whoever the report names as its sender.
TEST_F(AutoresponderTest, DeliveryReportsGetNoAnswer) {
    Responder("ar1", "EVERY_MESSAGE");
    const std::string report_body =
        "Content-Type: multipart/report; report-type=delivery-status; boundary=\"r\"\r\n\r\n--r\r\n"
        "Content-Type: text/plain\r\n\r\nDelivery failed.\r\n--r\r\nContent-Type: message/delivery-status\r\n\r\n"
        "Reporting-MTA: dns; mx.example.net\r\n\r\nFinal-Recipient: rfc822; x@example.net\r\nAction: failed\r\n"
        "Status: 5.1.1\r\n--r--\r\n";
    struct Case {
        const char* what;
        std::string headers;  // before the body
        std::string body;
        bool answered;
    };
    const Case cases[] = {
        {"a person", "From: Ann <ann1@example.net>\r\n", "\r\nHello\r\n", true},
        {"null Return-Path", "Return-Path: <>\r\nFrom: Ann <ann2@example.net>\r\n", "\r\nFailed\r\n", false},
        {"null Return-Path with blanks", "Return-Path: < >\r\nFrom: Ann <ann3@example.net>\r\n", "\r\nx\r\n",
         false},
        {"multipart/report", "From: Ann <ann4@example.net>\r\n", report_body, false},
        {"postmaster", "From: Mail System <Postmaster@example.net>\r\n", "\r\nFailed\r\n", false},
    };
    uint32_t uid = 100;
    for (const Case& c : cases) {
        std::string bytes = c.headers + "To: me@example.org\r\nSubject: Delivery Status Notification (Failure)\r\n" +
                            "Message-ID: <dsn" + std::to_string(uid) + "@example.net>\r\nDate: " +
                            "Thu, 15 Jan 2027 10:00:00 +0000\r\n" + c.body;
        LString row;
        bool is_new = false;
        {
            LEmailStoreBatch batch(Db());
            ASSERT_EQ(batch.StoreBytes(row, is_new, u"acc1", u"inbox", ++uid, 7, bytes), LEmailStoreOk) << c.what;
            ASSERT_TRUE(batch.Commit());
        }
        int64_t before = Queued();
        EXPECT_EQ(Hook(LToUtf8(row), kStart + 60), c.answered) << c.what;
        EXPECT_EQ(Queued() - before, c.answered ? 1 : 0) << c.what;
    }
}

TEST_F(AutoresponderTest, AnswerIsMarkedAndThreaded) {
    Responder("ar1", "ONCE_PER_PERIOD");
    Arrival a;
    a.id = Next();
    a.subject = "RE: the plan";
    Arrive(a);
    ASSERT_TRUE(Hook(a.id, kStart + 60));
    EXPECT_EQ(LastQueued("q.AUTO_SUBMITTED"), "auto-replied");
    EXPECT_EQ(LastQueued("m.IN_REPLY_TO"), "<" + a.id + "@example.net>");
    EXPECT_EQ(LastQueued("m.SUBJECT"), "RE: the plan");
    EXPECT_EQ(LastQueued("m.TO_TEXT"), "ann@example.net");
    EXPECT_EQ(LastQueued("m.BODY_HTML"), "<div style=\"white-space:pre-wrap\">I am away &lt;until&gt; Monday</div>");
    EXPECT_EQ(QueryText(Db(), "SELECT STATUS FROM AUTORESPONDER_SENDS"), "SENT");
}

// Frequencies with injected time; the ledger row and the answer go together.
TEST_F(AutoresponderTest, FrequencyTable) {
    struct Case {
        const char* frequency;
        int64_t second_after;  // seconds between the first answer and the second message
        bool second_answered;
    };
    const Case cases[] = {
        {"ONCE_PER_DAY", 86400, false},
        {"ONCE_PER_DAY", 86401, true},
        {"ONCE_PER_PERIOD", 20 * 86400, false},
        {"EVERY_MESSAGE", 600, false},  // one answer per address per hour at most
        {"EVERY_MESSAGE", 3601, true},
    };
    int round = 0;
    for (const Case& c : cases) {
        std::string responder = "ar" + std::to_string(++round);
        Exec(Db(), "DELETE FROM AUTORESPONDERS");
        Responder(responder, c.frequency);
        Arrival first;
        first.id = Next();
        first.from = "bob" + std::to_string(round) + "@example.net";
        Arrive(first);
        ASSERT_TRUE(Hook(first.id, kStart + 10)) << c.frequency;
        EXPECT_TRUE(Hook(first.id, kStart + 20)) << "the same message is answered once";
        Arrival second = first;
        second.id = Next();
        second.message_id = "";
        Arrive(second);
        int64_t before = Queued();
        Hook(second.id, kStart + 10 + c.second_after);
        EXPECT_EQ(Queued() - before, c.second_answered ? 1 : 0) << c.frequency << " " << c.second_after;
    }
}

TEST_F(AutoresponderTest, OnlyTheHighestPriorityMatchIsConsidered) {
    Responder("high", "ONCE_PER_PERIOD", 5);
    Responder("low", "EVERY_MESSAGE", 1);
    Arrival a;
    a.id = Next();
    Arrive(a);
    ASSERT_TRUE(Hook(a.id, kStart + 10));
    EXPECT_EQ(QueryText(Db(), "SELECT AUTORESPONDER_ID FROM AUTORESPONDER_SENDS"), "high");
    Arrival b = a;
    b.id = Next();
    b.message_id = "";
    Arrive(b);
    EXPECT_TRUE(Hook(b.id, kStart + 7200));  // the period rule holds it back; "low" is not tried
    EXPECT_EQ(Queued(), 1);
}

TEST_F(AutoresponderTest, FailedQueueLeavesNoLedgerRow) {
    Responder("ar1", "ONCE_PER_PERIOD");
    Exec(Db(), "UPDATE EMAILACCOUNTS SET OUTGOINGSERVER=''");
    Arrival a;
    a.id = Next();
    Arrive(a);
    EXPECT_FALSE(Hook(a.id, kStart + 10));
    EXPECT_EQ(QueryInt(Db(), "SELECT COUNT(*) FROM AUTORESPONDER_SENDS"), 0);
    Exec(Db(), "UPDATE EMAILACCOUNTS SET OUTGOINGSERVER='localhost:1'");
    EXPECT_TRUE(Hook(a.id, kStart + 20));  // a failure never counts as an answer
}

// Our answer comes back into INBOX (the other side redirected it, or we
// wrote to ourselves): it carries our Message-ID and gets no answer.
TEST_F(AutoresponderTest, OurOwnAnswerFedBackGetsNoAnswer) {
    Responder("ar1", "EVERY_MESSAGE");
    Arrival a;
    a.id = Next();
    Arrive(a);
    ASSERT_TRUE(Hook(a.id, kStart + 10));
    Arrival back;
    back.id = Next();
    back.from = "someone@example.com";
    back.message_id = LastQueued("m.MESSAGE_ID");
    Arrive(back);
    EXPECT_FALSE(Hook(back.id, kStart + 7200));
    EXPECT_EQ(Queued(), 1);
}

}  // namespace
