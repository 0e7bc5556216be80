// The SMTP sender against aiosmtpd (tests/support/smtp_server.py) and, for
// direct delivery, a dnsmasq that names the exchanger.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "foundation/lstring.h"
#include "foundation/reg_settings.h"
#include "foundation/utf8.h"
#include "foundation/wait.h"
#include "net/smtp/smtp_sender.h"
#include "tests/support/smtp_server.h"
#include "tests/support/test_root.h"
#include "tests/support/tls_peer.h"

namespace {

class RecordingProgress : public LPlainWait {
public:
    void ShowError(const char16_t* text) override { errors.push_back(LToUtf8(text)); }
    std::vector<std::string> errors;
};

class SmtpSenderTest : public ::testing::Test {
protected:
    SmtpSenderTest() : ca_(root_.Path()), trust_("SSL_CERT_FILE", ca_.CaPath()) {}

    LTestSmtpServer& Start(LTestSmtpServerOptions o, const std::vector<std::string>& names = {"localhost"}) {
        if (o.startTls || o.implicitTls) {
            LTestCertificateOptions c;
            c.dns_names = names;
            c.common_name = names[0];
            LTestIssuedCertificate cert = ca_.Issue("smtp" + std::to_string(servers_.size()), c);
            o.certPath = cert.chain_path;
            o.keyPath = cert.key_path;
        }
        servers_.push_back(
            std::make_unique<LTestSmtpServer>(root_.Path() + "/smtp" + std::to_string(servers_.size()), o));
        EXPECT_TRUE(servers_.back()->Ready());
        host_ = LFromUtf8("localhost:" + std::to_string(servers_.back()->Port()));
        return *servers_.back();
    }
    // A server that offers STARTTLS and takes AUTH LOGIN for ann/s3cret.
    static LTestSmtpServerOptions SecuredWithLogin() {
        LTestSmtpServerOptions o;
        o.startTls = true;
        o.authUser = "ann";
        o.authPassword = "s3cret";
        return o;
    }
    LSmtpMessage Message(const char16_t* to) {
        LSmtpMessage m;
        m.to = to;
        m.sender = u"ann@example.org";
        m.subject = u"Hello";
        m.body = u"First line\r\nSecond line";
        m.smtpHost = host_.c_str();
        return m;
    }
    LNetOpResult Send(LSmtpMessage& m) {
        LNetOpResult result = 9;
        LSmtpSendEmail(result, progress_, m);
        return result;
    }
    static std::vector<std::string> Verbs(const LTestSmtpServer& s) {
        std::vector<std::string> v;
        for (const auto& c : s.Commands()) v.push_back(c.verb + (c.tls ? "+tls" : ""));
        return v;
    }

    LTestRoot root_;
    LTestCertificateAuthority ca_;
    LTestScopedEnv trust_;
    std::vector<std::unique_ptr<LTestSmtpServer>> servers_;
    LString host_;
    RecordingProgress progress_;
};

TEST_F(SmtpSenderTest, StartTlsThenAuthLogin) {
    LTestSmtpServer& server = Start(SecuredWithLogin());
    LSmtpMessage m = Message(u"bob@example.org");
    m.userName = u"ann";
    m.password = u"s3cret";
    m.useSsl = 1;
    EXPECT_EQ(Send(m), 0u) << (progress_.errors.empty() ? "" : progress_.errors[0]);
    ASSERT_EQ(server.Messages().size(), 1u);
    LTestSmtpMessage got = server.Messages()[0];
    EXPECT_TRUE(got.tls);
    EXPECT_EQ(got.authUser, "ann");
    EXPECT_EQ(got.mailFrom, "ann@example.org");
    EXPECT_EQ(got.rcptTos, std::vector<std::string>{"bob@example.org"});
    EXPECT_NE(got.data.find("Subject: Hello\r\n"), std::string::npos);
    EXPECT_EQ(Verbs(server), (std::vector<std::string>{"EHLO", "STARTTLS", "EHLO+tls", "AUTH+tls", "MAIL+tls",
                                                        "RCPT+tls", "DATA+tls", "QUIT+tls"}));
}

TEST_F(SmtpSenderTest, WrongPasswordIsReported) {
    LTestSmtpServer& server = Start(SecuredWithLogin());
    LSmtpMessage m = Message(u"bob@example.org");
    m.userName = u"ann";
    m.password = u"wrong";
    m.useSsl = 1;
    EXPECT_EQ(Send(m), 2u);
    ASSERT_EQ(progress_.errors.size(), 1u);
    EXPECT_EQ(progress_.errors[0], "Email authentication username or password not accepted (535): bob@example.org");
    EXPECT_TRUE(server.Messages().empty());
}

TEST_F(SmtpSenderTest, RefusedRecipientsAreSkipped) {
    LTestSmtpServerOptions o;
    o.refuse = {"gone@example.org", "moved@example.org"};
    LTestSmtpServer& server = Start(o);
    LSmtpMessage m = Message(u"gone@example.org, bob@example.org,moved@example.org , cy@example.org");
    EXPECT_EQ(Send(m), 0u);
    ASSERT_EQ(server.Messages().size(), 1u);
    EXPECT_EQ(server.Messages()[0].rcptTos, (std::vector<std::string>{"bob@example.org", "cy@example.org"}));

    // Nobody left: the last code and the list are reported.
    LSmtpMessage none = Message(u"gone@example.org");
    EXPECT_EQ(Send(none), 2u);
    ASSERT_EQ(progress_.errors.size(), 1u);
    EXPECT_EQ(progress_.errors[0],
              "Error while trying to send email. Email address may be wrong or your SMTP server may require a username "
              "or password. Please check address again and see Email Settings. (550): gone@example.org");
}

TEST_F(SmtpSenderTest, SizeRefusalNamesTheSubject) {
    LTestSmtpServerOptions o;
    o.dataReply = "552 5.3.4 Message size exceeds fixed limit";
    Start(o);
    LSmtpMessage m = Message(u"bob@example.org");
    m.subject = u"Holiday photos";
    EXPECT_EQ(Send(m), 2u);
    ASSERT_EQ(progress_.errors.size(), 1u);
    EXPECT_EQ(progress_.errors[0], "The email exceeds the size limits set for this account. (Subject Holiday photos)");
}

TEST_F(SmtpSenderTest, BodyLinesWithDotsArriveIntact) {
    LTestSmtpServer& server = Start({});
    LSmtpMessage m = Message(u"bob@example.org");
    m.body = u".\r\n..two\r\n.\r\nlast";
    EXPECT_EQ(Send(m), 0u);
    ASSERT_EQ(server.Messages().size(), 1u);
    const std::string data = server.Messages()[0].data;
    size_t body = data.find("\r\n\r\n", data.find("Content-Type: text/plain"));
    ASSERT_NE(body, std::string::npos);
    EXPECT_EQ(data.substr(body + 4), ".\r\n..two\r\n.\r\nlast\r\n");
}

TEST_F(SmtpSenderTest, ImplicitTlsOnTheSubmissionsPort) {
    LTestSmtpServerOptions o;
    o.implicitTls = true;
    LTestSmtpServer& server = Start(o);
    LSmtpSetImplicitTlsPortForTests(uint16_t(server.Port()));
    LSmtpMessage m = Message(u"bob@example.org");
    m.useSsl = 1;  // already secured: no STARTTLS is asked for
    LNetOpResult r = Send(m);
    LSmtpSetImplicitTlsPortForTests(0);
    EXPECT_EQ(r, 0u) << (progress_.errors.empty() ? "" : progress_.errors[0]);
    ASSERT_EQ(server.Messages().size(), 1u);
    EXPECT_EQ(Verbs(server), (std::vector<std::string>{"EHLO+tls", "MAIL+tls", "RCPT+tls", "DATA+tls", "QUIT+tls"}));
}

TEST_F(SmtpSenderTest, UseSslNeverFallsBackToClearText) {
    LTestSmtpServerOptions o;
    o.authUser = "ann";
    o.authPassword = "s3cret";
    o.authInClear = true;  // the server would take the password in clear
    LTestSmtpServer& server = Start(o);
    LSmtpMessage m = Message(u"bob@example.org");
    m.userName = u"ann";
    m.password = u"s3cret";
    m.useSsl = 1;
    EXPECT_EQ(Send(m), 2u);
    ASSERT_EQ(progress_.errors.size(), 1u);
    EXPECT_EQ(progress_.errors[0], "Encryption required for requested Email server. Please check your Email Settings.");
    EXPECT_EQ(Verbs(server), std::vector<std::string>{"EHLO"});
    EXPECT_TRUE(server.Messages().empty());
}

TEST_F(SmtpSenderTest, CertificateNameIsCheckedByDefault) {
    LTestSmtpServerOptions o;
    o.startTls = true;
    LTestSmtpServer& server = Start(o, {"mail.other.example"});
    LSmtpMessage m = Message(u"bob@example.org");
    m.useSsl = 1;
    EXPECT_EQ(Send(m), 2u);
    EXPECT_EQ(m.nameMismatch, 1);
    ASSERT_EQ(progress_.errors.size(), 1u);
    EXPECT_EQ(progress_.errors[0], "Could not create secure connection to server.");
    EXPECT_TRUE(server.Messages().empty());
}

TEST_F(SmtpSenderTest, ServerWithoutAuthGetsTheMessageUnauthenticated) {
    LTestSmtpServer& server = Start({});
    LSmtpMessage m = Message(u"bob@example.org");
    m.userName = u"ann";
    m.password = u"s3cret";
    EXPECT_EQ(Send(m), 0u);
    EXPECT_EQ(Verbs(server), (std::vector<std::string>{"EHLO", "AUTH", "MAIL", "RCPT", "DATA", "QUIT"}));
    ASSERT_EQ(server.Messages().size(), 1u);
    EXPECT_EQ(server.Messages()[0].authUser, "");
}

TEST_F(SmtpSenderTest, AcceptedMessageIsSentEvenWhenTheLineDiesAtQuit) {
    LTestSmtpServerOptions o;
    o.closeAfterData = true;
    LTestSmtpServer& server = Start(o);
    LSmtpMessage m = Message(u"bob@example.org");
    EXPECT_EQ(Send(m), 0u);
    EXPECT_EQ(server.Messages().size(), 1u);
    EXPECT_TRUE(progress_.errors.empty());
}

TEST_F(SmtpSenderTest, AddressesAreCheckedBeforeConnecting) {
    LTestSmtpServer& server = Start({});
    struct Case {
        const char16_t* to;
        const char16_t* sender;
        const char* error;
    } cases[] = {
        {u"bob@example.org>\r\nRCPT TO:<eve@example.org", u"ann@example.org",
         "Invalid email address to send to: bob@example.org>\r\nRCPT TO:<eve@example.org"},
        {u"bob@example.org", u"ann@example.org>\r\nRCPT TO:<eve@example.org",
         "Invalid email address to send from: ann@example.org>\r\nRCPT TO:<eve@example.org"},
        {u"bob@example.org eve@example.org", u"", "Invalid email address to send to: bob@example.org eve@example.org"},
        {u"", u"", "No recipients listed to receive email."},
    };
    for (const Case& c : cases) {
        progress_.errors.clear();
        LSmtpMessage m = Message(c.to);
        m.sender = c.sender;
        EXPECT_EQ(Send(m), 2u);
        ASSERT_EQ(progress_.errors.size(), 1u);
        EXPECT_EQ(progress_.errors[0], c.error);
    }
    EXPECT_TRUE(server.Commands().empty());
}

TEST_F(SmtpSenderTest, MadeUpSenderNamesTheHostWithoutItsPort) {
    LTestSmtpServer& server = Start({});
    host_ = LFromUtf8("127.0.0.1:" + std::to_string(server.Port()));
    LSmtpMessage m = Message(u"bob@example.org");
    m.sender = u"";
    EXPECT_EQ(Send(m), 0u) << (progress_.errors.empty() ? "" : progress_.errors[0]);
    ASSERT_EQ(server.Messages().size(), 1u);
    EXPECT_EQ(server.Messages()[0].mailFrom, "Porlinex@127.0.0.1");
}

TEST_F(SmtpSenderTest, UnreachableHostWithoutDirectDelivery) {
    int port = LTestFreePort();
    host_ = LFromUtf8("127.0.0.1:" + std::to_string(port));
    LSmtpMessage m = Message(u"bob@example.org");
    EXPECT_EQ(Send(m), 2u);
    ASSERT_EQ(progress_.errors.size(), 1u);
    EXPECT_EQ(progress_.errors[0], "Unable to connect to mail server \"127.0.0.1:" + std::to_string(port) +
                                       "\" when sending an email to \"bob@example.org\".");
}

TEST_F(SmtpSenderTest, SettingsTest) {
    LTestSmtpServerOptions o = SecuredWithLogin();
    o.refuse = {LSmtpTestRecipient};
    LTestSmtpServer& refusing = Start(o);
    LSmtpSettings s;
    s.smtpHost = host_.c_str();
    s.userName = u"ann";
    s.password = u"s3cret";
    s.useSsl = 1;
    LNetOpResult r;
    EXPECT_EQ(LSmtpTestSettings(r, progress_, s), 2u);
    ASSERT_EQ(progress_.errors.size(), 1u);
    EXPECT_EQ(progress_.errors[0],
              "Error while trying to send email:\r\n[Recipient address rejected: User unknown]\r\n\r\nEmail address may be wrong or your SMTP server may require a username or password.\r\n"
              "Please check address again and see Email Settings.");
    EXPECT_EQ(Verbs(refusing), (std::vector<std::string>{"EHLO", "STARTTLS", "EHLO+tls", "AUTH+tls", "MAIL+tls",
                                                          "RCPT+tls"}));

    progress_.errors.clear();
    o.refuse.clear();
    LTestSmtpServer& taking = Start(o);
    s.smtpHost = host_.c_str();
    EXPECT_EQ(LSmtpTestSettings(r, progress_, s), 0u);
    EXPECT_TRUE(progress_.errors.empty());
    EXPECT_TRUE(taking.Messages().empty());
}

// The settings test connects as sending does: TLS from the first byte on
// the submissions port, so the password never travels in clear.
TEST_F(SmtpSenderTest, SettingsTestOnTheSubmissionsPortIsTlsFromTheStart) {
    LTestSmtpServerOptions o = SecuredWithLogin();
    o.startTls = false;
    o.implicitTls = true;
    LTestSmtpServer& server = Start(o);
    LSmtpSetImplicitTlsPortForTests(uint16_t(server.Port()));
    LSmtpSettings s;
    s.smtpHost = host_.c_str();
    s.userName = u"ann";
    s.password = u"s3cret";
    s.useSsl = 1;
    LNetOpResult r;
    EXPECT_EQ(LSmtpTestSettings(r, progress_, s), 0u) << (progress_.errors.empty() ? "" : progress_.errors[0]);
    LSmtpSetImplicitTlsPortForTests(0);
    EXPECT_EQ(Verbs(server), (std::vector<std::string>{"EHLO+tls", "AUTH+tls", "MAIL+tls", "RCPT+tls", "QUIT+tls"}));
}

// A failed send says where it stood, what the server answered (whole, not
// just the text after a colon) and whether the trouble is the server's.
TEST_F(SmtpSenderTest, FailureNamesTheStepAndTheServersWholeReply) {
    struct Case {
        const char* fault;
        const char* step;
        const char* reply;
        bool serverTrouble;
        bool endOfDataSent;
    } cases[] = {
        {"GREETING=421 4.3.2 busy, come back later", "greeting", "421 4.3.2 busy, come back later", true, false},
        {"MAIL=451 4.3.0 try later", "MAIL FROM", "451 4.3.0 try later", false, false},
        {"RCPT=drop", "RCPT TO", "", true, false},
        {"END=554 5.7.1 looks like spam", "end of data", "554 5.7.1 looks like spam", false, true},
        {"END=drop", "end of data", "", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        LTestSmtpServerOptions o;
        o.faults = {c.fault};
        LTestSmtpServer& server = Start(o);
        LSmtpMessage m = Message(u"bob@example.org");
        EXPECT_EQ(Send(m), 2u);
        EXPECT_STREQ(m.outcome.step, c.step);
        EXPECT_STREQ(m.outcome.serverReply, c.reply);
        EXPECT_EQ(m.outcome.serverTrouble != 0, c.serverTrouble);
        EXPECT_EQ(m.outcome.endOfDataSent != 0, c.endOfDataSent);
        EXPECT_EQ(LToUtf8(m.outcome.endpoint), "localhost:" + std::to_string(server.Port()));
    }
}

// 8-bit text is announced to a server that offers 8BITMIME; plain ASCII is
// not.
TEST_F(SmtpSenderTest, EightBitTextIsAnnounced) {
    struct Case {
        const char* mime;
        const char* mailArg;
    } cases[] = {
        {"Subject: x\r\n\r\nplain\r\n", "FROM:<ann@example.org>"},
        {"Subject: x\r\n\r\nGr\xc3\xbc\xc3\x9f""e\r\n", "FROM:<ann@example.org> BODY=8BITMIME"},
    };
    for (const Case& c : cases) {
        LTestSmtpServer& server = Start({});
        LSmtpMessage m = Message(u"bob@example.org");
        m.mime = c.mime;
        m.mimeLength = std::char_traits<char>::length(c.mime);
        EXPECT_EQ(Send(m), 0u) << (progress_.errors.empty() ? "" : progress_.errors[0]);
        std::string arg;
        for (const auto& command : server.Commands())
            if (command.verb == "MAIL") arg = command.arg;
        EXPECT_EQ(arg, c.mailArg);
    }
}

TEST_F(SmtpSenderTest, SendWithTheEmailSettings) {
    LTestSmtpServer& server = Start(SecuredWithLogin());
    LRegSettingsSet(LEmailSettingsSection, u"MailSMTPHost", host_.c_str());
    LRegSettingsSet(LEmailSettingsSection, u"SMTPUserName", u"ann");
    LRegSettingsSet(LEmailSettingsSection, u"SMTPPassword", u"s3cret");
    LRegSettingsSet(LEmailSettingsSection, u"UseSSL", u"1");
    LRegSettingsSet(LEmailSettingsSection, u"SendDirect", u"0");
    LSettingsEmail e;
    e.to = u"bob@example.org";
    e.subject = u"Porlinex: Logon Details";
    e.body = u"Your password";
    LCopyField(e.sender, u"service@example.org");
    LNetOpResult r;
    EXPECT_EQ(LSendEmailUsingEmailSettings(r, progress_, e), 0u) << (progress_.errors.empty() ? "" : progress_.errors[0]);
    ASSERT_EQ(server.Messages().size(), 1u);
    EXPECT_EQ(server.Messages()[0].authUser, "ann");
    EXPECT_TRUE(server.Messages()[0].tls);
    EXPECT_EQ(server.Messages()[0].mailFrom, "service@example.org");
}

TEST_F(SmtpSenderTest, FirstRunDefaultsComeFromThunderbird) {
    LTestSmtpServer& server = Start({});
    std::string home = root_.Path() + "/home";
    std::filesystem::create_directories(home + "/.config");
    std::filesystem::create_directories(home + "/.thunderbird/p.default");
    std::ofstream(home + "/.config/mimeapps.list") << "[Default Applications]\nx-scheme-handler/mailto=thunderbird.desktop\n";
    std::ofstream(home + "/.thunderbird/profiles.ini") << "[Profile0]\nPath=p.default\nDefault=1\n";
    std::ofstream(home + "/.thunderbird/p.default/prefs.js")
        << "user_pref(\"mail.accountmanager.defaultaccount\", \"account1\");\n"
           "user_pref(\"mail.account.account1.identities\", \"id1\");\n"
           "user_pref(\"mail.identity.id1.useremail\", \"ann@example.org\");\n"
           "user_pref(\"mail.smtp.defaultserver\", \"smtp1\");\n"
           "user_pref(\"mail.smtpserver.smtp1.hostname\", \"127.0.0.1:" + std::to_string(server.Port()) + "\");\n";
    LEmailSetDefaultSmtpSettings();
    char16_t value[260];
    LRegSettingsGet(LEmailSettingsSection, u"MailSMTPHost", u"", value);
    EXPECT_EQ(LToUtf8(value), "127.0.0.1:" + std::to_string(server.Port()));
    LRegSettingsGet(LEmailSettingsSection, u"ReplyToEmail", u"", value);
    EXPECT_EQ(LToUtf8(value), "ann@example.org");
    LRegSettingsGet(LEmailSettingsSection, u"UseSMTPHost", u"", value);
    EXPECT_EQ(LToUtf8(value), "1");
    // The settings test went as far as RCPT and sent nothing.
    EXPECT_EQ(Verbs(server), (std::vector<std::string>{"EHLO", "MAIL", "RCPT", "QUIT"}));
    EXPECT_TRUE(server.Messages().empty());

    // Only once.
    LRegSettingsSet(LEmailSettingsSection, u"MailSMTPHost", u"changed");
    LEmailSetDefaultSmtpSettings();
    LRegSettingsGet(LEmailSettingsSection, u"MailSMTPHost", u"", value);
    EXPECT_EQ(LToUtf8(value), "changed");
}

// dnsmasq names 127.0.0.1 as the exchanger of mx-test.example; the sender
// finds it there without an SMTP host.
class SmtpDirectDeliveryTest : public SmtpSenderTest {
protected:
    void SetUp() override {
        int port = LTestFreePort();
        std::vector<std::string> argv = {
            "dnsmasq", "-k", "--port=" + std::to_string(port), "--listen-address=127.0.0.1", "--bind-interfaces",
            "--no-resolv", "--no-hosts", "--conf-file=/dev/null", "--pid-file=" + root_.Path() + "/dnsmasq.pid",
            "--log-facility=" + root_.Path() + "/dnsmasq.log", "--mx-host=mx-test.example,mail.mx-test.example,10",
            "--host-record=mail.mx-test.example,127.0.0.1"};
        if (geteuid() == 0) argv.push_back("--user=root");
        dnsmasq_ = std::make_unique<LTestProcess>(argv);
        ASSERT_TRUE(LTestWaitFor(10000, [&] {
            return LTestReadFile(root_.Path() + "/dnsmasq.log").find("started") != std::string::npos;
        }));
        dns_ = std::make_unique<LTestScopedEnv>("PORLINEX_DNS_SERVER", "127.0.0.1:" + std::to_string(port));
    }
    void TearDown() override { LSmtpSetDirectDeliveryPortForTests(0); }

    std::unique_ptr<LTestProcess> dnsmasq_;
    std::unique_ptr<LTestScopedEnv> dns_;
};

TEST_F(SmtpDirectDeliveryTest, EachRecipientGetsItsOwnDelivery) {
    LTestSmtpServer& server = Start({});
    LSmtpSetDirectDeliveryPortForTests(uint16_t(server.Port()));
    const char16_t* to = u"ann@mx-test.example, bob@mx-test.example";
    LSmtpMessage m = Message(to);
    m.smtpHost = u"";
    m.sender = u"";
    EXPECT_EQ(Send(m), 0u) << (progress_.errors.empty() ? "" : progress_.errors[0]);
    EXPECT_EQ(m.to, to);
    auto messages = server.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].rcptTos, std::vector<std::string>{"ann@mx-test.example"});
    EXPECT_EQ(messages[1].rcptTos, std::vector<std::string>{"bob@mx-test.example"});
    EXPECT_EQ(messages[0].mailFrom, "Porlinex@mx-test.example");
    EXPECT_NE(messages[1].data.find("To: bob@mx-test.example\r\n"), std::string::npos);
}

TEST_F(SmtpDirectDeliveryTest, UnreachableHostFallsBackToTheExchanger) {
    LTestSmtpServer& server = Start({});
    LSmtpSetDirectDeliveryPortForTests(uint16_t(server.Port()));
    LString dead = LFromUtf8("127.0.0.1:" + std::to_string(LTestFreePort()));
    LSmtpMessage m = Message(u"ann@mx-test.example");
    m.smtpHost = dead.c_str();
    m.sendDirect = 1;
    m.userName = u"ann";  // never offered to an exchanger
    EXPECT_EQ(Send(m), 0u) << (progress_.errors.empty() ? "" : progress_.errors[0]);
    ASSERT_EQ(server.Messages().size(), 1u);
    EXPECT_EQ(Verbs(server), (std::vector<std::string>{"EHLO", "MAIL", "RCPT", "DATA", "QUIT"}));
}

// With UseSSL the exchanger's certificate is checked against the
// exchanger's name (mail.mx-test.example), not the recipient's domain.
TEST_F(SmtpDirectDeliveryTest, StartTlsChecksTheExchangersName) {
    struct Case {
        const char* certName;
        LNetOpResult result;
    } cases[] = {{"mail.mx-test.example", 0}, {"mx-test.example", 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.certName);
        LTestSmtpServerOptions o;
        o.startTls = true;
        LTestSmtpServer& server = Start(o, {c.certName});
        LSmtpSetDirectDeliveryPortForTests(uint16_t(server.Port()));
        LSmtpMessage m = Message(u"ann@mx-test.example");
        m.smtpHost = u"";
        m.useSsl = 1;
        m.verifyServerName = 1;
        EXPECT_EQ(Send(m), c.result) << (progress_.errors.empty() ? "" : progress_.errors.back());
        EXPECT_EQ(server.Messages().size(), c.result == 0 ? 1u : 0u);
        if (c.result == 0) {
            EXPECT_TRUE(server.Messages()[0].tls);
        }
    }
}

}  // namespace
