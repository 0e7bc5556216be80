#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/thread.h"
#include "foundation/wait.h"
#include "foundation/utf8.h"

namespace {

// Records what an adaptor forwards.
class RecordingProgress : public LPlainWait {
public:
    void ShowError(const char16_t* text) override { error = LToUtf8(text); }
    void SetStatusText(const char16_t* text, int l) override {
        status = LToUtf8(text);
        line = l;
    }
    void SetProgress(double f) override { progress = f; }
    void StartMarquee() override { marquee = true; }
    bool IsStopRequested() override { return stop; }
    std::string error, status;
    int line = -1;
    double progress = -1;
    bool marquee = false;
    bool stop = false;
};

struct PlainCase {
    const char* name;
    bool set;
    bool invalid;
    uint32_t expected;
};

TEST(PlainWait, WaitResults) {
    const PlainCase cases[] = {
        {"signalled", true, false, LWaitDone},
        {"time-out", false, false, LWaitFailed},
        {"failed wait is not success", false, true, LWaitFailed},
    };
    for (const auto& c : cases) {
        LPlainWait w;
        LEvent e(true, c.set);
        LHandle h = c.invalid ? 999999 : e.Handle();
        EXPECT_EQ(w.WaitHandle(h, 10), c.expected) << c.name;
        LHandleList list;
        LEvent other(true, false);
        list.handles[list.count++] = other.Handle();
        list.handles[list.count++] = h;
        EXPECT_EQ(w.WaitHandles(list, 10), c.expected) << c.name;
    }
    LPlainWait w;
    EXPECT_FALSE(w.IsStopRequested());
    EXPECT_EQ(w.WaitStop(1), LWaitDone);
}

TEST(SubTaskProgress, MapsProgressAndPushesStatusDown) {
    RecordingProgress inner;
    LSubTaskProgress sub(&inner, 0.5, 0.25);
    sub.SetProgress(1.0);
    EXPECT_DOUBLE_EQ(inner.progress, 0.75);
    sub.SetStatusText(u"Copying", 0);
    EXPECT_EQ(inner.status, "Copying");
    EXPECT_EQ(inner.line, 1);
    sub.StartMarquee();
    EXPECT_FALSE(inner.marquee);
    sub.ShowError(u"bad");
    EXPECT_EQ(inner.error, "bad");
    inner.stop = true;
    EXPECT_TRUE(sub.IsStopRequested());
}

TEST(TimeLimitedProgress, StopsWhenTheBudgetIsSpentOrTheInnerAsks) {
    RecordingProgress inner;
    LTimeLimitedProgress spent(&inner, 0);
    EXPECT_TRUE(spent.IsStopRequested());
    LTimeLimitedProgress ample(&inner, 3600000);
    EXPECT_FALSE(ample.IsStopRequested());
    ample.SetStatusText(u"x", 0);
    EXPECT_EQ(inner.line, 0);
    inner.stop = true;
    EXPECT_TRUE(ample.IsStopRequested());
}

TEST(TimeLimitedProgress, WaitsStillEndOnTheInnerThreadsStop) {
    class Worker : public LThread {
    public:
        Worker() : LThread("Worker") {}
        ~Worker() override { Stop(); }
        void Run() override {
            LTimeLimitedProgress limited(this, 3600000);
            result = limited.WaitStopForever();
        }
        std::atomic<uint32_t> result{9};
    } w;
    w.Start();
    w.Stop();
    EXPECT_EQ(w.result.load(), LWaitStopped);
}

TEST(TaskProgressErrorF, FormatsAndCutsTo8191) {
    RecordingProgress p;
    LTaskProgressErrorF(&p, "Error near(%d:%d): %s", 3, 14, "unexpected");
    EXPECT_EQ(p.error, "Error near(3:14): unexpected");
    std::string big(9000, 'a');
    LTaskProgressErrorF(&p, "%s", big.c_str());
    EXPECT_EQ(p.error.size(), 8191u);
}

}  // namespace
