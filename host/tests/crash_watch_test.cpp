// The crash identifier and the running marker: which thread and state a
// report names, and when the next start asks about the last run.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "foundation/thread_table.h"
#include "foundation/time_source.h"
#include "host/crash_id.h"
#include "host/crash_watch.h"
#include "tests/support/test_root.h"

namespace {

std::string Id(const char* prefix = "P", const char* suffix = "S") {
    char out[260];
    LCrashGetId(out, prefix, suffix);
    return out;
}

TEST(CrashId, NamesTheThreadAndTheMainState) {
    EXPECT_EQ(Id(), "P-Win100-S-Unknown");  // this thread is not in the table
    std::string worker;
    std::thread([&] {
        LThreadRegister("LTCPListener");
        worker = Id();
        LThreadUnregister();
    }).join();
    EXPECT_EQ(worker, "P-Win100-S-LTCP");
    std::thread([&] {
        LThreadRegister(nullptr);  // a generated tag says nothing
        worker = Id();
        LThreadUnregister();
    }).join();
    EXPECT_EQ(worker, "P-Win100-S-");

    LThreadRegister("MAIN");
    LCrashSetMainThread();
    struct Case {
        int32_t state;
        const char* id;
    } cases[] = {{LMainStateGlobalInit, "P-Win100-S-MAINGloIni1"}, {LMainStateGuiInit, "P-Win100-S-MAINGuiIni2"},
                 {LMainStateGuiDestroy, "P-Win100-S-MAINGuiDes3"}, {LMainStateGlobalDestroy, "P-Win100-S-MAINGloDes4"},
                 {LMainStateMessageLoop, "P-Win100-S-MAINUkn0(Msg15LstCmd1002)"}, {40001, "P-Win100-S-MAIN(Cmd40001)"}};
    LCrashSetCurrentMessage(15);
    LCrashSetLastCommand(1002);
    for (const Case& c : cases) {
        LCrashSetMainState(c.state);
        EXPECT_EQ(Id(), c.id);
    }
    LCrashSetMainState(LMainStateGlobalInit);
    LThreadUnregister();
}

std::atomic<uint64_t> g_boot{50'000'000};
uint64_t FakeBoot() { return g_boot.load(); }
std::atomic<time_t> g_now{1'800'000'000};
time_t FakeNow() { return g_now.load(); }
std::vector<std::u16string> g_asked;
bool g_answer = false;
bool Record(LHwnd, const char16_t* text, const char16_t*, const char16_t* first, const char16_t*) {
    g_asked.push_back(first);
    (void)text;
    return g_answer;
}

class CrashWatchTest : public ::testing::Test {
protected:
    CrashWatchTest() {
        LSetBootTickFuncForTests(FakeBoot);
        LSetNowFuncForTests(FakeNow);
        LSetCrashAskFuncForTests(Record);
        g_asked.clear();
    }
    ~CrashWatchTest() override {
        LCrashWatchStop();
        LSetBootTickFuncForTests(nullptr);
        LSetNowFuncForTests(nullptr);
        LSetCrashAskFuncForTests(nullptr);
    }
    LTestRoot root_;
};

TEST_F(CrashWatchTest, ACleanExitLeavesNothingToAsk) {
    LCrashWatchStart(LHwnd::Null);
    struct stat st {};
    ASSERT_EQ(lstat(LCrashMarkerPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(st.st_size, 16);
    LCrashWatchStop();
    EXPECT_NE(lstat(LCrashMarkerPath().c_str(), &st), 0);
    LCrashWatchStart(LHwnd::Null);
    EXPECT_TRUE(g_asked.empty());
}

TEST_F(CrashWatchTest, AMarkerLeftBehindAsksOnlyWhenTheMachineRanOn) {
    struct Case {
        int64_t seconds_later;
        int64_t boot_drift_ms;  // boot clock against the time passed
        bool asks;
    } cases[] = {{3600, 0, true}, {3600, 1500, true}, {3600, -1999, true}, {3600, 2500, false},
                 {3600, -3'600'000, false} /* restarted */};
    for (const Case& c : cases) {
        g_asked.clear();
        LCrashWatchStart(LHwnd::Null);
        // The process ends without the clean exit: only its handle goes.
        LSetCrashAskFuncForTests(Record);
        g_now += c.seconds_later;
        g_boot += c.seconds_later * 1000 + c.boot_drift_ms;
        // Another process's start: the marker is found.
        std::string marker = LCrashMarkerPath();
        std::ifstream in(marker, std::ios::binary);
        ASSERT_TRUE(in.good());
        std::string bytes((std::istreambuf_iterator<char>(in)), {});
        in.close();
        LCrashWatchStop();
        std::ofstream(marker, std::ios::binary) << bytes;
        LCrashWatchStart(LHwnd::Null);
        EXPECT_EQ(g_asked.size(), c.asks ? 1u : 0u) << c.boot_drift_ms;
        // The question replaces the marker: none is written for this run.
        struct stat st {};
        EXPECT_NE(lstat(marker.c_str(), &st), 0);
        g_boot = 50'000'000;
    }
}

TEST_F(CrashWatchTest, AMarkerNameTakenByALinkIsNotFollowed) {
    std::string marker = LCrashMarkerPath();
    std::string target = root_.Path() + "/elsewhere";
    std::ofstream(target) << "keep";
    std::filesystem::create_directories(marker.substr(0, marker.rfind('/')));
    ASSERT_EQ(symlink(target.c_str(), marker.c_str()), 0);
    LCrashWatchStart(LHwnd::Null);
    EXPECT_EQ(LTestReadFile(target), "keep");
}

}  // namespace
