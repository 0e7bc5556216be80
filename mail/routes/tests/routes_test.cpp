// The account, message and backup routes over real HTTP (curl against the
// web server), with a real Dovecot and a real SMTP server behind the
// account routes and the synchronisation engine of this process.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "foundation/json_value.h"
#include "foundation/reg_settings.h"
#include "foundation/utf8.h"
#include "mail/store/accounts.h"
#include "mail/store/tests/store_fixture.h"
#include "mail/sync/sync_engine.h"
#include "mail/sync/tests/sync_fixture.h"
#include "tests/support/dovecot_server.h"
#include "tests/support/service_harness.h"
#include "tests/support/smtp_server.h"
#include "tests/support/tls_peer.h"
#include "web/http/tests/http_harness.h"

namespace {

std::string Body(const std::string& response) {
    size_t at = response.find("\r\n\r\n");
    return at == std::string::npos ? "" : response.substr(at + 4);
}

// The web server, the store and a signed-in session.
class RoutesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(web_.Start());
        db_ = std::make_unique<LAppDatabaseAccount>(false);
        ASSERT_TRUE(RunMailSchema(*db_));
        session_ = web_.MakeSession();
    }
    void TearDown() override { LMailSyncShutdown(); }

    // POSTs the JSON body; signed in and with X-AJAX unless told otherwise.
    std::string Post(const std::string& route, const std::string& json, bool session = true, bool ajax = true) {
        std::vector<std::string> args = {"-X", "POST", "-H", "Content-Type: application/json", "--data-binary", json};
        if (ajax) args.insert(args.end(), {"-H", "X-AJAX: 1"});
        if (session) args.insert(args.end(), {"-b", "porlinex_sess=" + session_});
        return Body(web_.Curl(args, "/" + route).output);
    }
    LJsonValue& PostJson(const std::string& route, const std::string& json) {
        std::string body = Post(route, json);
        EXPECT_EQ(reply_.Parse(body.c_str()), 0u) << route << ": " << body;
        return reply_;
    }

    LTestWebServer web_;
    std::unique_ptr<LAppDatabaseAccount> db_;
    std::string session_;
    LJsonValue reply_;
};

TEST_F(RoutesTest, EveryRouteWantsASessionAndPassesTheCsrfCheck) {
    const char* routes[] = {"emailaccountguessservers", "emailaccounttest", "emailaccountpassword",
                            "emailaccountpassworddelete", "emailaccountsresync", "emailaccountmailboxlistrefresh",
                            "emailaccountreload", "emailaccountstatus", "emailget", "emailsearch",
                            "backupsettings", "backupstatus"};
    Exec(*db_, "INSERT INTO main.EMAILACCOUNTS (ID, EMAIL) VALUES ('acc1', 'a@example.org');");
    const std::string request = R"({"ID":"acc1","PASSWORD":"x","email_id":"m1","query":"x","EMAIL":"a@example.org",
                                     "enabled":0})";
    for (const char* route : routes) {
        EXPECT_EQ(Post(route, request, false), "{\"errorcode\":401,\"errormsg\":\"Not logged in.\"}") << route;
        EXPECT_EQ(Post(route, request, true, false), "{\"errorcode\":403,\"errormsg\":\"CSRF validation failed\"}")
            << route;
    }
    // Nothing was changed by the refused calls.
    EXPECT_EQ(QueryInt(*db_, "SELECT COUNT(*) FROM main.EMAILACCOUNTSPASSWORDS;"), 0);
    char16_t enabled[260];
    EXPECT_FALSE(LRegSettingsGet(u"EmailBackup", u"Enabled", u"", enabled) && enabled[0]);

    // A member longer than 259 bytes is refused, never cut.
    std::string long_password(300, 'p');
    EXPECT_EQ(Post("emailaccountpassword", R"({"ID":"acc1","PASSWORD":")" + long_password + "\"}"),
              "{\"errorcode\":400,\"errormsg\":\"PASSWORD is longer than 259 bytes.\"}");
    EXPECT_EQ(QueryInt(*db_, "SELECT COUNT(*) FROM main.EMAILACCOUNTSPASSWORDS;"), 0);

    struct Case {
        const char* route;
        const char* request;
        const char* reply;
    };
    const Case cases[] = {
        {"emailaccountguessservers", R"({"EMAIL":""})", R"({"errorcode":400,"errormsg":"Please enter an email address."})"},
        {"emailaccounttest", R"({"EMAIL":"a@b"})", R"({"errorcode":400,"errormsg":"Please enter a password."})"},
        {"emailaccounttest", R"({"EMAIL":"a@b","PASSWORD":"p"})", R"({"errorcode":400,"errormsg":"No host provided."})"},
        {"emailaccountpassword", R"({"ID":"  ","PASSWORD":"p"})",
         R"({"errorcode":400,"errormsg":"Account ID and password are required."})"},
        {"emailaccountpassword", R"({"ID":"nobody","PASSWORD":"p"})",
         R"({"errorcode":404,"errormsg":"Email account was not found."})"},
        {"emailaccountpassworddelete", R"({"ID":"acc1"})", R"({"errorcode":200,"errormsg":"OK"})"},
        {"emailaccountpassworddelete", R"({})", R"({"errorcode":400,"errormsg":"Account ID is required."})"},
        {"emailaccountmailboxlistrefresh", R"({"ID":"acc1"})",
         R"({"errorcode":500,"errormsg":"Unable to request mailbox list refresh."})"},
        {"emailaccountreload", R"({"ID":"acc1"})", R"({"errorcode":500,"errormsg":"Mail sync engine is not started."})"},
        {"emailaccountstatus", R"({})", R"({"errorcode":500,"errormsg":"Mail sync status is unavailable."})"},
        {"emailget", R"({"email_id":""})",
         R"({"errorcode":400,"errormsg":"EMAILGET_EMAIL_ID_REQUIRED","error_key":"EMAILGET_EMAIL_ID_REQUIRED"})"},
        {"emailget", R"({"email_id":"x' OR '1'='1"})",
         R"({"errorcode":404,"errormsg":"EMAILGET_NOT_FOUND","error_key":"EMAILGET_NOT_FOUND"})"},
        {"backupsettings", R"({"enabled":1,"zip_after_months":-1})",
         R"({"errorcode":400,"errormsg":"The archive age must be between 0 and 1200 months."})"},
        {"backupsettings", R"({"enabled":1,"zip_after_months":1201})",
         R"({"errorcode":400,"errormsg":"The archive age must be between 0 and 1200 months."})"},
        {"backupsettings", R"({"enabled":1,"folder":""})",
         R"({"errorcode":400,"errormsg":"Could not find a cloud-synchronised folder. Choose a backup folder manually."})"},
        {"backupsettings", R"({"enabled":1,"folder":"/no/such/folder"})",
         R"({"errorcode":400,"errormsg":"The backup folder does not exist."})"},
        {"backupsettings", R"({"enabled":1,"folder":"relative"})",
         R"({"errorcode":400,"errormsg":"The backup folder does not exist."})"},
        // Wrong types are refused, not read as 0 (which would store the
        // backup as off and answer OK).
        {"backupsettings", R"({"enabled":"yes","folder":"/tmp"})",
         R"({"errorcode":400,"errormsg":"The backup is turned on with 1 and off with 0."})"},
        {"backupsettings", R"({"enabled":[1],"folder":"/tmp"})",
         R"({"errorcode":400,"errormsg":"The backup is turned on with 1 and off with 0."})"},
        {"backupsettings", R"({"enabled":1,"folder":"/tmp","zip_after_months":"12"})",
         R"({"errorcode":400,"errormsg":"The archive age must be between 0 and 1200 months."})"},
        {"backupsettings", R"({"enabled":0,"folder":7})",
         R"({"errorcode":400,"errormsg":"The backup folder does not exist."})"},
        {"backupsettings", R"({"enabled":0,"folder":"/no/such/folder","zip_after_months":3})",
         R"({"errorcode":200,"errormsg":"OK"})"},
        {"backupstatus", R"({})",
         R"({"errorcode":0,"enabled":0,"folder":"/no/such/folder","zip_after_months":3,"last_done_utc":"0",)"
         R"("last_round_utc":"0","last_round_files":0,"last_round_failures":0,"last_round_error":""})"},
    };
    for (const Case& c : cases) EXPECT_EQ(Post(c.route, c.request), c.reply) << c.route << " " << c.request;

    std::string folder = web_.root.Path() + "/backup";
    std::filesystem::create_directories(folder);
    EXPECT_EQ(Post("backupsettings", R"({"enabled":1,"folder":")" + folder + R"(","zip_after_months":12})"),
              R"({"errorcode":200,"errormsg":"OK"})");
    // What the worker recorded of its last round comes with the settings.
    const std::pair<const char16_t*, const char16_t*> round[] = {
        {u"LastDoneUTC", u"1765400000"}, {u"LastRoundUTC", u"1765450000"}, {u"LastRoundFiles", u"41"},
        {u"LastRoundFailures", u"2"}, {u"LastRoundError", u"unable to write /b/2026-12/x \"y\".eml: No space left"}};
    for (const auto& [name, value] : round) ASSERT_TRUE(LRegSettingsSet(u"EmailBackup", name, value));
    EXPECT_EQ(Post("backupstatus", "{}"),
              R"({"errorcode":0,"enabled":1,"folder":")" + folder +
                  R"(","zip_after_months":12,"last_done_utc":"1765400000","last_round_utc":"1765450000",)"
                  R"("last_round_files":41,"last_round_failures":2,)"
                  R"("last_round_error":"unable to write /b/2026-12/x \"y\".eml: No space left"})");
}

TEST_F(RoutesTest, EmailGetMemberByMember) {
    Exec(*db_, "INSERT INTO main.EMAILACCOUNTS (ID, EMAIL) VALUES ('acc1', 'me@example.org');");
    Exec(*db_, "INSERT INTO main.EMAILMAILBOXES (ID, EMAILACCOUNTS_ID, IMAP_NAME) VALUES ('mbx1', 'acc1', 'INBOX');");
    Exec(*db_, "INSERT INTO main.EMAIL_MESSAGES (ID, ACCOUNT_ID, MAILBOX_ID, UID, UIDVALIDITY, SUBJECT, FROM_TEXT, "
               "TO_TEXT, CC_TEXT, SENT_UTC, RECEIVED_UTC, FLAGS, BODY_TEXT, BODY_HTML, HAS_ATTACHMENTS) VALUES ('m1', "
               "'acc1', 'mbx1', 1, 7, 'S\xc3\xbc\"bject', 'a@x', 'b@y', NULL, 4102444800, 4102444801, '\\Seen', "
               "'text', '<p>h</p>', 1), ('retired', 'acc1', 'mbx1', 2, 7, 's', 'f', 't', '', 1, 1, '', '', '', 0);");
    Exec(*db_, "UPDATE main.EMAIL_MESSAGES SET IS_DELETED=1 WHERE ID='retired';");
    // Parts 10 and 2 come in part order, not text order; the inline picture
    // and another message's file stay out; a name holding markup is text.
    Exec(*db_, "INSERT INTO main.EMAIL_MESSAGE_ATTACHMENTS (ID, MESSAGE_ID, PART_ID, FILENAME, CONTENT_TYPE, "
               "CONTENT_ID, SIZE_BYTES, IS_INLINE) VALUES ('a1', 'm1', '10', 'late.pdf', 'application/pdf', '', "
               "5000000000, 0), ('a2', 'm1', '2', '<img src=x onerror=\"1\">.txt', NULL, '', 3, 0), "
               "('a3', 'm1', '3', 'logo.png', 'image/png', 'cid1', 9, 1), ('a4', 'retired', '1', 'x.bin', "
               "'application/zip', '', 1, 0);");
    EXPECT_EQ(Post("emailget", R"({"email_id":"m1"})"),
              "{\"errorcode\":0,\"errormsg\":\"OK\",\"email\":{\"id\":\"m1\",\"account_id\":\"acc1\",\"account_email\":"
              "\"me@example.org\",\"mailbox_id\":\"mbx1\",\"mailbox_name\":\"INBOX\",\"subject\":\"S\xc3\xbc\\\"bject\","
              "\"from\":\"a@x\",\"to\":\"b@y\",\"cc\":\"\",\"reply_to\":\"\",\"sent_utc\":\"4102444800\","
              "\"received_utc\":\"4102444801\",\"flags\":\"\\\\Seen\",\"body_text\":\"text\",\"body_html\":\"<p>h</p>\","
              "\"has_attachments\":true,\"attachments\":[{\"file_name\":\"<img src=x onerror=\\\"1\\\">.txt\","
              "\"content_type\":\"application/octet-stream\",\"size\":\"3\"},{\"file_name\":\"late.pdf\","
              "\"content_type\":\"application/pdf\",\"size\":\"5000000000\"}]}}");
    EXPECT_EQ(Post("emailget", R"({"email_id":"retired"})"),
              R"({"errorcode":404,"errormsg":"EMAILGET_NOT_FOUND","error_key":"EMAILGET_NOT_FOUND"})");
    LJsonValue& r = PostJson("emailsearch", R"({"query":"bject"})");
    EXPECT_EQ(r.Member("count").AsInt64(), 1);
}

// Dovecot for IMAP and aiosmtpd for SMTP: the settings test, a password
// with a trailing blank, the status, a reload that keeps local mail.
class AccountRoutesTest : public RoutesTest {
protected:
    void SetUp() override {
        RoutesTest::SetUp();
        LTestDovecotOptions o;
        // Accounts saved through the table route need a real address.
        o.users = {{"alice", "secret "}, {"alice@example.org", "secret "}};
        o.extra = "auth_failure_delay = 0\n";
        ASSERT_TRUE(dovecot_.Start(o)) << dovecot_.Error();
        // One trust file for both servers' certificates.
        std::string bundle = web_.root.Path() + "/trust.pem";
        std::ofstream(bundle) << LTestReadFile(getenv("SSL_CERT_FILE")) << LTestReadFile(ca_->CaPath());
        trust_ = std::make_unique<LTestScopedEnv>("SSL_CERT_FILE", bundle);
        smtp_ = LTestStartTlsSmtpServer(web_.root.Path() + "/smtp", *ca_, "alice", "secret ");
        ASSERT_TRUE(smtp_->Ready());
    }
    void TearDown() override {
        RoutesTest::TearDown();
        smtp_.reset();
        dovecot_.Stop();
    }
    std::string TestRequest(const std::string& password, const std::string& outgoing) {
        return R"({"EMAIL":"alice","PASSWORD":")" + password + R"(","INCOMINGSERVER":")" + dovecot_.Server() +
               R"(","OUTGOINGSERVER":")" + outgoing + R"(","REQUIRE_SMTP_HOST_MATCH":1})";
    }

    std::unique_ptr<LTestCertificateAuthority> ca_ = std::make_unique<LTestCertificateAuthority>(web_.root.Path());
    LTestDovecot dovecot_;
    std::unique_ptr<LTestScopedEnv> trust_;
    std::unique_ptr<LTestSmtpServer> smtp_;
};

TEST_F(AccountRoutesTest, SettingsTestPasswordStatusAndReload) {
    std::string smtp = "localhost:" + std::to_string(smtp_->Port());
    const std::string ok = R"({"errorcode":200,"errormsg":"OK"})";
    EXPECT_EQ(Post("emailaccounttest", TestRequest("secret ", smtp)), ok);
    // As the queue sends: STARTTLS first, the password only inside TLS.
    std::vector<std::string> verbs;
    for (const auto& c : smtp_->Commands()) verbs.push_back(c.verb + (c.tls ? "+tls" : ""));
    EXPECT_EQ(verbs, (std::vector<std::string>{"EHLO", "STARTTLS", "EHLO+tls", "AUTH+tls", "MAIL+tls", "RCPT+tls",
                                                "QUIT+tls"}));
    EXPECT_EQ(Post("emailaccounttest", TestRequest("secret", smtp)),
              R"({"errorcode":400,"errormsg":"Unable to connect to the IMAP server. Please check the email address and password."})");
    EXPECT_EQ(Post("emailaccounttest", TestRequest("secret ", "")),
              R"({"errorcode":400,"errormsg":"Outgoing server is required."})");
    EXPECT_EQ(Post("emailaccounttest", TestRequest("secret ", "localhost:" + std::to_string(LTestFreePort()))),
              R"({"errorcode":400,"errormsg":"Unable to connect to the SMTP server. Please check the outgoing server and certificate settings."})");
    EXPECT_TRUE(smtp_->Messages().empty());

    // The password that passed the test is stored whole and signs in.
    Exec(*db_, "INSERT INTO main.EMAILACCOUNTS (ID, EMAIL, INCOMINGSERVER) VALUES ('acc1', 'alice', '" +
                   dovecot_.Server() + "');");
    EXPECT_EQ(Post("emailaccountpassword", R"({"ID":" acc1 ","PASSWORD":"secret "})"), ok);
    char16_t stored[260];
    ASSERT_TRUE(LEmailAccountPasswordGet(*db_, u"acc1", stored));
    EXPECT_EQ(LToUtf8(stored), "secret ");
    ASSERT_TRUE(dovecot_.Save("alice", "INBOX", SyncMessage("Hello one", "<one@example.org>")));
    ASSERT_TRUE(dovecot_.Save("alice", "INBOX", SyncMessage("Hello two", "<two@example.org>")));
    LMailSyncStart();
    ASSERT_TRUE(LMailSyncIsStarted());
    auto rows = [&] { return QueryInt(*db_, "SELECT COUNT(*) FROM main.EMAIL_MESSAGES WHERE UIDVALIDITY<>0;"); };
    ASSERT_TRUE(LTestWaitFor(60000, [&] { return rows() == 2; })) << dovecot_.Log();

    LJsonValue& status = PostJson("emailaccountstatus", "");
    ASSERT_EQ(status.Member("accounts").count, 1u);
    const LJsonValue& a = status.Member("accounts").elements[0];
    EXPECT_EQ(a.Member("id").text.Str(), "acc1");
    EXPECT_EQ(a.Member("email").text.Str(), "alice");
    for (const char* member : {"state", "progress_percent", "mailboxes_done", "mailboxes_total", "current_mailbox",
                               "last_error", "last_sync_utc", "has_sync_thread", "message_count"})
        EXPECT_NE(a.FindMember(member), nullptr) << member;
    EXPECT_TRUE(a.Member("has_sync_thread").payload.b);
    EXPECT_EQ(a.Member("last_error").text.Str(), "");

    // A queued message lives only here; the reload keeps it and fetches the
    // rest again.
    Exec(*db_, "INSERT INTO main.EMAILMAILBOXES (ID, EMAILACCOUNTS_ID, IMAP_NAME, LAST_SYNC_UTC) VALUES ('outbox', "
               "'acc1', 'Outbox', '2024-01-01');");
    Exec(*db_, "INSERT INTO main.EMAIL_MESSAGES (ID, ACCOUNT_ID, MAILBOX_ID, UID, UIDVALIDITY, SUBJECT) VALUES "
               "('queued', 'acc1', 'outbox', 1, 0, 'Queued');");
    std::string before = QueryText(*db_, "SELECT group_concat(ID) FROM (SELECT ID FROM main.EMAIL_MESSAGES WHERE "
                                         "UIDVALIDITY<>0 ORDER BY ID);");
    EXPECT_EQ(Post("emailaccountreload", R"({"ID":"acc1"})"), ok);
    ASSERT_TRUE(LTestWaitFor(60000, [&] {
        return rows() == 2 && QueryText(*db_, "SELECT group_concat(ID) FROM (SELECT ID FROM main.EMAIL_MESSAGES WHERE "
                                              "UIDVALIDITY<>0 ORDER BY ID);") != before;
    }));
    EXPECT_EQ(QueryText(*db_, "SELECT SUBJECT FROM main.EMAIL_MESSAGES WHERE ID='queued';"), "Queued");

    // The stored count holds the account's live rows only: not a retired
    // one, not another account's.
    auto count = [&] {
        return PostJson("emailaccountstatus", "").Member("accounts").elements[0].Member("message_count").text.Str();
    };
    EXPECT_EQ(count(), "3");
    Exec(*db_, "INSERT INTO main.EMAIL_MESSAGES (ID, ACCOUNT_ID, MAILBOX_ID, UID, UIDVALIDITY, SUBJECT) VALUES "
               "('elsewhere', 'acc9', 'outbox', 2, 0, 'Other');");
    Exec(*db_, "UPDATE main.EMAIL_MESSAGES SET IS_DELETED=1 WHERE ID='queued';");
    EXPECT_EQ(count(), "2");
    EXPECT_EQ(Post("emailaccountreload", R"({"ID":"nobody"})"),
              R"({"errorcode":404,"errormsg":"Unable to find an active email account to reload."})");
    EXPECT_EQ(Post("emailaccountmailboxlistrefresh", R"({"ID":"acc1"})"), ok);
    EXPECT_EQ(Post("emailaccountsresync", ""), ok);

    // Once the password is gone the account's worker stops signing in.
    EXPECT_EQ(Post("emailaccountpassworddelete", R"({"ID":"acc1"})"), ok);
    ASSERT_TRUE(LTestWaitFor(20000, [&] {
        LJsonValue& s = PostJson("emailaccountstatus", "");
        return s.Member("accounts").count == 1 &&
               !s.Member("accounts").elements[0].Member("has_sync_thread").payload.b;
    }));
}

// An account made through the table route and given its password mirrors
// with no resync call; a row without a key is refused.
TEST_F(AccountRoutesTest, ANewAccountMirrorsAtOnce) {
    ASSERT_TRUE(dovecot_.Save("alice@example.org", "INBOX", SyncMessage("Hello", "<hello@example.org>")));
    LMailSyncStart();
    ASSERT_TRUE(LMailSyncIsStarted());
    const std::string row = R"(","cmd":"INSERT","data":{"EMAIL":"alice@example.org","INCOMINGSERVER":")" + dovecot_.Server() +
                            R"("}})";
    Post("dbtable-write", R"({"table":"EMAILACCOUNTS","key":")" + row);
    EXPECT_EQ(QueryInt(*db_, "SELECT COUNT(*) FROM main.EMAILACCOUNTS;"), 0) << "a row without a key is refused";
    EXPECT_EQ(Post("dbtable-write", R"({"table":"EMAILACCOUNTS","key":"new1)" + row), "");
    EXPECT_EQ(Post("emailaccountpassword", R"({"ID":"new1","PASSWORD":"secret "})"),
              R"({"errorcode":200,"errormsg":"OK"})");
    EXPECT_TRUE(LTestWaitFor(60000, [&] {
        return QueryInt(*db_, "SELECT COUNT(*) FROM main.EMAIL_MESSAGES WHERE ACCOUNT_ID='new1';") == 1;
    })) << dovecot_.Log();
    // An account made with a wrong server fails; correcting the server
    // through the table route restarts its worker with the right one.
    const std::string closed = "localhost:" + std::to_string(LTestFreePort());
    EXPECT_EQ(Post("dbtable-write", R"({"table":"EMAILACCOUNTS","key":"new2","cmd":"INSERT","data":{"EMAIL":"alice@example.org",)"
                                    R"("INCOMINGSERVER":")" + closed + R"("}})"),
              "");
    EXPECT_EQ(Post("emailaccountpassword", R"({"ID":"new2","PASSWORD":"secret "})"),
              R"({"errorcode":200,"errormsg":"OK"})");
    auto lastError = [&] {
        LJsonValue& st = PostJson("emailaccountstatus", "");
        for (uint64_t i = 0; i < st.Member("accounts").count; i++)
            if (st.Member("accounts").elements[i].Member("id").text.Str() == "new2")
                return st.Member("accounts").elements[i].Member("last_error").text.Str();
        return std::string();
    };
    ASSERT_TRUE(LTestWaitFor(30000, [&] { return !lastError().empty(); }));
    EXPECT_EQ(Post("dbtable-write", R"({"table":"EMAILACCOUNTS","key":"new2","cmd":"UPDATE","data":)"
                                    R"({"INCOMINGSERVER":")" + dovecot_.Server() + R"("}})"),
              "");
    EXPECT_TRUE(LTestWaitFor(30000, [&] {
        return QueryInt(*db_, "SELECT COUNT(*) FROM main.EMAIL_MESSAGES WHERE ACCOUNT_ID='new2';") == 1;
    })) << "its worker would otherwise wait a minute on the old server";
}

// Each cause of a failed sign-in is the account's own last error.
TEST_F(AccountRoutesTest, EachSignInFailureSaysWhy) {
    // A server whose certificate comes from an authority nobody trusts.
    std::filesystem::create_directories(web_.root.Path() + "/stranger");
    LTestCertificateAuthority stranger(web_.root.Path() + "/stranger");
    LTestIssuedCertificate leaf = stranger.Issue("imap");
    int port = LTestFreePort();
    std::string out = web_.root.Path() + "/peer.out";
    LTestProcess peer(
        LTestRedirectedArgv({"/usr/bin/python3", PORLINEX_SOURCE_DIR "/net/imap/tests/testdata/hostile_imap.py",
                             std::to_string(port), leaf.chain_path, leaf.key_path, "literal-trap"},
                            "/dev/null", out));
    ASSERT_TRUE(LTestWaitFor(10000, [&] { return LTestReadFile(out).find("READY") != std::string::npos; }))
        << LTestReadFile(out);
    struct Case {
        const char* id;
        std::string server;
        const char* password;
        std::vector<std::string> says;
    };
    const Case cases[] = {
        {"pw", dovecot_.Server(), "wrong", {"AUTHENTICATIONFAILED", dovecot_.Server()}},
        {"tls",
         "localhost:" + std::to_string(port),
         "secret",
         {"certificate", "CN=localhost", "port " + std::to_string(port)}},
        {"port", "localhost:" + std::to_string(LTestFreePort()), "secret", {"Unable to connect to IMAP server"}},
    };
    for (const Case& c : cases) {
        Exec(*db_, std::string("INSERT INTO main.EMAILACCOUNTS (ID, EMAIL, INCOMINGSERVER) VALUES ('") + c.id +
                       "', 'alice', '" + c.server + "');");
        ASSERT_TRUE(LEmailAccountPasswordSet(*db_, LFromUtf8(c.id).c_str(), LFromUtf8(c.password).c_str()));
    }
    LMailSyncStart();
    std::map<std::string, std::string> errors;
    ASSERT_TRUE(LTestWaitFor(60000, [&] {
        LJsonValue& s = PostJson("emailaccountstatus", "");
        for (uint64_t i = 0; i < s.Member("accounts").count; i++) {
            const LJsonValue& a = s.Member("accounts").elements[i];
            errors[a.Member("id").text.Str()] = a.Member("last_error").text.Str();
        }
        return errors.size() == 3 && !errors["pw"].empty() && !errors["tls"].empty() && !errors["port"].empty();
    }));
    for (const Case& c : cases)
        for (const std::string& part : c.says)
            EXPECT_NE(errors[c.id].find(part), std::string::npos) << c.id << ": " << errors[c.id];
    std::string log = LTestService::LogText();
    EXPECT_NE(log.find("AUTHENTICATIONFAILED"), std::string::npos) << log;
    EXPECT_NE(log.find("CN=localhost"), std::string::npos) << log;
    peer.Signal(9, 5000);
}

}  // namespace
