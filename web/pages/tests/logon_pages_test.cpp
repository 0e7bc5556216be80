// The log-on and password pages over real HTTP (curl against the
// in-process listener), their account files, and the lock-out rule.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "foundation/reg_settings.h"
#include "foundation/time_source.h"
#include "foundation/utf8.h"
#include "net/smtp/smtp_sender.h"
#include "tests/support/smtp_server.h"
#include "web/http/tests/http_harness.h"
#include "web/pages/account_file.h"

namespace {

std::string StatusLine(const std::string& reply) { return reply.substr(0, reply.find("\r\n")); }
std::string Body(const std::string& reply) {
    size_t p = reply.find("\r\n\r\n");
    return p == std::string::npos ? "" : reply.substr(p + 4);
}
std::string HeaderValue(const std::string& reply, const std::string& name) {
    size_t p = reply.find("\r\n" + name + ": ");
    if (p == std::string::npos) return "<none>";
    p += name.size() + 4;
    return reply.substr(p, reply.find("\r\n", p) - p);
}

class LogonPages : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(web.Start());
        cookie = "porlinex_sess=" + web.MakeSession();
        ASSERT_TRUE(LWebAccountWrite("local", {{"Password", "right"}}));
        ASSERT_TRUE(LWebAccountWrite("ann@example.org", {{"Password", "annpw"}}));
    }
    // A dialog submit as our own ajax.js sends it.
    std::string Submit(const std::string& route, const std::string& form, bool session = false, bool ours = true) {
        std::vector<std::string> args = {"--data-binary", form};
        if (ours) args.insert(args.end(), {"-H", "X-AJAX: 1"});
        if (session) args.insert(args.end(), {"-b", cookie});
        return web.Curl(args, "/" + route).output;
    }
    std::string Get(const std::string& path, bool session = false) {
        std::vector<std::string> args;
        if (session) args = {"-b", cookie};
        return web.Curl(args, path).output;
    }

    LTestWebServer web;
    std::string cookie;
};

TEST_F(LogonPages, LogonFormAndItsAnswers) {
    std::string form = Get("/logon");
    EXPECT_EQ(StatusLine(form), "HTTP/1.1 200 OK");
    EXPECT_EQ(HeaderValue(form, "Connection"), "close");
    for (const char* part : {"<link href=s.css", "print.css", "src='ajax.js'", "<input id=101 name=101 type=text",
                             "<input id=102 name=102 type=password value=''", "Forgot your password?",
                             "Remember me on this computer", "<input type=hidden name=onok value='main'>"})
        EXPECT_NE(form.find(part), std::string::npos) << part;

    std::string wrong = Body(Submit("logon", "101=local&102=nope&submit=%20%20Login%20%20"));
    EXPECT_NE(wrong.find("Login failed. Please check you have the right password."), std::string::npos) << wrong;
    EXPECT_NE(wrong.find("DisableSubmits(false)"), std::string::npos);
    EXPECT_EQ(wrong.find("window.location"), std::string::npos);
    EXPECT_NE(Body(Submit("logon", "101=++&102=x&submit=%20%20Login%20%20")).find("Please enter your user name."),
              std::string::npos);
    // A label that is not the button's gets the bare header.
    EXPECT_EQ(Body(Submit("logon", "101=local&102=right&submit=Login")), "");
    // A forged submit never reaches the check.
    EXPECT_EQ(StatusLine(Submit("logon", "101=local&102=right&submit=%20%20Login%20%20", false, false)),
              "HTTP/1.1 403 Forbidden. Host not matched.");
    // No session cookie is ever set by script.
    std::string ok = Body(Submit("logon", "101=+local+&102=right&103=1&submit=%20%20Login%20%20"));
    EXPECT_EQ(ok, "window.location = 'main';\n");
}

TEST_F(LogonPages, ReturnTargetsStayOnThisServer) {
    struct Case {
        std::string onok;  // URL-encoded
        std::string script_target;
    };
    const Case cases[] = {
        {"changepassword%3Fa%3D1", "changepassword?a=1"},
        {"javascript%3Aalert(1)", "main"},
        {"%2F%2Fevil.example%2F", "main"},
        {"%2Fevil", "main"},
        {"%5C%5Cevil.example", "main"},
        {"https%3A%2F%2Fevil.example%2F", "main"},
        {"x'%3Balert(1)%3B%2F%2F", "main"},
        {"main%0D%0ASet-Cookie%3A%20x%3D1", "main"},
        {"main%3Fa%3D%3C%2Fscript%3E", "main"},
    };
    for (const Case& c : cases) {
        std::string reply = Body(Submit("logon", "101=local&102=right&submit=%20%20Login%20%20&onok=" + c.onok));
        EXPECT_EQ(reply, "window.location = '" + c.script_target + "';\n") << c.onok;
        // With a session the log-on page sends the browser on at once.
        std::string redirect = Get("/logon?onok=" + c.onok, true);
        EXPECT_EQ(StatusLine(redirect), "HTTP/1.1 302 Found") << c.onok;
        EXPECT_EQ(HeaderValue(redirect, "Location"), c.script_target) << c.onok;
        EXPECT_EQ(HeaderValue(redirect, "Set-Cookie"), "<none>") << c.onok;
        // The hidden field of the drawn form carries only a checked target.
        std::string form = Get("/logon?onok=" + c.onok);
        EXPECT_NE(form.find("name=onok value='" + std::string(c.script_target == "main" ? "main" : "changepassword?a=1")),
                  std::string::npos)
            << c.onok;
    }
    // A same-server Referer is the default target; a foreign one is not.
    std::string port = std::to_string(web.port);
    std::string own = web.Curl({"-H", "Referer: http://127.0.0.1:" + port + "/changepassword"}, "/logon").output;
    EXPECT_NE(own.find("name=onok value='changepassword'"), std::string::npos);
    std::string foreign = web.Curl({"-H", "Referer: http://evil.example/x"}, "/logon").output;
    EXPECT_NE(foreign.find("name=onok value='main'"), std::string::npos);
}

TEST_F(LogonPages, PagesWithoutSessionGoToLogonWithTheQueryOnly) {
    std::string get = Get("/changepassword?x=1");
    EXPECT_EQ(StatusLine(get), "HTTP/1.1 302 Found");
    EXPECT_EQ(HeaderValue(get, "Location"), "logon?onok=changepassword%3Fx%3D1");
    // Posted fields (a password among them) never land in the address.
    std::string post = web.Curl({"--data-binary", "101=secret-old&102=secret-new"}, "/changepassword").output;
    EXPECT_EQ(HeaderValue(post, "Location"), "logon?onok=changepassword");
    EXPECT_EQ(HeaderValue(Get("/changepassword?x=" + std::string(300, 'a')), "Location"), "logon");
    for (const char* page : {"/logoff", "/changepasswordchanged", "/_webscriptmetrics", "/_webscriptmetrics_reset",
                             "/_webscriptmetrics_current", "/_webscriptlxamapdownload?file=x"})
        EXPECT_EQ(HeaderValue(Get(page), "Location").rfind("logon", 0), 0u) << page;
    EXPECT_EQ(StatusLine(Get("/lostpasswordsent")), "HTTP/1.1 200 OK");
}

TEST_F(LogonPages, ChangePassword) {
    auto change = [&](const std::string& fields) {
        return Body(Submit("changepassword", fields + "&submit=%20%20OK%20%20", true));
    };
    std::string before = LWebAccountEncode(LWebAccountDecode("Password=right"));
    EXPECT_NE(change("101=right&102=a&103=b").find("does not match the first entry"), std::string::npos);
    EXPECT_NE(change("101=right&102=&103=").find("Please enter a new password."), std::string::npos);
    std::string wrong = change("101=wrong&102=new&103=new");
    EXPECT_NE(wrong.find("Invalid password. Please try again."), std::string::npos) << wrong;
    EXPECT_EQ(change("101=right&102=n%C3%A9w&103=n%C3%A9w"), "window.location = 'changepasswordchanged';\n");
    std::ifstream in(web.root.DataFolder() + "/Accounts/local.dat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LWebAccountPairs pairs = LWebAccountDecode(text);
    EXPECT_EQ(LWebAccountGet(pairs, "Password"), "n\xC3\xA9w");
    EXPECT_EQ(LWebAccountGet(pairs, "LogonFailures"), "0");
    EXPECT_EQ(Body(Submit("changepassword", "submit=Cancel", true)), "window.location = 'main';\n");
    std::string logoff = Get("/logoff", true);
    EXPECT_NE(logoff.find("You have successfully logged out."), std::string::npos);
    EXPECT_EQ(HeaderValue(Get("/changepasswordchanged", true), "Location").rfind("logon", 0), 0u);
}

TEST_F(LogonPages, LostPasswordMailsANewOne) {
    LTestSmtpServer smtp(web.root.Path() + "/smtp", {});
    ASSERT_TRUE(smtp.Ready());
    LRegSettingsSet(LEmailSettingsSection, u"DefaultsSet", u"1");
    LRegSettingsSet(LEmailSettingsSection, u"SendDirect", u"0");
    LRegSettingsSet(LEmailSettingsSection, u"MailSMTPHost", LFromUtf8("127.0.0.1:" + std::to_string(smtp.Port())).c_str());
    auto lost = [&](const std::string& email) {
        return Body(Submit("lostpassword", "101=" + email + "&submit=%20%20OK%20%20"));
    };
    EXPECT_NE(lost("").find("Please enter your email address."), std::string::npos);
    EXPECT_NE(lost("not%20an%20address").find("This email address is invalid."), std::string::npos);
    EXPECT_NE(lost("nobody%40example.org").find("This user doesn\\x27t exist in the Porlinex System"), std::string::npos);
    EXPECT_EQ(lost("Ann%40Example.org"), "window.location = 'lostpasswordsent';\n");
    ASSERT_TRUE(smtp.WaitForMessages(1, 30000));
    LTestSmtpMessage m = smtp.Messages()[0];
    EXPECT_EQ(m.rcptTos, std::vector<std::string>{"ann@example.org"});
    size_t at = m.data.find("Password: ");
    ASSERT_NE(at, std::string::npos) << m.data;
    std::string password = m.data.substr(at + 10, 8);
    EXPECT_EQ(password.find_first_not_of("abcdefghijklmnopqrstuvwxyz"), std::string::npos) << password;
    EXPECT_EQ(LWebCheckLogon("ann@example.org", password), 0);
    // Resets go through the log-on limit: a run of them is cut off.
    std::string last;
    for (int i = 0; i < 8; ++i) last = lost("ann%40example.org");
    EXPECT_NE(last.find("Too many attempts."), std::string::npos) << last;
}

time_t g_now = 1700000000;
time_t FakeNow() { return g_now; }

TEST(AccountFiles, LockOutUnderAnInjectedClock) {
    LTestRoot root;
    LSetNowFuncForTests(FakeNow);
    ASSERT_TRUE(LWebAccountWrite("admin", {{"Password", "pw"}}));
    g_now = 1700000000;
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(LWebCheckLogon("admin", "bad"), 1) << i;
        g_now += 1199;
    }
    g_now -= 1199;
    EXPECT_EQ(LWebCheckLogon("admin", "pw"), 3);
    g_now += 1199;
    EXPECT_EQ(LWebCheckLogon("admin", "pw"), 3);
    g_now += 1;
    EXPECT_EQ(LWebCheckLogon("admin", "pw"), 0);
    EXPECT_EQ(LWebCheckLogon("admin", "bad"), 1);
    g_now += 1200;  // long after the last failure: counts as the first again
    EXPECT_EQ(LWebCheckLogon("admin", "bad"), 1);
    EXPECT_EQ(LWebCheckLogon("nobody", "pw"), 2);
    LSetNowFuncForTests(nullptr);
}

TEST(AccountFiles, NamesModesAndConcurrentWriters) {
    LTestRoot root;
    const std::string folder = root.DataFolder() + "/Accounts";
    struct Case {
        std::string user, file;
    };
    const Case cases[] = {
        {"..", "%2E%2E.dat"},          {"../main.db", "%2E%2E%2Fmain%2Edb.dat"}, {"%2e%2e", "%252e%252e.dat"},
        {"a/b:c", "a%2Fb%3Ac.dat"},    {".hidden", "%2Ehidden.dat"},            {"Ann@x-y_z", "Ann@x-y_z.dat"},
    };
    for (const Case& c : cases) EXPECT_EQ(LWebAccountFilePath(c.user), folder + "/" + c.file) << c.user;
    EXPECT_EQ(LWebAccountFilePath(""), "");
    EXPECT_EQ(LWebAccountFilePath(std::string(100, '/')), "");

    ASSERT_TRUE(LWebAccountWrite("ann", {{"Password", "a&b=c d"}}));
    struct stat st;
    ASSERT_EQ(stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(stat((folder + "/ann.dat").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // Two writers, each changing its own item many times: both survive.
    auto writer = [](const char* item) {
        for (int i = 1; i <= 100; ++i)
            LWebAccountUpdate("ann", [&](LWebAccountPairs& p) {
                LWebAccountSet(p, item, std::to_string(i));
                return true;
            });
    };
    std::thread one(writer, "One"), two(writer, "Two");
    one.join();
    two.join();
    LWebAccountPairs pairs;
    ASSERT_TRUE(LWebAccountUpdate("ann", [&](LWebAccountPairs& p) {
        pairs = p;
        return false;
    }));
    EXPECT_EQ(LWebAccountGet(pairs, "Password"), "a&b=c d");
    EXPECT_EQ(LWebAccountGet(pairs, "One"), "100");
    EXPECT_EQ(LWebAccountGet(pairs, "Two"), "100");
    // A write cut off before its rename (the process killed) leaves only a
    // temporary file: readers keep the old file, the next write replaces it.
    std::ofstream(folder + "/ann.dat.tmp") << "Password=torn";
    EXPECT_EQ(LWebCheckLogon("ann", "a&b=c d"), 0);
    // No temporary file is left behind.
    for (const auto& e : std::filesystem::directory_iterator(folder))
        EXPECT_EQ(e.path().extension(), e.path().filename() == ".lock" ? "" : ".dat") << e.path();
}

// The child of KilledWriterLeavesTheOldOrTheNewFile: rewrites one long
// password over and over until it is killed.
TEST(AccountFiles, KilledWriterChild) {
    if (!std::getenv("PORLINEX_ACCOUNT_WRITER")) GTEST_SKIP() << "runs only as the child of KilledWriter...";
    for (int i = 0;; ++i)
        LWebAccountUpdate("ann", [&](LWebAccountPairs& p) {
            LWebAccountSet(p, "Password", std::string(20000, static_cast<char>('a' + i % 26)));
            return true;
        });
}

TEST(AccountFiles, KilledWriterLeavesTheOldOrTheNewFile) {
    LTestRoot root;
    ASSERT_TRUE(LWebAccountWrite("ann", {{"Password", std::string(20000, 'z')}}));
    const std::string path = LWebAccountFilePath("ann");
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    self[n] = 0;
    auto password = [&] { return LWebAccountGet(LWebAccountDecode(LTestReadFile(path)), "Password"); };
    for (int round = 0; round < 5; ++round) {
        std::string before = password();
        LTestProcess child({self, "--gtest_filter=AccountFiles.KilledWriterChild"}, {"PORLINEX_ACCOUNT_WRITER=1"});
        ASSERT_TRUE(LTestWaitFor(20000, [&] { return password() != before; }));
        usleep(static_cast<useconds_t>(round * 3000));
        child.Signal(SIGKILL, 10000);
        // Whole: one letter 20000 times, never a torn or empty file.
        std::string now = password();
        ASSERT_EQ(now.size(), 20000u) << round;
        EXPECT_EQ(now.find_first_not_of(now[0]), std::string::npos) << round;
    }
}

}  // namespace
