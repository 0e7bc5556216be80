#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "foundation/log.h"
#include "foundation/time_source.h"
#include "tests/support/test_root.h"

namespace {

time_t g_now = 0;
uint64_t g_tick = 0;
std::vector<std::string> g_view_lines, g_pipe_lines, g_emails;

time_t FakeNow() { return g_now; }
uint64_t FakeTick() { return g_tick; }

time_t LocalTime(int y, int mo, int d, int h, int mi, int s) {
    tm t{};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_sec = s;
    t.tm_isdst = -1;
    return mktime(&t);
}

class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_now = LocalTime(2026, 1, 31, 10, 20, 30);
        g_tick = 1000;
        g_view_lines.clear();
        g_pipe_lines.clear();
        g_emails.clear();
        LSetNowFuncForTests(&FakeNow);
        LSetTickFuncForTests(&FakeTick);
        LSetServiceFlag(false);
        LLogSetEnabled(true);
        LLogCloseFile();
        LLogRateLimitClear();
        LSetErrorEmailQueue([](const char* t) { g_emails.push_back(t); });
        LLogSetPipeBroadcast([](const char* time, const char* t, int level) {
            g_pipe_lines.push_back(std::string(time) + "|" + t + "|" + std::to_string(level));
        });
    }
    void TearDown() override {
        LLogCloseFile();
        LLogAttachView(nullptr);
        LLogSetPipeBroadcast(nullptr);
        LSetErrorEmailQueue(nullptr);
        LSetServiceFlag(false);
        LLogSetEnabled(true);
        LLogSetDebug(false);
        LSetNowFuncForTests(nullptr);
        LSetTickFuncForTests(nullptr);
    }
    std::string File(const std::string& name) { return LTestReadFile(root.DataFolder() + "/Logs/" + name); }
    size_t FileCount() {
        std::error_code ec;
        auto it = std::filesystem::directory_iterator(root.DataFolder() + "/Logs", ec);
        return ec ? 0 : static_cast<size_t>(std::distance(it, {}));
    }
    LTestRoot root;
};

TEST_F(LogTest, FileNameAndLineFormat) {
    LLog("first line", LLogInfo);
    LLogWarningF("disk %d%% full", 91);
    EXPECT_EQ(File("2026-01-31 Porlinex Log.txt"), "10:20:30 first line\r\n10:20:30 disk 91% full\r\n");
    LLogCloseFile();
    LSetServiceFlag(true);
    LLog(u"gr\u00fc\u00dfe", LLogInfo);
    EXPECT_EQ(File("2026-01-31 Porlinex Service Log.txt"), "10:20:30 gr\xc3\xbc\xc3\x9f" "e\r\n");
}

TEST_F(LogTest, NewFileOnEveryNewLocalDate) {
    g_now = LocalTime(2026, 1, 31, 23, 59, 59);
    LLog("before midnight", LLogInfo);
    g_now = LocalTime(2026, 2, 1, 0, 0, 1);
    LLog("after midnight", LLogInfo);
    // The same day of the month in another month is another day.
    g_now = LocalTime(2026, 3, 1, 8, 0, 0);
    LLog("a month later", LLogInfo);
    EXPECT_EQ(File("2026-01-31 Porlinex Log.txt"), "23:59:59 before midnight\r\n");
    EXPECT_EQ(File("2026-02-01 Porlinex Log.txt"), "00:00:01 after midnight\r\n");
    EXPECT_EQ(File("2026-03-01 Porlinex Log.txt"), "08:00:00 a month later\r\n");
}

TEST_F(LogTest, LiveWatchersAndTheErrorEmail) {
    LLog("to the pipe", LLogError);
    EXPECT_EQ(g_pipe_lines, (std::vector<std::string>{"10:20:30|to the pipe|1"}));
    EXPECT_EQ(g_emails, (std::vector<std::string>{"to the pipe"}));

    LLogAttachView([](const char* time, const char* t, int level) {
        g_view_lines.push_back(std::string(time) + "|" + t + "|" + std::to_string(level));
    });
    LLog("to the view", LLogError);
    LLog("a warning", LLogWarning);
    EXPECT_EQ(g_view_lines, (std::vector<std::string>{"10:20:30|to the view|1", "10:20:30|a warning|2"}));
    EXPECT_EQ(g_pipe_lines.size(), 1u);  // the view takes the lines instead
    EXPECT_EQ(g_emails.size(), 1u);      // and errors are not mailed
}

TEST_F(LogTest, EmptyTextWritesNothingButIsStillMailed) {
    LLog("", LLogError);
    EXPECT_EQ(FileCount(), 0u);
    EXPECT_TRUE(g_pipe_lines.empty());
    EXPECT_EQ(g_emails, (std::vector<std::string>{""}));
}

TEST_F(LogTest, OffWritesNothingAndFormattingIsCut) {
    LLogSetEnabled(false);
    LLog("hidden", LLogInfo);
    LLogErrorF("hidden %d", 1);
    LLogErrorWithDetail("hidden.", "detail");
    EXPECT_EQ(FileCount(), 0u);
    LLogSetEnabled(true);
    LLogErrorWithDetail("LDbAppSettingsWrite: Insert failed.", "disk I/O error");
    std::string big(600, 'x');
    LLogInfoF("%s", big.c_str());
    std::string expected = "10:20:30 LDbAppSettingsWrite: Insert failed.disk I/O error\r\n10:20:30 " +
                           std::string(511, 'x') + "\r\n";
    EXPECT_EQ(File("2026-01-31 Porlinex Log.txt"), expected);
}

TEST_F(LogTest, RateLimitedRepeatsFoldIntoACount) {
    for (int i = 0; i < 6; ++i) {
        LLogRateLimited(60, "IMAP connect failed");
        g_tick += 1000;
    }
    g_tick += 60000;
    LLogRateLimited(60, "IMAP connect failed");
    LLogRateLimited(60, "IMAP connect failed");  // counted again
    EXPECT_EQ(File("2026-01-31 Porlinex Log.txt"),
              "10:20:30 IMAP connect failed\r\n10:20:30 IMAP connect failed [5]\r\n");
}

TEST_F(LogTest, StaleRepeatsAreSummedUpAtTheNextCall) {
    LLogRateLimited(10, "quiet one");
    LLogRateLimited(10, "quiet one");
    LLogRateLimited(10, "quiet one");
    LLogRateLimitedF(10, "never repeated %d", 1);
    g_tick += 20000;  // twice the interval
    LLogRateLimited(10, "another");
    EXPECT_EQ(File("2026-01-31 Porlinex Log.txt"),
              "10:20:30 quiet one\r\n10:20:30 never repeated 1\r\n10:20:30 quiet one [~2]\r\n10:20:30 another\r\n");
}

TEST_F(LogTest, TickWrapAroundKeepsTheInterval) {
    g_tick = 0xFFFFFF00ull;
    LLogRateLimited(1, "wrapping");
    g_tick = 0x100000010ull;  // 272 ms later, past the 32-bit wrap
    LLogRateLimited(1, "wrapping");
    g_tick += 1000;
    LLogRateLimited(1, "wrapping");
    EXPECT_EQ(File("2026-01-31 Porlinex Log.txt"), "10:20:30 wrapping\r\n10:20:30 wrapping [1]\r\n");
}

TEST_F(LogTest, DebugLinesOnlyWhileDebugLoggingIsOn) {
    LLog("per request", LLogDebug);
    LLogDebugF("round %d", 1);
    EXPECT_EQ(FileCount(), 0u);
    EXPECT_TRUE(g_pipe_lines.empty());
    LLogSetDebug(true);
    LLog("per request", LLogDebug);
    LLogDebugF("round %d", 2);
    EXPECT_EQ(File("2026-01-31 Porlinex Log.txt"), "10:20:30 per request\r\n10:20:30 round 2\r\n");
    // Watchers know three levels: a debug line reaches them as information.
    EXPECT_EQ(g_pipe_lines, (std::vector<std::string>{"10:20:30|per request|0", "10:20:30|round 2|0"}));
    EXPECT_TRUE(g_emails.empty());
}

TEST_F(LogTest, UnsharedLineLandsBesideTheOpenFile) {
    LSetServiceFlag(true);
    LLog("held open", LLogInfo);
    // Another process's view: this process's file stays open meanwhile.
    LLogAppendLineUnshared("XI: id");
    LLog("after", LLogInfo);
    EXPECT_EQ(File("2026-01-31 Porlinex Service Log.txt"),
              "10:20:30 held open\r\n10:20:30 XI: id\r\n10:20:30 after\r\n");
}

}  // namespace
