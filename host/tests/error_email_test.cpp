// Error e-mails against aiosmtpd: gathering, silence, the switch and the
// delay's bounds. The silence runs on an injected clock; the gathering wait
// is real, so the delays here are short.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "foundation/log.h"
#include "foundation/reg_settings.h"
#include "foundation/time_source.h"
#include "foundation/wait.h"
#include "foundation/lstring.h"
#include "host/error_email.h"
#include "net/smtp/smtp_sender.h"
#include "tests/support/smtp_server.h"
#include "tests/support/test_root.h"

namespace {

std::atomic<time_t> g_now{1'800'000'000};
time_t FakeNow() { return g_now.load(); }

class ErrorEmailTest : public ::testing::Test {
protected:
    ErrorEmailTest() : smtp_(root_.Path() + "/smtp", LTestSmtpServerOptions{}) {
        LSetNowFuncForTests(FakeNow);
        // A dotted host: the sender is made from it, and a bare "localhost"
        // gives no valid From address.
        std::string host = "127.0.0.1:" + std::to_string(smtp_.Port());
        LRegSettingsSet(LEmailSettingsSection, u"DefaultsSet", u"1");
        LRegSettingsSet(LEmailSettingsSection, u"UseSMTPHost", u"1");
        LRegSettingsSet(LEmailSettingsSection, u"MailSMTPHost", LFromUtf8(host).c_str());
        LRegSettingsSet(LEmailSettingsSection, u"SendDirect", u"0");
        LRegSettingsSet(LEmailSettingsSection, u"ReplyToEmail", u"desk@example.org");
        LRegSettingsSet(u"EmailErrors", u"On", u"1");
        LRegSettingsSet(u"EmailErrors", u"Email", u"admin@example.org");
        LRegSettingsSet(u"EmailErrors", u"DelayAfterError", u"1");
        LErrorEmailStart();
    }
    ~ErrorEmailTest() override {
        LErrorEmailStop();
        LSetNowFuncForTests(nullptr);
    }
    LTestRoot root_;
    LTestSmtpServer smtp_;
};

TEST_F(ErrorEmailTest, GathersThenStaysSilentForTheDelayInMinutes) {
    ASSERT_TRUE(smtp_.Ready());
    LLog("first failure", LLogError);
    LLog("an information line", LLogInfo);
    LLog("second failure", LLogError);
    LLog("third failure", LLogError);
    ASSERT_TRUE(smtp_.WaitForMessages(1));
    ASSERT_TRUE(LErrorEmailWaitSent(10000));
    auto messages = smtp_.Messages();
    ASSERT_EQ(messages.size(), 1u);
    const std::string& data = messages[0].data;
    EXPECT_EQ(messages[0].rcptTos, std::vector<std::string>{"admin@example.org"});
    EXPECT_NE(data.find("Subject: Porlinex Error"), std::string::npos);
    EXPECT_NE(data.find("desk@example.org"), std::string::npos);
    size_t a = data.find("first failure"), b = data.find("second failure"), c = data.find("third failure");
    ASSERT_NE(a, std::string::npos);
    EXPECT_TRUE(a < b && b < c && c != std::string::npos);
    EXPECT_EQ(data.find("an information line"), std::string::npos);

    // One second of gathering is one minute of silence.
    g_now += 30;
    LLog("during the silence", LLogError);
    g_now += 31;
    LLog("after the silence", LLogError);
    ASSERT_TRUE(smtp_.WaitForMessages(2));
    ASSERT_TRUE(LErrorEmailWaitSent(10000));
    messages = smtp_.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1].data.find("during the silence"), std::string::npos);
    EXPECT_NE(messages[1].data.find("after the silence"), std::string::npos);
}

TEST_F(ErrorEmailTest, OffValuesAndAStopDuringGatheringSendNothing) {
    for (const char16_t* off : {u"0", u"0x", u""}) {
        LRegSettingsSet(u"EmailErrors", u"On", off);
        LLog("switched off", LLogError);
    }
    LRegSettingsSet(u"EmailErrors", u"On", u"yes");
    LRegSettingsSet(u"EmailErrors", u"DelayAfterError", u"30");
    LLog("gathering when the process ends", LLogError);
    LErrorEmailStop();
    EXPECT_TRUE(LErrorEmailWaitSent(1000));
    EXPECT_TRUE(smtp_.Messages().empty());
}

TEST(ErrorEmailDelay, ReadsBoundedSeconds) {
    LTestRoot root;
    struct Case {
        const char16_t* text;
        int64_t seconds;
    } cases[] = {{u"20", 20}, {u"0", 0}, {u"-5", 0}, {u"abc", 0}, {u"99999999999999999999", 86400},
                 {u"86401", 86400}, {u" 7", 7}};
    for (const Case& c : cases) {
        LRegSettingsSet(u"EmailErrors", u"DelayAfterError", c.text);
        EXPECT_EQ(LErrorEmailDelaySeconds(), c.seconds) << LToUtf8(c.text);
    }
    LRegSettingsDelete(u"EmailErrors", u"DelayAfterError");
    EXPECT_EQ(LErrorEmailDelaySeconds(), 20);
}

TEST_F(ErrorEmailTest, WithoutADelayLinesLoggedDuringASendFollowAtOnce) {
    ASSERT_TRUE(smtp_.Ready());
    LRegSettingsSet(u"EmailErrors", u"DelayAfterError", u"0");
    // Spread over several sends: some lines arrive while one is under way.
    for (int i = 0; i < 20; ++i) {
        LLogErrorF("failure %02d", i);
        LPlainWait().WaitStop(25);
    }
    // No further error comes to carry the last ones out.
    auto all_there = [&] {
        std::string text;
        for (const auto& m : smtp_.Messages()) text += m.data;
        for (int i = 0; i < 20; ++i) {
            char line[32];
            std::snprintf(line, sizeof line, "failure %02d", i);
            if (text.find(line) == std::string::npos) return false;
        }
        return true;
    };
    EXPECT_TRUE(LTestWaitFor(15000, all_there));
    EXPECT_TRUE(LErrorEmailWaitSent(10000));
}

}  // namespace
