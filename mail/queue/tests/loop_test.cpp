#include <gtest/gtest.h>

#include "foundation/time_source.h"
#include "foundation/wait.h"
#include "mail/queue/tests/queue_fixture.h"
#include "mail/rules/rules.h"
#include "mail/sync/sync_engine.h"

namespace {

// The whole road with the real synchronisation: an arriving message gets
// one answer and one forward; those two, delivered back into INBOX as the
// SMTP server received them, get nothing, and neither does the forward's
// copy in Sent. A later message still gets its answer and forward.
class LoopTest : public QueueTest {
protected:
    void TearDown() override { LMailSyncShutdown(); }
    void Pass() {
        LPlainWait wait;
        int32_t workers = 0, woken = 0;
        bool found = false, target = false;
        ASSERT_TRUE(LMailSyncWakeAndWait(wait, u"acc1", nullptr, 120000, workers, woken, found, target));
    }
    void Arrive(const std::string& message) { ASSERT_TRUE(dovecot_.Save(kUser, "INBOX", message)); }
    static std::string Personal(const std::string& from, const std::string& id) {
        return "From: " + from + "\r\nTo: alice@example.org\r\nSubject: Lunch?\r\nMessage-ID: " + id +
               "\r\nDate: " + "Fri, 11 Dec 2026 00:00:00 +0000\r\n\r\nShall we?\r\n";
    }
};

TEST_F(LoopTest, GeneratedMailComingBackStartsNothing) {
    LTestSmtpServer& smtp = StartSmtp();
    AddAccount("acc1", "localhost:" + std::to_string(smtp.Port()));
    int64_t now = LNow();
    Exec(Db(), "INSERT INTO AUTORESPONDERS (ID, NAME, START_UTC, END_UTC, ALL_ACCOUNTS, BODY_TEXT, REPLY_FREQUENCY, "
               "CREATED_UTC) VALUES ('away', 'away', " + std::to_string(now - 86400) + ", " +
                   std::to_string(now + 86400) + ", 1, 'Away', 'EVERY_MESSAGE', 1)");
    Exec(Db(), "INSERT INTO RULES (ID, NAME, FUNCTION, FUNCTION_DETAIL) VALUES ('fwd', 'all', 'FORWARD', "
               "'to=boss%40example.com'); INSERT INTO RULES_CONDITIONS (RULE_ID, PART, TEST, TEST_DETAIL) VALUES "
               "('fwd', 'FROM', '', '@')");
    ASSERT_EQ(LRulesLoad(Db()), 0);
    LMailSyncStart();
    Pass();  // the first mirror: nothing has arrived yet
    Arrive(Personal("Ann <ann@example.net>", "<p1@example.net>"));
    Pass();
    ASSERT_EQ(Round(), 0);
    std::vector<LTestSmtpMessage> first = smtp.Messages();
    ASSERT_EQ(first.size(), 2u);
    for (const LTestSmtpMessage& m : first) {
        EXPECT_NE(Header(m.data, "Auto-Submitted"), "") << m.data;
        EXPECT_EQ(Header(m.data, "In-Reply-To"), "<p1@example.net>") << m.data;
        Arrive(m.data);
    }
    Arrive(Personal("carol@example.net", "<p2@example.net>"));
    Pass();
    ASSERT_EQ(Round(), 0);
    std::vector<LTestSmtpMessage> all = smtp.Messages();
    ASSERT_EQ(all.size(), 4u);
    for (size_t i = 2; i < all.size(); ++i) EXPECT_EQ(Header(all[i].data, "In-Reply-To"), "<p2@example.net>");
}

}  // namespace
