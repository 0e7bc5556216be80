// The background mailer with real sends: to aiosmtpd, and to a port where
// nothing listens, with the pauses shortened.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/log.h"
#include "foundation/reg_settings.h"
#include "foundation/utf8.h"
#include "net/smtp/bg_mailer.h"
#include "net/smtp/smtp_sender.h"
#include "tests/support/smtp_server.h"
#include "tests/support/test_root.h"

namespace {

std::mutex g_linesLock;
std::vector<std::string> g_lines;

void CaptureLine(const char*, const char* text, int) {
    std::lock_guard<std::mutex> hold(g_linesLock);
    g_lines.push_back(text);
}

class BackgroundMailerTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_lines.clear();
        LLogAttachView(&CaptureLine);
        // The first-run defaults are done: no discovery, no settings test.
        LRegSettingsSet(LEmailSettingsSection, u"DefaultsSet", u"1");
        LRegSettingsSet(LEmailSettingsSection, u"SendDirect", u"0");
    }
    void TearDown() override { LLogAttachView(nullptr); }
    void UseHost(const std::string& host) {
        LRegSettingsSet(LEmailSettingsSection, u"MailSMTPHost", LFromUtf8(host).c_str());
    }
    static std::vector<std::string> Lines(const std::string& start) {
        std::lock_guard<std::mutex> hold(g_linesLock);
        std::vector<std::string> out;
        for (const auto& l : g_lines)
            if (l.rfind(start, 0) == 0) out.push_back(l);
        return out;
    }
    LTestRoot root_;
};

TEST(BackgroundMailRetry, PauseGrowsWithTheAttempts) {
    struct Case {
        int32_t attempts;
        uint32_t last, now;
        bool due;
    } cases[] = {
        {1, 1000, 1000 + 600000, false},
        {1, 1000, 1000 + 600001, true},
        {2, 5000, 5000 + 1200000, false},
        {2, 5000, 5000 + 1200001, true},
        {15, 0, 9000000, false},
        {15, 0, 9000001, true},
        {1, 0xFFFFFF00u, 600000, true},  // the tick wrapped
    };
    for (const Case& c : cases)
        EXPECT_EQ(LBackgroundMailRetryDue(c.attempts, c.last, c.now, LBackgroundMailRetryUnitMs), c.due)
            << c.attempts << " " << c.now;
}

TEST(BackgroundMailJob, SenderIsTheFirstWord) {
    LBackgroundMailJob* a = LBackgroundMailJob::Create(u"bob@example.org", u"Body", u"  ann@example.org Ann Smith");
    EXPECT_EQ(LToUtf8(a->senderAddress), "ann@example.org");
    EXPECT_EQ(LToUtf8(a->subject), "Porlinex: Logon Details");
    a->Free();
    LBackgroundMailJob* b = LBackgroundMailJob::Create(u"bob@example.org", u"Body", u"\"odd name@example.org\" x");
    EXPECT_EQ(LToUtf8(b->senderAddress), "odd name@example.org");
    b->Free();
}

TEST_F(BackgroundMailerTest, JobsAreSentInQueueOrder) {
    LTestSmtpServer server(root_.Path() + "/smtp", {});
    ASSERT_TRUE(server.Ready());
    UseHost("127.0.0.1:" + std::to_string(server.Port()));
    LBackgroundMailer mailer;
    for (const char16_t* to : {u"one@example.org", u"two@example.org", u"three@example.org"})
        mailer.Queue(LBackgroundMailJob::Create(to, u"Your log-on details", u"service@example.org"));
    ASSERT_TRUE(server.WaitForMessages(3));
    auto messages = server.Messages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0].rcptTos[0], "one@example.org");
    EXPECT_EQ(messages[1].rcptTos[0], "two@example.org");
    EXPECT_EQ(messages[2].rcptTos[0], "three@example.org");
    EXPECT_TRUE(mailer.WaitQueueEmpty(10000));
}

TEST_F(BackgroundMailerTest, SixteenFailuresThenTheJobIsDropped) {
    int port = LTestFreePort();
    UseHost("127.0.0.1:" + std::to_string(port));
    std::string attachment = root_.Path() + "/notice.txt";
    std::ofstream(attachment) << "owned by the job";
    LBackgroundMailer mailer;
    mailer.SetPausesForTests(1, 0);
    LBackgroundMailJob* job = LBackgroundMailJob::Create(u"bob@example.org", u"Body", u"service@example.org");
    job->attachmentPaths.push_back(LFromUtf8(attachment).c_str());
    job->deleteFiles = 1;
    mailer.Queue(job);
    // The job owns its file: the file goes when the job is given up.
    ASSERT_TRUE(LTestWaitFor(30000, [&] { return !std::filesystem::exists(attachment); }));
    std::string failure = "Sending Email: Unable to connect to mail server \"127.0.0.1:" + std::to_string(port) +
                          "\" when sending an email to \"bob@example.org\".";
    auto errors = Lines("Sending Email: Unable");
    EXPECT_EQ(errors.size(), 16u);
    for (const auto& e : errors) EXPECT_EQ(e, failure);
    EXPECT_EQ(Lines("Sending Email: gave up"),
              std::vector<std::string>{"Sending Email: gave up after 16 attempts to send to bob@example.org"});
    EXPECT_FALSE(Lines("Sending Email: To: bob@example.org").empty());
}

TEST_F(BackgroundMailerTest, NewJobGoesBeforeAWaitingRetry) {
    LTestSmtpServer server(root_.Path() + "/smtp", {});
    ASSERT_TRUE(server.Ready());
    UseHost("127.0.0.1:" + std::to_string(server.Port()));
    LBackgroundMailer mailer;
    // A retry that will not be due within the test.
    mailer.SetPausesForTests(3600000, 0);
    mailer.Queue(LBackgroundMailJob::Create(u"not an address", u"Body", u"service@example.org"));
    ASSERT_TRUE(LTestWaitFor(10000, [&] { return !Lines("Sending Email: Invalid").empty(); }));
    mailer.Queue(LBackgroundMailJob::Create(u"bob@example.org", u"Body", u"service@example.org"));
    ASSERT_TRUE(server.WaitForMessages(1));
    EXPECT_EQ(server.Messages()[0].rcptTos[0], "bob@example.org");
    EXPECT_EQ(Lines("Sending Email: Invalid").size(), 1u);
}

}  // namespace
