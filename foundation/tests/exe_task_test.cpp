#include "foundation/exe_task.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "foundation/time_source.h"
#include "foundation/utf8.h"
#include "platform/wait.h"
#include "tests/support/test_root.h"

namespace {

// The request of the test tasks: a folder to leave marks in and a text.
struct LTestRequest {
    char folder[200];
    char text[56];
};

void Mark(const LTestRequest& r, const char* name, const std::string& content) {
    std::ofstream(std::string(r.folder) + "/" + name) << content;
}

// Reports, then answers with the text upper-cased.
class LUpperTask : public LExeTask {
public:
    LUpperTask() : LExeTask(u"TestUpper") {}
    void Run(uint32_t* result, LExeTaskChannel& ch) override {
        LTestRequest r;
        if (!ch.Read(&r, sizeof r)) return;
        ch.SetProgress(0.1);
        ch.SetProgress(0.2);
        ch.SetProgress(0.3);
        ch.SetProgress(1.0);
        ch.StartMarquee();
        ch.StopMarquee();
        std::u16string exact(65535, u'e'), longer(65536, u'l');
        longer[65535] = u'!';
        ch.SetStatusText(exact.c_str(), 0);
        ch.SetStatusText(longer.c_str(), 1);
        ch.SetStatusText(u"not a line", 3);
        ch.ShowError(u"an error \u00e9");
        for (char* p = r.text; *p; ++p) *p = static_cast<char>(toupper(*p));
        *result = 0;
        ch.SendResult(0, &r, sizeof r);
    }
} g_upper;

class LFailTask : public LExeTask {
public:
    LFailTask() : LExeTask(u"TestFail") {}
    void Run(uint32_t* result, LExeTaskChannel& ch) override {
        LTestRequest r;
        if (!ch.Read(&r, sizeof r)) return;
        std::strcpy(r.text, "why it failed");
        *result = 2;
        ch.SendResult(2, &r, sizeof r);
    }
} g_fail;

// Honours a stop, but takes its time to clean up first.
class LPoliteTask : public LExeTask {
public:
    LPoliteTask() : LExeTask(u"TestPolite") {}
    void Run(uint32_t* result, LExeTaskChannel& ch) override {
        LTestRequest r;
        if (!ch.Read(&r, sizeof r)) return;
        Mark(r, "started", "");
        ch.WaitStop(LInfinite);
        usleep(300000);
        Mark(r, "cleaned-up", "");
        *result = 1;
        ch.SendResult(1, nullptr, 0);
    }
} g_polite;

// Never looks at the stop request.
class LHangTask : public LExeTask {
public:
    LHangTask() : LExeTask(u"TestHang") {}
    void Run(uint32_t*, LExeTaskChannel& ch) override {
        LTestRequest r;
        if (!ch.Read(&r, sizeof r)) return;
        Mark(r, "pid", std::to_string(getpid()));
        for (;;) pause();
    }
} g_hang;

class LCrashTask : public LExeTask {
public:
    LCrashTask() : LExeTask(u"TestCrash") {}
    void Run(uint32_t*, LExeTaskChannel& ch) override {
        LTestRequest r;
        if (!ch.Read(&r, sizeof r)) return;
        std::printf("stray output that must not reach the channel\n");
        std::fflush(stdout);
        raise(SIGSEGV);
    }
} g_crash;

// Starts an error text and stops halfway through it, then never looks at
// the stop request. Its channel is the one write-only pipe among its
// descriptors (standard output itself points at standard error).
class LStallTask : public LExeTask {
public:
    LStallTask() : LExeTask(u"TestStall") {}
    void Run(uint32_t*, LExeTaskChannel& ch) override {
        LTestRequest r;
        if (!ch.Read(&r, sizeof r)) return;
        for (int fd = 3; fd < 256; ++fd) {
            struct stat st;
            if (fstat(fd, &st) != 0 || !S_ISFIFO(st.st_mode) || (fcntl(fd, F_GETFL) & O_ACCMODE) != O_WRONLY) continue;
            const unsigned char half[] = {128, 10, 0, 'h', 0, 'a', 0};
            if (write(fd, half, sizeof half) != sizeof half) return;
            Mark(r, "stalled", "");
            break;
        }
        for (;;) pause();
    }
} g_stall;

// The test program is its own child: "-exe <task>" runs the task before
// GoogleTest starts (the tasks above are registered by then: same file).
struct LExeSwitch {
    LExeSwitch() {
        std::ifstream f("/proc/self/cmdline", std::ios::binary);
        std::vector<std::string> args;
        for (std::string a; std::getline(f, a, '\0');) args.push_back(a);
        if (args.size() < 3 || args[1] != "-exe") return;
        uint32_t result = 2;
        LExeTaskDispatch(&result, LFromUtf8(args[2]).c_str());
        std::fflush(nullptr);
        _exit(static_cast<int>(result));
    }
} g_exe_switch;

class LRecordingProgress : public LTaskProgress {
public:
    bool IsStopRequested() override { return stop_at && LTickCount64() >= stop_at; }
    uint32_t WaitStop(uint32_t ms) override {
        usleep(ms * 1000);
        return IsStopRequested() ? 1 : 0;
    }
    uint32_t WaitHandle(LHandle h, uint32_t ms) override {
        if (IsStopRequested()) return 1;
        return LPlatformWaitAny(&h, 1, ms) == 0 ? 0 : IsStopRequested() ? 1 : 2;
    }
    uint32_t WaitHandles(LHandleList& list, uint32_t ms) override {
        return LPlatformWaitAny(list.handles, list.count, ms) >= 0 ? 0 : 2;
    }
    void ShowError(const char16_t* text) override { errors.push_back(text); }
    void SetStatusText(const char16_t* text, int line) override { status.emplace_back(line, text); }
    void SetProgress(double x) override { progress.push_back(x); }
    void StartMarquee() override { ++marquee; }
    void StopMarquee() override { ++marquee; }

    uint64_t stop_at = 0;
    std::vector<std::u16string> errors;
    std::vector<std::pair<int, std::u16string>> status;
    std::vector<double> progress;
    int marquee = 0;
};

class ExeTask : public ::testing::Test {
protected:
    LTestRequest Request(const char* text) {
        LTestRequest r{};
        std::snprintf(r.folder, sizeof r.folder, "%s", root.Path().c_str());
        std::snprintf(r.text, sizeof r.text, "%s", text);
        return r;
    }
    bool Exists(const char* name) { return access((root.Path() + "/" + name).c_str(), F_OK) == 0; }
    LTestRoot root;
    std::string self = LPlatformSelfExecutableForTest();
    static std::string LPlatformSelfExecutableForTest() {
        char buf[4096];
        ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
        return std::string(buf, n > 0 ? static_cast<size_t>(n) : 0);
    }
};

TEST_F(ExeTask, ReportsAndReplies) {
    LTestRequest r = Request("hello");
    LRecordingProgress p;
    uint32_t result = 9;
    LExeTaskRun(&result, &p, &r, sizeof r, u"TestUpper", self.c_str());
    EXPECT_EQ(result, 0u);
    EXPECT_STREQ(r.text, "HELLO");
    // 0.1, 0.2 and 0.3 within 250 ms are one message; 1.0 always goes.
    EXPECT_EQ(p.progress, (std::vector<double>{0.1, 1.0}));
    EXPECT_EQ(p.marquee, 2);
    ASSERT_EQ(p.status.size(), 2u);
    EXPECT_EQ(p.status[0].first, 0);
    EXPECT_EQ(p.status[0].second, std::u16string(65535, u'e'));
    EXPECT_EQ(p.status[1].first, 1);
    EXPECT_EQ(p.status[1].second, std::u16string(65535, u'l'));
    ASSERT_EQ(p.errors.size(), 1u);
    EXPECT_EQ(p.errors[0], u"an error \u00e9");
}

TEST_F(ExeTask, FailuresOfTheChild) {
    struct {
        const char16_t* task;
        const char* want_text;
    } cases[] = {
        {u"TestFail", "why it failed"},  // a failure reply is still copied back
        {u"TestCrash", "crash"},         // ends without a result
        {u"NoSuchTask", "none"},         // never started
    };
    for (const auto& c : cases) {
        LTestRequest r = Request(c.want_text == std::string("why it failed") ? "x" : c.want_text);
        LRecordingProgress p;
        uint32_t result = 9;
        LExeTaskRun(&result, &p, &r, sizeof r, c.task, self.c_str());
        EXPECT_EQ(result, 2u) << LToUtf8(c.task);
        EXPECT_STREQ(r.text, c.want_text) << LToUtf8(c.task);
    }
    LTestRequest r = Request("x");
    LRecordingProgress p;
    uint32_t result = 9;
    LExeTaskRun(&result, &p, &r, sizeof r, u"TestUpper", "/nonexistent/porlinex");
    EXPECT_EQ(result, 2u);
}

TEST_F(ExeTask, CancelledChildGetsItsGracePeriod) {
    LTestRequest r = Request("x");
    LRecordingProgress p;
    p.stop_at = LTickCount64() + 400;
    uint32_t result = 9;
    LExeTaskRun(&result, &p, &r, sizeof r, u"TestPolite", self.c_str());
    EXPECT_EQ(result, 1u);
    EXPECT_TRUE(Exists("started"));
    // The child was not killed before it had cleaned up.
    EXPECT_TRUE(Exists("cleaned-up"));
}

TEST_F(ExeTask, ChildThatIgnoresTheStopIsKilled) {
    LTestRequest r = Request("x");
    LRecordingProgress p;
    p.stop_at = LTickCount64() + 300;
    uint32_t result = 9;
    LExeTaskRun(&result, &p, &r, sizeof r, u"TestHang", self.c_str());
    EXPECT_EQ(result, 1u);
    pid_t pid = static_cast<pid_t>(std::stol(LTestReadFile(root.Path() + "/pid")));
    EXPECT_EQ(kill(pid, 0), -1);
    EXPECT_EQ(errno, ESRCH);
}

// A child that stalls in the middle of a message does not hold the stop
// request: the parent stops reading, gives the grace period, kills it.
TEST_F(ExeTask, StopIsHonouredInTheMiddleOfAMessage) {
    LTestRequest r = Request("x");
    LRecordingProgress p;
    p.stop_at = LTickCount64() + 1000;
    uint32_t result = 9;
    const uint64_t t0 = LTickCount64();
    LExeTaskRun(&result, &p, &r, sizeof r, u"TestStall", self.c_str());
    EXPECT_EQ(result, 1u);
    EXPECT_TRUE(Exists("stalled"));
    // The stop byte's grace period, not the child's silence, ends the run.
    EXPECT_LT(LTickCount64() - t0, 15000u);
    EXPECT_TRUE(p.errors.empty());
}

}  // namespace
