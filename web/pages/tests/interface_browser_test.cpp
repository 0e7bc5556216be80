// The browser interface in Chromium against the real service, a real
// Dovecot behind a slow link (so the first mirror can be watched) and a real
// submission server: tests/web-browser/interface_check.mjs acts as a new user
// and this side checks what reached the store and the servers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "foundation/database.h"
#include "foundation/reg_settings.h"
#include "foundation/time_source.h"
#include "foundation/utf8.h"
#include "tests/support/dovecot_server.h"
#include "tests/support/http_peer.h"
#include "tests/support/npm_folder.h"
#include "tests/support/service_harness.h"
#include "tests/support/smtp_server.h"
#include "tests/support/throttle_relay.h"
#include "tests/support/tls_peer.h"
#include "web/http/tests/http_harness.h"

namespace {

namespace fs = std::filesystem;
constexpr const char* kUser = "alice@example.org";

std::string Query(const std::string& sql) {
    LAppDatabaseAccount db(true);
    LAppDatabaseCursor c;
    c.Query(db, LFromUtf8(sql).c_str());
    LStringA v;
    if (c.HasRow()) c.GetColumnTextA(0, v);
    return v.Str();
}

using json = nlohmann::json;

std::string Text(const json& v, const char* name) {
    return v.contains(name) && v[name].is_string() ? v[name].get<std::string>() : "<missing " + std::string(name) + ">";
}

std::string Plain(const std::string& from, const std::string& subject, const std::string& id, const std::string& body,
                  const std::string& date) {
    return "From: " + from + "\r\nTo: " + kUser + "\r\nSubject: " + subject + "\r\nMessage-ID: <" + id +
           "@example.net>\r\nDate: " + date + "\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n" + body + "\r\n";
}

// Now, as a Date header: an autoresponder leaves mail written before its
// period alone.
std::string DateNow() {
    char text[64];
    time_t now = time(nullptr);
    struct tm g;
    gmtime_r(&now, &g);
    strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S +0000", &g);
    return text;
}

// With an attachment name, the text and HTML go into a mixed message
// followed by that file.
std::string Html(const std::string& subject, const std::string& id, const std::string& text, const std::string& html,
                 const std::string& attachment = "") {
    std::string alternative = "Content-Type: multipart/alternative; boundary=\"b1\"\r\n\r\n--b1\r\nContent-Type: "
                              "text/plain; charset=utf-8\r\n\r\n" +
                              text + "\r\n--b1\r\nContent-Type: text/html; charset=utf-8\r\n\r\n" + html +
                              "\r\n--b1--\r\n";
    if (!attachment.empty())
        alternative = "Content-Type: multipart/mixed; boundary=\"m1\"\r\n\r\n--m1\r\n" + alternative +
                      "--m1\r\nContent-Type: application/pdf\r\nContent-Disposition: attachment; filename=\"" +
                      attachment + "\"\r\nContent-Transfer-Encoding: base64\r\n\r\nJVBERi0xLjQK\r\n--m1--\r\n";
    return "From: Harbour Office <office@harbour.example.net>\r\nTo: " + std::string(kUser) + "\r\nSubject: " +
           subject + "\r\nMessage-ID: <" + id +
           "@example.net>\r\nDate: Thu, 10 Dec 2026 10:00:00 +0000\r\nMIME-Version: 1.0\r\n" + alternative;
}

// The store keeps no "<" or ">" in a file name; entities would still turn
// into markup if the page read the name as HTML.
const char kHostileFile[] = "figures &amp; totals &lt;img src=x onerror=alert(1)&gt;.pdf";

// Mail to mirror: a few mailboxes of ordinary messages, one with a planted
// word, and one whose HTML tries to run script and to fetch from recorder.
void FillMailboxes(LTestDovecot& dovecot, const std::string& recorder) {
    std::string filler(2400, 'x');
    for (size_t i = 76; i < filler.size(); i += 78) filler.replace(i, 2, "\r\n");
    dovecot.Doveadm({"mailbox", "create", "-u", kUser, "Projects", "Archive"});
    const char* boxes[] = {"INBOX", "Projects", "Archive"};
    for (int i = 0; i < 36; i++)
        ASSERT_TRUE(dovecot.Save(kUser, boxes[i % 3],
                                 Plain("Colleague " + std::to_string(i) + " <c" + std::to_string(i) + "@example.net>",
                                       "Weekly note " + std::to_string(i), "filler" + std::to_string(i), filler,
                                       std::to_string(1 + i / 4) + " Dec 2026 09:00:00 +0000")));
    ASSERT_TRUE(dovecot.Save(
        kUser, "INBOX",
        Html("Quarterly figures for the harbour", "planted",
             "The zanzibarite shipment arrived on time.\r\nTotals are attached below.",
             "<div style=\"font-family:Georgia,serif\"><h2 style=\"color:#2d5c8f\">Quarterly figures</h2><p>The "
             "<b>zanzibarite</b> shipment arrived on time.</p><table border=1 cellpadding=4 "
             "style=\"border-collapse:collapse\"><tr><th>Month</th><th>Tonnes</th></tr><tr><td>October</td><td>412</td>"
             "</tr><tr><td>November</td><td>388</td></tr></table><p>Kind regards,<br>The harbour office</p></div>",
             "harbour-totals.pdf")));
    ASSERT_TRUE(dovecot.Save(
        kUser, "INBOX",
        Html("Spring newsletter", "hostile", "hostilemarker",
             "<p>hostilemarker</p><script>fetch('http://" + recorder + "/script');document.title='pwned';</script>"
             "<img src=\"missing.png\" onerror=\"fetch('http://" + recorder + "/onerror')\">"
             "<img src=\"http://" + recorder + "/remote-image.png\" alt=\"remote\">"
             "<div style=\"background:url(http://" + recorder + "/background.png)\">styled</div>",
             kHostileFile)));
}

TEST(InterfaceBrowser, ANewUserMirrorsSearchesAndSetsUpThePages) {
    if (access("/usr/bin/chromium", X_OK) != 0) GTEST_SKIP() << "chromium is not installed (scripts/packages/web.txt)";
    std::string driver = LTestNpmFolder("web-browser", "playwright-core");
    ASSERT_FALSE(driver.empty()) << "npm ci of tests/web-browser failed";

    LTestRoot root;
    LTestDovecot dovecot;
    LTestDovecotOptions options;
    options.users = {{kUser, "secret"}};
    ASSERT_TRUE(dovecot.Start(options)) << dovecot.Error();
    auto recorder = LTestHttpPeer::Recorder(root.Path() + "/recorder", LTestHttpAnswer("200 OK", "x"));
    ASSERT_TRUE(recorder->Ready());
    ASSERT_NO_FATAL_FAILURE(FillMailboxes(dovecot, recorder->Host()));

    LTestCertificateAuthority ca(root.Path());
    std::string bundle = root.Path() + "/trusted.pem";
    std::ofstream(bundle) << LTestReadFile(dovecot.Folder() + "/cert.pem") << LTestReadFile(ca.CaPath());
    LTestScopedEnv trust("SSL_CERT_FILE", bundle);
    auto smtp = LTestStartTlsSmtpServer(root.Path() + "/smtp", ca, kUser, "secret");
    ASSERT_TRUE(smtp->Ready());
    LTestThrottleOptions slow;
    slow.targetPort = dovecot.ImapsPort();
    slow.bytesPerSecond = 30000;
    LTestThrottleRelay relay(root.Path() + "/relay", slow);
    ASSERT_TRUE(relay.Ready());

    LTestService service;
    ASSERT_TRUE(service.WaitRunning());
    ASSERT_TRUE(service.WaitWebListening());
    char16_t port[260];
    LRegSettingsGet(u"WebServer", u"Port", u"", port);
    std::string base = "http://127.0.0.1:" + LToUtf8(port);
    const char16_t* token = u"Interface0Interface0Interface0Interface0";
    LRegSettingsSet(u"MainWindowWebApp", u"LaunchToken", token);
    LRegSettingsSet(u"MainWindowWebApp", u"LaunchTokenTime", LFromUtf8(std::to_string(int64_t(LNow()))).c_str());

    const char* wanted = std::getenv("PORLINEX_SCREENSHOT_DIR");
    std::string shots = wanted && *wanted ? wanted : root.Path() + "/shots";
    fs::create_directories(shots);
    std::string backup = root.Path() + "/backup";
    fs::create_directories(backup);
    LTestCurlResult run = LTestRunCaptured({"node", driver + "/interface_check.mjs", "/usr/bin/chromium", base,
                                            LToUtf8(token), "127.0.0.1:" + std::to_string(relay.Port()),
                                            "localhost:" + std::to_string(smtp->Port()), recorder->Host(), shots, backup},
                                           400000);
    size_t at = run.output.rfind("{\"steps\"");
    ASSERT_NE(at, std::string::npos) << run.output;
    std::string last = run.output.substr(at);
    json out = json::parse(last, nullptr, false);
    ASSERT_FALSE(out.is_discarded()) << run.output;
    EXPECT_FALSE(out.contains("failure")) << last;

    // Signed in by the start address, on the home page.
    EXPECT_EQ(Text(out, "landed"), "/index.html");
    // Errors are the route's own words; success says what was checked.
    EXPECT_EQ(Text(out, "wrongPasswordMessage"),
              "Unable to connect to the IMAP server. Please check the email address and password.");
    EXPECT_EQ(Text(out, "testMessage"), "Both servers accepted the sign-in.");
    // The first mirror was watched and ended up to date.
    EXPECT_NE(Text(out, "progressText").find("mailboxes done"), std::string::npos) << Text(out, "progressText");
    EXPECT_EQ(Text(out, "finalState"), "Up to date");
    EXPECT_GT(out.value("newestRows", 0), 0);
    // The 36 notes, the planted and the hostile message.
    EXPECT_EQ(Text(out, "storedCount"), "38 messages stored");
    EXPECT_EQ(Query("SELECT COUNT(*) FROM EMAIL_MESSAGES WHERE IS_DELETED=0;"), "38");
    EXPECT_EQ(Query("SELECT COUNT(*) FROM EMAILACCOUNTSPASSWORDS;"), "1");
    // Found and opened.
    EXPECT_EQ(Text(out, "searchShown"), "Showing messages 1–1");
    EXPECT_EQ(Text(out, "openedSubject"), "Quarterly figures for the harbour");
    EXPECT_NE(Text(out, "openedHtmlText").find("zanzibarite shipment"), std::string::npos);
    EXPECT_NE(Text(out, "openedText").find("zanzibarite shipment"), std::string::npos);
    EXPECT_NE(Text(out, "openedAttachments").find("harbour-totals.pdf application/pdf, 9 B"), std::string::npos)
        << Text(out, "openedAttachments");

    // The hostile message ran nothing and fetched nothing; asked for, the
    // remote pictures (and nothing else) were fetched.
    const json hostile = out.value("hostile", json::object());
    EXPECT_NE(Text(hostile, "frameText").find("hostilemarker"), std::string::npos) << last;
    EXPECT_EQ(Text(hostile, "sandbox"), "");
    EXPECT_NE(Text(hostile, "title"), "pwned");
    EXPECT_EQ(hostile.value("requestsBefore", json::array()), json::array()) << last;
    // Its attachment's name is shown as the text it is.
    EXPECT_NE(Text(hostile, "attachments").find(kHostileFile), std::string::npos) << last;
    EXPECT_NE(Text(hostile, "attachments").find("application/pdf"), std::string::npos) << last;
    const json after = hostile.value("requestsAfter", json::array());
    ASSERT_FALSE(after.empty()) << "the remote picture was not fetched when asked for: " << last;
    for (const json& path : after) EXPECT_TRUE(path == "/remote-image.png" || path == "/background.png") << path;
    // What reached the recording server: the pictures, after the click only.
    for (const std::string& r : recorder->Requests())
        EXPECT_TRUE(r.rfind("GET /remote-image.png ", 0) == 0 || r.rfind("GET /background.png ", 0) == 0) << r;
    EXPECT_EQ(out["foreignRequests"], json::array()) << last;

    // The rule and the autoresponder are in the store.
    std::string rule = Query("SELECT ID FROM RULES WHERE NAME='File receipts' AND DELETED IS NULL;");
    ASSERT_FALSE(rule.empty()) << last;
    EXPECT_EQ(Query("SELECT FUNCTION || ':' || FUNCTION_DETAIL FROM RULES WHERE ID='" + rule + "';"), "MOVE:Archive");
    EXPECT_EQ(Query("SELECT PART || ':' || TEST || ':' || TEST_DETAIL FROM RULES_CONDITIONS WHERE RULE_ID='" + rule +
                    "';"),
              "SUBJECT:STARTS:Receipt");
    EXPECT_EQ(Query("SELECT BODY_TEXT || ':' || ENABLED || ':' || ALL_ACCOUNTS FROM AUTORESPONDERS WHERE NAME='Away';"),
              "I am away until Monday.:1:1");

    // Both act on the next arrivals: the receipt is filed, the letter answered.
    ASSERT_TRUE(dovecot.Save(kUser, "INBOX", Plain("Shop <noreply@shop.example.net>", "Receipt 77", "receipt", "Paid.", DateNow())));
    ASSERT_TRUE(dovecot.Save(kUser, "INBOX", Plain("Bob <bob@example.net>", "Lunch?", "lunch", "Are you free?", DateNow())));
    EXPECT_TRUE(LTestWaitFor(90000, [] {
        return Query("SELECT b.IMAP_NAME FROM EMAIL_MESSAGES m JOIN EMAILMAILBOXES b ON b.ID=m.MAILBOX_ID WHERE "
                     "m.SUBJECT='Receipt 77' AND m.IS_DELETED=0;") == "Archive";
    })) << Query("SELECT COUNT(*) FROM EMAIL_MESSAGES WHERE SUBJECT='Receipt 77';");
    ASSERT_TRUE(smtp->WaitForMessages(1, 90000)) << LTestService::ActivityText() << LTestService::LogText();
    EXPECT_EQ(smtp->Messages()[0].rcptTos, std::vector<std::string>{"bob@example.net"});
    EXPECT_NE(smtp->Messages()[0].data.find("I am away until Monday."), std::string::npos);

    // MCP, turned on with a key on its page, answers a call with that key.
    EXPECT_EQ(Text(out, "mcpKeyMissing"), "Enter a Bearer Authentication Key before enabling authentication.");
    auto mcp = [&](const std::string& key) {
        std::vector<std::string> argv = {"curl", "-s", "-i", "--max-time", "15", "-X", "POST", "-H",
                                         "Content-Type: application/json", "-H", "Accept: application/json, text/event-stream",
                                         "--data-binary",
                                         "{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"initialize\",\"params\":{"
                                         "\"protocolVersion\":\"2025-06-18\",\"capabilities\":{},\"clientInfo\":{"
                                         "\"name\":\"t\",\"version\":\"1\"}}}"};
        if (!key.empty()) argv.insert(argv.end(), {"-H", "Authorization: Bearer " + key});
        argv.push_back(base + "/mcp");
        return LTestRunCaptured(argv).output;
    };
    std::string answered = mcp("kiwi-bearer-key-0042");
    EXPECT_EQ(answered.rfind("HTTP/1.1 200", 0), 0u) << answered;
    EXPECT_NE(answered.find("\"result\""), std::string::npos) << answered;
    EXPECT_EQ(mcp("").rfind("HTTP/1.1 401", 0), 0u);

    // The backup page saved the folder; the worker writes into it.
    EXPECT_EQ(Text(out, "backupMissing"), "The backup folder does not exist.");
    EXPECT_EQ(Text(out, "backupState"), "The backup is on and writes to " + backup + ".");
    EXPECT_TRUE(std::regex_search(Text(out, "backupRound"), std::regex("wrote [1-9][0-9]* messages\\.")))
        << Text(out, "backupRound");
    EXPECT_TRUE(LTestWaitFor(30000, [&] { return fs::exists(backup + "/2026-12/index.html"); }));

    EXPECT_EQ(out.value("logFiltered", false), true) << Text(out, "logTitle");
    EXPECT_EQ(out.value("logNewestFirst", false), true);

    // An account's actions answer beside it, with the route's words.
    EXPECT_EQ(Text(out, "emptyPasswordMessage"), "Account ID and password are required.");
    EXPECT_EQ(Text(out, "refreshMessage"), "The mailbox list is being read again.");

    // table.js sorts the metrics page by its default column, the script.
    EXPECT_EQ(Text(out, "metricsSort"), "ascending");
    EXPECT_EQ(out.value("metricsSorted", false), true);
    EXPECT_EQ(Text(out, "metricsResort"), "descending");
    EXPECT_EQ(out.value("metricsResorted", false), true);

    // Every page loads cleanly at both widths and fits a phone.
    const json pages = out.value("pages", json::object());
    EXPECT_EQ(pages.size(), 18u) << last;
    for (const auto& [name, p] : pages.items()) {
        EXPECT_EQ(p["errors"], json::array()) << name;
        EXPECT_EQ(p["failed"], json::array()) << name;
        EXPECT_LE(p.value("overflow", 1), 0) << name;
        EXPECT_EQ(p.value("header", false), true) << name;
    }
    EXPECT_EQ(out["dialogs"], json::array()) << last;
    EXPECT_EQ(out["pageErrors"], json::array()) << last;
    std::cout << "first paint of the home page (ms): " << pages.value("index.html@1280", json::object()).value("paint", json()).dump()
              << std::endl;
    EXPECT_EQ(service.Stop(), 0);
}

}  // namespace
