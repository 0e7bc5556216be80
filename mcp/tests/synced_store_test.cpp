// The mail tools through the official MCP client over stdio, on a store the
// service's own sync mirrors from a real Dovecot, with aiosmtpd as the
// account's SMTP server: what the tools change shows on the servers, and
// what the servers bring in reaches the tools.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "foundation/database.h"
#include "foundation/utf8.h"
#include "mcp/mcp_auth.h"
#include "mcp/tests/mcp_client_support.h"
#include "tests/support/dovecot_server.h"
#include "tests/support/service_harness.h"
#include "tests/support/smtp_server.h"
#include "tests/support/test_root.h"
#include "tests/support/tls_peer.h"
#include "web/http/tests/http_harness.h"

namespace {

using json = nlohmann::json;

constexpr const char* kUser = "alice@example.org";

std::string Query(const std::string& sql) {
    LAppDatabaseAccount db(false);
    LAppDatabaseCursor c;
    c.Query(db, LFromUtf8(sql).c_str());
    LStringA v;
    if (c.HasRow()) c.GetColumnTextA(0, v);
    return v.Str();
}

size_t Lines(const std::string& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); }

// A mirrored corpus with Archive and Trash on the server, aiosmtpd for
// sending, and the service running with every MCP action enabled.
class SyncedStore : public ::testing::Test {
protected:
    void Mirror(int count) {
        std::string error;
        ASSERT_FALSE(LTestCorpusInDovecot(dovecot, count, 11, error).empty()) << error;
        dovecot.Doveadm({"mailbox", "create", "-u", kUser, "Archive", "Trash"});
        std::string boxes = dovecot.Doveadm({"mailbox", "list", "-u", kUser});
        ASSERT_NE(boxes.find("Archive"), std::string::npos) << boxes;
        ASSERT_NE(boxes.find("Trash"), std::string::npos) << boxes;
        // Dovecot's certificate and the SMTP server's CA, both trusted by
        // the service started below.
        std::string bundle = root.Path() + "/trusted.pem";
        std::ofstream(bundle) << LTestReadFile(dovecot.Folder() + "/cert.pem") << LTestReadFile(ca.CaPath());
        trust = std::make_unique<LTestScopedEnv>("SSL_CERT_FILE", bundle);
        smtp = LTestStartTlsSmtpServer(root.Path() + "/smtp", ca, kUser, "secret");
        ASSERT_TRUE(smtp->Ready());
        {
            LAppDatabaseAccount db(false);
            ASSERT_TRUE(db.ExecF(u"UPDATE main.EMAILACCOUNTS SET OUTGOINGSERVER='localhost:%d' WHERE ID='acc1';",
                                 smtp->Port()));
            if (!db.TableExistsInSchema(u"main", u"APPSETTINGS")) db.CreateRegisteredTables();
            for (const char16_t* item : {u"Enabled", u"MoveEnabled", u"SendEnabled", u"DraftEnabled"})
                ASSERT_TRUE(db.ExecF(u"INSERT OR REPLACE INTO main.APPSETTINGS VALUES ('MCP', '%s', '1', '');", item));
            ASSERT_TRUE(LMcpEnsureStdioToken(db));
        }
        service = std::make_unique<LTestService>();
        ASSERT_TRUE(service->WaitRunning());
        ASSERT_TRUE(LTestWaitForMirror(count)) << Query("SELECT COUNT(*) FROM main.EMAIL_MESSAGES;");
    }

    // The calls through a fresh `porlinex -mcpstdio`; name -> the data
    // after the summary line (the last call of each name), and isError.
    json Run(const json& calls) {
        LTestCurlResult r;
        json seen = json::parse(LTestRunStdioClient(root.Path(), calls.dump(), r), nullptr, false);
        EXPECT_EQ(r.exit_code, 0) << r.output;
        EXPECT_FALSE(seen.is_discarded()) << r.output;
        if (seen.is_discarded()) return json::object();
        EXPECT_EQ(seen["errors"], json::array());
        EXPECT_EQ(seen["calls"].size(), calls.size());
        json out = json::object();
        for (const json& c : seen["calls"]) {
            std::string text = c["result"]["content"][0]["text"];
            size_t lf = text.find('\n');
            json& entry = out[c["name"].get<std::string>()];
            entry["summary"] = text.substr(0, lf);
            entry["error"] = c["result"].value("isError", false);
            entry["data"] = lf == std::string::npos ? json() : json::parse(text.substr(lf + 1), nullptr, false);
        }
        return out;
    }
    // One pass asked for and waited out, as an AI client would.
    void SyncNow() {
        json r = Run(json::array({{{"name", "downloadmessages_wait"}, {"arguments", {{"timeout_ms", 60000}}}}}));
        EXPECT_FALSE(r["downloadmessages_wait"]["error"].get<bool>()) << r.dump();
    }
    std::string Dovecot(const std::string& mailbox, const std::string& query = "all") {
        return dovecot.Doveadm({"search", "-u", kUser, "mailbox", mailbox, query});
    }
    std::string MailboxOf(const std::string& id) {
        return Query("SELECT b.IMAP_NAME FROM main.EMAIL_MESSAGES m JOIN main.EMAILMAILBOXES b ON b.ID=m.MAILBOX_ID "
                     "WHERE m.ID='" + id + "';");
    }

    LTestRoot root;
    LTestDovecot dovecot;
    LTestCertificateAuthority ca{root.Path()};
    std::unique_ptr<LTestScopedEnv> trust;
    std::unique_ptr<LTestSmtpServer> smtp;
    std::unique_ptr<LTestService> service;
};

TEST_F(SyncedStore, MovesAndTrashShowInDovecotAndTheNextPassAddsNothing) {
    Mirror(30);
    // Two of INBOX; the corpus fills other mailboxes too.
    const std::string inbox = "SELECT m.ID FROM main.EMAIL_MESSAGES m JOIN main.EMAILMAILBOXES b ON "
                              "b.ID=m.MAILBOX_ID WHERE b.IMAP_NAME='INBOX' ORDER BY m.ID LIMIT 1";
    std::string first = Query(inbox + ";"), second = Query(inbox + " OFFSET 1;");
    std::map<std::string, size_t> before;
    for (const char* box : {"INBOX", "Archive", "Trash"}) before[box] = Lines(Dovecot(box));
    auto header_id = [](const std::string& id) {
        return Query("SELECT MESSAGE_ID FROM main.EMAIL_MESSAGES WHERE ID='" + id + "';");
    };
    std::string first_mid = header_id(first), second_mid = header_id(second);
    ASSERT_FALSE(first_mid.empty());
    json r = Run(json::array({
        {{"name", "move_mail_mailbox"}, {"arguments", {{"email_id", first}, {"mailbox_name", "archive"}}}},
        {{"name", "move_mail_trash"}, {"arguments", {{"email_id", second}}}},
    }));
    for (const char* tool : {"move_mail_mailbox", "move_mail_trash"})
        EXPECT_FALSE(r[tool]["error"].get<bool>()) << tool << ": " << r[tool].dump();
    EXPECT_TRUE(LTestWaitFor(60000, [] { return Query("SELECT COUNT(*) FROM main.EMAIL_SERVER_MOVES;") == "0"; }));
    SyncNow();

    EXPECT_EQ(Lines(Dovecot("INBOX")), before["INBOX"] - 2);
    EXPECT_EQ(Lines(Dovecot("Archive")), before["Archive"] + 1);
    EXPECT_EQ(Lines(Dovecot("Trash")), before["Trash"] + 1);
    std::string archived = dovecot.Doveadm({"search", "-u", kUser, "mailbox", "Archive", "header", "Message-ID",
                                            first_mid});
    std::string trashed = dovecot.Doveadm({"search", "-u", kUser, "mailbox", "Trash", "header", "Message-ID",
                                           second_mid});
    EXPECT_EQ(Lines(archived), 1u) << first_mid;
    EXPECT_EQ(Lines(trashed), 1u) << second_mid;

    // The pass after the moves found the server's copies as the moved rows.
    SyncNow();
    EXPECT_EQ(Query("SELECT COUNT(*) FROM main.EMAIL_MESSAGES;"), "30");
    EXPECT_EQ(Query("SELECT COUNT(*) FROM main.EMAIL_MESSAGES WHERE IS_DELETED=0;"), "30");
    EXPECT_EQ(MailboxOf(first), "Archive");
    EXPECT_EQ(MailboxOf(second), "Trash");
}

std::string Arrival(const std::string& subject, const std::string& mid, const std::string& date) {
    return "From: Quinn <quinn@example.net>\r\nTo: alice@example.org\r\nSubject: " + subject + "\r\nMessage-ID: <" +
           mid + ">\r\nDate: " + date + "\r\n\r\nBody of " + subject + ".\r\n";
}

TEST_F(SyncedStore, AForwardRuleAddedThroughMcpForwardsTheNextMatchingArrival) {
    Mirror(10);
    json r = Run(json::array({
        {{"name", "add_rule"},
         {"arguments",
          {{"name", "figures"},
           {"conditions", json::array({{{"part", "subject"}, {"test", "contains"}, {"value", "Quarterly figures"}}})},
           {"action", "FORWARD"},
           {"to", "fwd@example.net"},
           {"message", "For you"}}}},
        {{"name", "list_rules"}},
    }));
    ASSERT_FALSE(r["add_rule"]["error"].get<bool>()) << r.dump();
    ASSERT_EQ(r["list_rules"]["data"]["rules"].size(), 1u) << r.dump();
    // One arrival that matches and one that does not. IDLE would bring
    // them too (the sync's own tests show it); a pass asked for keeps this
    // test about the rule, not about when the server notifies.
    ASSERT_TRUE(dovecot.Save(kUser, "INBOX", Arrival("Weekly notes", "weekly@x", "Mon, 7 Dec 2026 10:00:00 +0000")));
    ASSERT_TRUE(dovecot.Save(kUser, "INBOX",
                             Arrival("Quarterly figures Q4", "figures@x", "Mon, 7 Dec 2026 10:01:00 +0000")));
    SyncNow();
    ASSERT_TRUE(LTestWaitFor(60000, [] {
        return Query("SELECT COUNT(*) FROM main.EMAIL_MESSAGES WHERE SUBJECT LIKE 'Quarterly%';") != "0";
    }));
    ASSERT_TRUE(smtp->WaitForMessages(1, 60000)) << LTestService::LogText();
    std::vector<LTestSmtpMessage> got = smtp->Messages();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].rcptTos, std::vector<std::string>{"fwd@example.net"});
    EXPECT_NE(got[0].data.find("Quarterly figures Q4"), std::string::npos);
    EXPECT_EQ(got[0].data.find("Weekly notes"), std::string::npos);
    // The arrivals are stored once each; the forward's Sent copy is the
    // only other new row.
    SyncNow();
    EXPECT_EQ(Query("SELECT COUNT(*) FROM main.EMAIL_MESSAGES m JOIN main.EMAILMAILBOXES b ON b.ID=m.MAILBOX_ID "
                    "WHERE b.IMAP_NAME='INBOX' AND m.MESSAGE_ID IN ('<weekly@x>', '<figures@x>');"),
              "2");
    EXPECT_EQ(Query("SELECT COUNT(*) FROM main.EMAIL_MESSAGES;"), "13");
    EXPECT_EQ(Query("SELECT COUNT(*) FROM main.EMAIL_MESSAGES m JOIN main.EMAILMAILBOXES b ON b.ID=m.MAILBOX_ID "
                    "WHERE b.IMAP_NAME='Sent' AND m.SUBJECT LIKE '%Quarterly figures Q4';"),
              "1");
}

// Pages of list_recent_mail while the sync stores new mail between them:
// every message there before the first page is seen exactly once, also
// those that share one received time.
TEST_F(SyncedStore, KeysetPagingSeesEveryOldMessageOnceWhileMailArrives) {
    Mirror(60);
    // Twenty of them share one received time (1700000000), as a bulk
    // import leaves them.
    {
        LAppDatabaseAccount db(false);
        ASSERT_TRUE(db.Exec(u"UPDATE main.EMAIL_MESSAGES SET RECEIVED_UTC=1700000000 WHERE ID IN (SELECT ID FROM "
                            u"main.EMAIL_MESSAGES ORDER BY ID LIMIT 20);"));
    }
    std::multiset<std::string> old;
    {
        LAppDatabaseAccount db(false);
        LAppDatabaseCursor c;
        c.Query(db, u"SELECT ID FROM main.EMAIL_MESSAGES;");
        for (; c.HasRow(); c.Step()) {
            LStringA id;
            c.GetColumnTextA(0, id);
            old.insert(id.Str());
        }
    }
    ASSERT_EQ(old.size(), 60u);
    std::multiset<std::string> seen;
    json cursor;
    int arrivals = 0;
    for (int page = 0; page < 40; ++page) {
        json args = {{"limit", 7}};
        if (!cursor.is_null()) args["cursor"] = cursor;
        json r = Run(json::array({{{"name", "list_recent_mail"}, {"arguments", args}}}));
        const json& data = r["list_recent_mail"]["data"];
        ASSERT_FALSE(r["list_recent_mail"]["error"].get<bool>()) << r.dump();
        for (const json& e : data["emails"])
            if (old.count(e["id"].get<std::string>())) seen.insert(e["id"].get<std::string>());
        // New mail newer than every page, at the shared time, and older
        // than every page, mirrored before the next page.
        static const char* const dates[] = {"Tue, 1 Dec 2026 10:00:00 +0000", "Tue, 14 Nov 2023 22:13:20 +0000",
                                            "Mon, 1 Jan 2001 00:00:00 +0000", "Tue, 14 Nov 2023 22:13:20 +0000"};
        if (page < 4) {
            std::string n = std::to_string(page);
            ASSERT_TRUE(dovecot.Save(kUser, "INBOX", Arrival("late " + n, "late" + n + "@x", dates[page])));
            ASSERT_TRUE(LTestWaitForMirror(60 + ++arrivals, 60000));
        }
        if (!data.value("has_more", false)) break;
        cursor = data["next_cursor"];
        ASSERT_TRUE(cursor.is_object()) << data.dump();
    }
    EXPECT_EQ(seen, old);
}

// Every mail tool once through the relay, with every action enabled: the
// sending ones reach aiosmtpd with exactly their recipients and leave their
// Sent copies in Dovecot, the moves show there, the draft is in Drafts.
TEST_F(SyncedStore, EveryMailToolThroughTheRelay) {
    Mirror(40);
    const std::string inbox = "SELECT m.ID FROM main.EMAIL_MESSAGES m JOIN main.EMAILMAILBOXES b ON "
                              "b.ID=m.MAILBOX_ID WHERE b.IMAP_NAME='INBOX' ORDER BY m.ID LIMIT 1 OFFSET ";
    std::vector<std::string> ids;
    for (int i = 0; i < 3; ++i) ids.push_back(Query(inbox + std::to_string(i) + ";"));
    std::string sender = Query("SELECT FROM_TEXT FROM main.EMAIL_MESSAGES WHERE ID='" + ids[0] + "';");
    if (sender.find('<') != std::string::npos) sender = sender.substr(sender.find('<') + 1);
    sender = sender.substr(0, sender.find('>'));
    std::string sender_part = sender.substr(0, sender.find('@'));
    size_t archived = Lines(Dovecot("Archive")), trashed = Lines(Dovecot("Trash")), sent = Lines(Dovecot("Sent"));
    json calls = json::array({
        {{"name", "advanced_search_mail"}, {"arguments", {{"from", sender_part}, {"after_utc", 0}}}},
        {{"name", "search_mail_address"}, {"arguments", {{"address", sender}, {"after_utc", 0}, {"limit", 50}}}},
        {{"name", "list_recent_mail"}, {"arguments", {{"limit", 7}}}},
        {{"name", "list_mailbox_mail"}, {"arguments", {{"mailbox_name", "INBOX"}, {"after_utc", 0}, {"limit", 5}}}},
        {{"name", "list_recent_threads"}, {"arguments", {{"limit", 5}}}},
        {{"name", "mail_stats"}, {"arguments", {{"account_email", kUser}}}},
        {{"name", "get_thread"}, {"arguments", {{"email_id", ids[0]}}}},
        {{"name", "get_thread_compact"}, {"arguments", {{"email_id", ids[0]}}}},
        {{"name", "add_rule"},
         {"arguments",
          {{"conditions", json::array({{{"part", "subject"}, {"test", "is"}, {"value", "never"}}})},
           {"action", "MOVE"},
           {"mailbox_name", "Archive"}}}},
        {{"name", "list_rules"}},
        {{"name", "draft_mail"}, {"arguments", {{"account_email", kUser}, {"to", "x@example.net"}, {"subject", "Later"}}}},
        {{"name", "send_mail"},
         {"arguments", {{"account_email", kUser}, {"to", "bob@example.net, dan@example.net"}, {"subject", "Plans"}}}},
        {{"name", "forward_mail"}, {"arguments", {{"email_id", ids[0]}, {"to", "fred@example.net"}}}},
        {{"name", "redirect_mail"}, {"arguments", {{"email_id", ids[0]}, {"to", "gina@example.net"}}}},
        {{"name", "reply_mail"}, {"arguments", {{"email_id", ids[0]}, {"message", "Thanks"}}}},
        {{"name", "move_mail_mailbox"}, {"arguments", {{"email_id", ids[1]}, {"mailbox_name", "Archive"}}}},
        {{"name", "move_mail_trash"}, {"arguments", {{"email_id", ids[2]}}}},
    });
    json r = Run(calls);
    for (const json& c : calls) {
        std::string tool = c["name"];
        EXPECT_FALSE(r[tool]["error"].get<bool>()) << tool << ": " << r[tool].dump();
    }
    // The rule ID list_rules gave goes again.
    std::string rule = r["list_rules"]["data"]["rules"][0]["rule_id"];
    json gone = Run(json::array({{{"name", "delete_rule"}, {"arguments", {{"rule_id", rule}}}}}));
    EXPECT_FALSE(gone["delete_rule"]["error"].get<bool>()) << gone.dump();

    EXPECT_FALSE(r["advanced_search_mail"]["data"]["emails"].empty());
    EXPECT_FALSE(r["search_mail_address"]["data"]["emails"].empty());
    EXPECT_EQ(r["list_recent_mail"]["data"]["emails"].size(), 7u);
    EXPECT_EQ(r["mail_stats"]["data"]["summary"]["total_messages"], 40);
    EXPECT_FALSE(r["get_thread"]["data"]["emails"].empty());

    ASSERT_TRUE(smtp->WaitForMessages(4, 60000)) << LTestService::LogText();
    std::set<std::vector<std::string>> recipients;
    for (const LTestSmtpMessage& m : smtp->Messages()) recipients.insert(m.rcptTos);
    std::set<std::vector<std::string>> expected = {
        {"bob@example.net", "dan@example.net"}, {"fred@example.net"}, {"gina@example.net"}, {sender}};
    EXPECT_EQ(recipients, expected);
    EXPECT_TRUE(LTestWaitFor(60000, [&] { return Lines(Dovecot("Sent")) == sent + 4; })) << Dovecot("Sent");
    EXPECT_TRUE(LTestWaitFor(60000, [&] {
        return Lines(Dovecot("Archive")) == archived + 1 && Lines(Dovecot("Trash")) == trashed + 1;
    }));
    EXPECT_EQ(MailboxOf(r["draft_mail"]["data"]["draft"]["email_id"]), "Drafts");
}

}  // namespace
