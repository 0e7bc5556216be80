// Drafts, sending and the sending mail actions end to end: the tools queue,
// the send-queue worker delivers to a real SMTP server (aiosmtpd) and files
// the Sent copy in a real Dovecot; the daily quota holds under concurrent
// calls and starts over at midnight.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "foundation/time_source.h"
#include "foundation/utf8.h"
#include "foundation/wait.h"
#include "mail/queue/send_queue.h"
#include "mail/store/accounts.h"
#include "mail/workers.h"
#include "mcp/tools/tests/tool_fixture.h"
#include "tests/support/dovecot_server.h"
#include "tests/support/smtp_server.h"
#include "tests/support/tls_peer.h"

namespace {

using json = nlohmann::json;

constexpr const char* kUser = "alice@example.com";

class MailDelivery : public ::testing::Test {
protected:
    void SetUp() override {
        LTestDovecotOptions o;
        o.users = {{kUser, "secret"}};
        ASSERT_TRUE(dovecot.Start(o)) << dovecot.Error();
        std::string bundle = store.root.Path() + "/trusted.pem";
        std::ofstream(bundle) << LTestReadFile(dovecot.Folder() + "/cert.pem") << LTestReadFile(ca.CaPath());
        trust = std::make_unique<LTestScopedEnv>("SSL_CERT_FILE", bundle);
        smtp = LTestStartTlsSmtpServer(store.root.Path() + "/smtp", ca, kUser, "secret");
        ASSERT_TRUE(smtp->Ready());
        ASSERT_TRUE(store.db.ExecF(u"UPDATE main.EMAILACCOUNTS SET EMAIL='%Q', INCOMINGSERVER='%Q', "
                                   u"OUTGOINGSERVER='localhost:%d', REQUIRE_SMTP_HOST_MATCH=1 WHERE ID='acctaaaaaa';",
                                   LFromUtf8(kUser).c_str(), LFromUtf8(dovecot.Server()).c_str(), smtp->Port()));
        ASSERT_TRUE(LEmailAccountPasswordSet(store.db, u"acctaaaaaa", u"secret"));
        // The account's Outbox exists, as it does after its first queued mail.
        ASSERT_TRUE(store.db.Exec(u"INSERT INTO main.EMAILMAILBOXES (ID, EMAILACCOUNTS_ID, IMAP_NAME, IMAP_FLAGS) VALUES "
                                  u"('mboxoutbxa', 'acctaaaaaa', 'Outbox', '');"));
        ASSERT_EQ(LRulesCreateSchema(store.db), 0);
        ASSERT_EQ(LAutorespondersCreateSchema(store.db), 0);  // with the send queue's table
        for (const char* item : {"SendEnabled", "DraftEnabled"}) Setting(item, "1");
        Setting("SendDailyLimit", "5");
    }
    void TearDown() override { LSetNowFuncForTests(nullptr); }
    void Setting(const char* item, const char* value) {
        store.db.ExecF(u"INSERT OR REPLACE INTO main.APPSETTINGS VALUES ('MCP', '%Q', '%Q', '');",
                       LFromUtf8(item).c_str(), LFromUtf8(value).c_str());
    }
    // One round of the send-queue worker; the messages the server recorded.
    std::vector<LTestSmtpMessage> Deliver(size_t expected) {
        LPlainWait progress;
        int64_t next_due = 0;
        EXPECT_EQ(LSendQueueProcess(progress, store.db, next_due), 0);
        LAppDatabaseCursor c;
        c.Query(store.db, u"SELECT group_concat(q.STATE || ' ' || COALESCE(q.LAST_ERROR, '') || ' ' || m.TO_TEXT, '; ') FROM "
                          u"main.EMAIL_SEND_QUEUE q JOIN main.EMAIL_MESSAGES m ON m.ID=q.ROW_ID;");
        LStringA states;
        c.GetColumnTextA(0, states);
        EXPECT_TRUE(smtp->WaitForMessages(expected)) << states.Str();
        return smtp->Messages();
    }
    int64_t Count(const char16_t* sql) {
        LAppDatabaseCursor c;
        c.Query(store.db, sql);
        return c.HasRow() ? c.GetColumnInt64(0) : -1;
    }

    LTestToolStore store;
    LTestDovecot dovecot;
    LTestCertificateAuthority ca{store.root.Path()};
    std::unique_ptr<LTestScopedEnv> trust;
    std::unique_ptr<LTestSmtpServer> smtp;
};

TEST_F(MailDelivery, ToolsQueueExactlyTheGivenRecipients) {
    std::string source = store.AddMessage(store.account_a, store.inbox_a, "Plans", "See you.",
                                          "<html><head><style>p{color:red}</style></head><body><p>See you.</p>",
                                          1700000000);
    store.db.Exec(u"UPDATE main.EMAIL_MESSAGES SET FROM_TEXT='Carol <carol@example.org>', MESSAGE_ID='<plans@example.org>', "
                  u"REFERENCES_TEXT='<root@example.org> <mid@example.org>';");
    LTestToolAnswer sent = store.Call(
        "send_mail", R"({"account_email":"ALICE@example.com","to":"bob@example.net, dan@example.net","subject":"Line\r\nBcc: eve@x.example","body_text":"one\ntwo"})");
    ASSERT_FALSE(sent.is_error) << sent.text;
    std::string queued_id = sent.structured["queued_mail"]["email_id"];
    EXPECT_EQ(sent.summary, "Queued email " + queued_id + " to bob@example.net, dan@example.net from account acctaaaaaa for "
                            "background delivery; get_mail with this email_id shows whether it was delivered.");
    EXPECT_EQ(sent.structured["queued_mail"]["subject"], "Line Bcc: eve@x.example");
    EXPECT_EQ(sent.structured["send_quota"], json::parse(R"({"daily_limit":5,"used_today":1,"remaining_today":4})"));
    const std::string id = "\"email_id\":\"" + source + "\"";
    struct {
        const char* tool;
        std::string args;
    } actions[] = {
        {"forward_mail", "{" + id + ",\"to\":\"fred@example.net\",\"message\":\"FYI\\r\\nTo: eve@x.example\"}"},
        {"redirect_mail", "{" + id + ",\"to\":\"gina@example.net\"}"},
        {"reply_mail", "{" + id + ",\"message\":\"Thanks\\nline two\\n\\npara\"}"},
    };
    for (const auto& a : actions) {
        LTestToolAnswer r = store.Call(a.tool, a.args);
        ASSERT_FALSE(r.is_error) << a.tool << ": " << r.text;
        EXPECT_EQ(r.structured["action"]["email_id"], source);
    }
    LTestToolAnswer reply = store.Call("reply_mail", "{" + id + ",\"message\":\"Again\"}");
    EXPECT_EQ(reply.structured["send_quota"]["used_today"], 5);
    EXPECT_EQ(reply.summary, "Applied reply action to email " + source + ".");

    LTestToolAnswer draft = store.Call(
        "draft_mail", R"({"account_id":"acctaaaaaa","to":" x@example.net\r\nBcc: eve@x.example ","subject":"Draft","body_text":"later"})");
    ASSERT_FALSE(draft.is_error) << draft.text;
    std::string draft_id = draft.structured["draft"]["email_id"];
    EXPECT_EQ(draft.structured["draft"]["to"], "x@example.net Bcc: eve@x.example");
    LString sql;
    sql.Format(u"SELECT COUNT(*) FROM main.EMAIL_MESSAGES m JOIN main.EMAILMAILBOXES b ON b.ID=m.MAILBOX_ID WHERE "
               u"b.IMAP_NAME='Drafts' AND m.FLAGS LIKE '%%Draft%%' AND m.ID='%Q';",
               LFromUtf8(draft_id));
    EXPECT_EQ(Count(sql.c_str()), 1);

    std::vector<LTestSmtpMessage> got = Deliver(5);
    ASSERT_EQ(got.size(), 5u);
    std::vector<std::vector<std::string>> expected = {{"bob@example.net", "dan@example.net"}, {"fred@example.net"},
                                                      {"gina@example.net"}, {"carol@example.org"}, {"carol@example.org"}};
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].rcptTos, expected[i]) << i;
        // The texts with line breaks added no header of their own.
        std::string head = got[i].data.substr(0, got[i].data.find("\r\n\r\n"));
        EXPECT_EQ(head.find("\nBcc:"), std::string::npos) << head;
        EXPECT_EQ(head.find("\nTo: eve"), std::string::npos) << head;
    }
    EXPECT_NE(got[0].data.find("Subject: Line Bcc: eve@x.example"), std::string::npos);
    EXPECT_NE(got[0].data.find("one<br"), std::string::npos);
    // A reply and a forward thread under their source, and their text part
    // keeps the paragraphs and shows no style sheet.
    for (size_t i : {1, 3}) {
        SCOPED_TRACE(i);
        const std::string& data = got[i].data;
        EXPECT_NE(data.find("\r\nIn-Reply-To: <plans@example.org>\r\n"), std::string::npos) << data;
        EXPECT_NE(data.find("\r\nReferences: <root@example.org> <mid@example.org> <plans@example.org>\r\n"),
                  std::string::npos);
        size_t text = data.find("Content-Type: text/plain");
        std::string part = data.substr(text, data.find("\r\n--gc0p4Jq0M2Yt08jU534c", text) - text);
        EXPECT_EQ(part.find("color:red"), std::string::npos) << part;
        EXPECT_NE(part.find("See you."), std::string::npos) << part;
    }
    EXPECT_NE(got[3].data.find("Thanks\r\nline two\r\n\r\npara"), std::string::npos) << got[3].data;
    // The sender learns later how the queued mail fared.
    LTestToolAnswer status = store.Call("get_mail", "{\"email_id\":\"" + queued_id + "\"}");
    EXPECT_EQ(status.structured["delivery"]["state"], "FILED") << status.text;
    std::string found = dovecot.Doveadm({"search", "-u", kUser, "mailbox", "Sent", "all"});
    EXPECT_EQ(std::count(found.begin(), found.end(), '\n'), 5) << found;
}

// A message refused after it was queued: get_mail says so, with the
// server's words.
TEST_F(MailDelivery, GetMailTellsWhenQueuedMailWasRefused) {
    LTestSmtpServerOptions o;
    o.refuse = {"nobody@example.net"};
    smtp = LTestStartTlsSmtpServer(store.root.Path() + "/smtp2", ca, kUser, "secret", o);
    ASSERT_TRUE(smtp->Ready());
    ASSERT_TRUE(store.db.ExecF(u"UPDATE main.EMAILACCOUNTS SET OUTGOINGSERVER='localhost:%d';", smtp->Port()));
    LTestToolAnswer sent =
        store.Call("send_mail", R"({"account_id":"acctaaaaaa","to":"nobody@example.net","subject":"S","body_text":"b"})");
    ASSERT_FALSE(sent.is_error) << sent.text;
    EXPECT_TRUE(Deliver(0).empty());
    std::string id = sent.structured["queued_mail"]["email_id"];
    LTestToolAnswer status = store.Call("get_mail", "{\"email_id\":\"" + id + "\"}");
    EXPECT_EQ(status.structured["delivery"]["state"], "FAILED") << status.text;
    EXPECT_NE(status.structured["delivery"]["last_error"].get<std::string>().find("550 5.1.1"), std::string::npos)
        << status.text;
    EXPECT_NE(status.summary.find("not delivered: FAILED"), std::string::npos) << status.summary;
}

TEST_F(MailDelivery, TwentyConcurrentSendsQueueFive) {
    std::string source = store.AddMessage(store.account_a, store.inbox_a, "Plans", "See you.", "", 1700000000);
    // Refused recipients take no slot and reach no server.
    for (const char* to : {R"("a@b.example\r\nBcc: x@y.example")", R"("not-an-address")", R"("")"}) {
        LTestToolAnswer r = store.Call("forward_mail", "{\"email_id\":\"" + source + "\",\"to\":" + to + "}");
        EXPECT_TRUE(r.is_error) << to;
    }
    std::atomic<int> queued{0}, refused{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 20; ++i) {
        threads.emplace_back([&, i] {
            LAppDatabaseAccount own(false);
            LTestToolAnswer r = store.Call(
                "send_mail", "{\"account_id\":\"acctaaaaaa\",\"to\":\"n" + std::to_string(i) + "@example.net\"}", &own);
            if (!r.is_error) {
                ++queued;
            } else if (r.text ==
                       "send_mail cannot send more mail today because the MCP daily send limit of 5 has been reached.") {
                ++refused;
            } else {
                ADD_FAILURE() << r.text << "";
            }
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(queued.load(), 5);
    EXPECT_EQ(refused.load(), 15);
    EXPECT_EQ(Deliver(5).size(), 5u);
    // A new day starts a new count.
    static time_t tomorrow = std::time(nullptr) + 86400;
    LSetNowFuncForTests([] { return tomorrow; });
    LTestToolAnswer next = store.Call("send_mail", R"({"account_id":"acctaaaaaa","to":"late@example.net"})");
    ASSERT_FALSE(next.is_error) << next.text;
    EXPECT_EQ(next.structured["send_quota"]["used_today"], 1);
}

}  // namespace
