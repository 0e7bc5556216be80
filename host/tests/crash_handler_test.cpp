// Crashes of a process of our own (this test program, run again as the
// fixture) reported by the real program from outside: exit code, dump and
// report files, the reason, and the crashing thread's frames in order.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "foundation/log.h"
#include "foundation/reg_settings.h"
#include "host/crash_handler.h"
#include "host/crash_record.h"
#include "host/crash_report.h"
#include "host/tests/crash_fixture.h"
#include "tests/support/service_harness.h"
#include "tests/support/test_root.h"

namespace {

volatile int g_zero = 0;
volatile int* g_null = nullptr;
// Set: the innermost call stops first, to be looked at from outside.
volatile bool g_stop_first = false;

extern "C" __attribute__((noinline)) void FixtureWrite() {
    if (g_stop_first) raise(SIGSTOP);
    *g_null = 1;
    asm volatile("" ::: "memory");
}
extern "C" __attribute__((noinline)) void FixtureMiddle() {
    FixtureWrite();
    asm volatile("" ::: "memory");
}
extern "C" __attribute__((noinline)) void FixtureOuter() {
    FixtureMiddle();
    asm volatile("" ::: "memory");
}
__attribute__((noinline)) int FixtureDivide() { return 7 / g_zero; }
// Unbounded as far as the compiler can tell: the depth is read at run time.
volatile int g_depth_limit = -1;
__attribute__((noinline)) int FixtureRecurse(int n) {
    volatile char pad[256];
    pad[0] = static_cast<char>(n);
    if (n == g_depth_limit) return 0;
    return FixtureRecurse(n + 1) + pad[0];
}

TEST(CrashChild, Crash) {
    const char* kind = std::getenv("PORLINEX_CRASH_KIND");
    if (!kind) GTEST_SKIP() << "only run as the crashing process of the crash tests";
    LCrashHandlerInstall(std::getenv("PORLINEX_CRASH_REPORTER"));
    if (std::getenv("PORLINEX_CRASH_SERVICE")) {
        LSetServiceFlag(true);
        // The service's log file is open (and held) when it crashes.
        LLog("before the crash", LLogInfo);
    }
    std::string k = kind;
    g_stop_first = k == "stop-null";
    if (k == "null" || k == "stop-null") FixtureOuter();
    if (k == "divide") std::printf("%d\n", FixtureDivide());
    if (k == "abort") std::abort();
    if (k == "recurse") std::printf("%d\n", FixtureRecurse(0));
}

struct Outcome {
    int exit_code;
    std::string report;
};

Outcome CrashAs(const char* kind, bool service) {
    Outcome o;
    o.exit_code = LStartCrashFixture(kind, service)->Wait(60000);
    o.report = LTestReadFile(LCrashReportPath(service));
    return o;
}

TEST(CrashHandler, FixturesAreReportedFromOutside) {
    struct Case {
        const char* kind;
        const char* reason;
    } cases[] = {{"null", "AccessViolation"}, {"divide", "IntDivideByZero"}, {"abort", "(none)"},
                 {"recurse", "StackOverflow"}};
    for (const Case& c : cases) {
        LTestRoot root;
        Outcome o = CrashAs(c.kind, true);
        EXPECT_EQ(o.exit_code, 1) << c.kind;
        EXPECT_NE(o.report.find(std::string("Reason: ") + c.reason + "\n"), std::string::npos) << c.kind << "\n"
                                                                                               << o.report;
        struct stat st {};
        ASSERT_EQ(stat(LCrashDumpPath(true).c_str(), &st), 0) << c.kind;
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        EXPECT_GT(st.st_size, 8);
        EXPECT_EQ(stat(LCrashReportPath(true).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        if (std::string(c.kind) == "null") {
            // The crashing thread's frames from the fault outwards.
            size_t crashed = o.report.find("(crashed)");
            ASSERT_NE(crashed, std::string::npos) << o.report;
            size_t w = o.report.find("FixtureWrite", crashed), m = o.report.find("FixtureMiddle", crashed),
                   out = o.report.find("FixtureOuter", crashed);
            EXPECT_NE(w, std::string::npos) << o.report;
            EXPECT_LT(w, m);
            EXPECT_LT(m, out);
            EXPECT_NE(out, std::string::npos);
            EXPECT_NE(o.report.find("#0 "), std::string::npos);
        }
        // A service crash is kept for the desktop's next start.
        char16_t exception[260] = {0};
        LRegSettingsGet(u"Errors", u"Exception", u"", exception);
        EXPECT_NE(std::u16string(exception).find(u"-Win100-"), std::u16string::npos) << c.kind;
        // ... and logged in the service's own log, which it still held.
        std::string log = LTestService::LogText();
        EXPECT_NE(log.find("before the crash"), std::string::npos) << c.kind;
        EXPECT_NE(log.find("XI: " + LToUtf8(exception) + "\r\n"), std::string::npos) << c.kind << "\n" << log;
    }
}

TEST(CrashHandler, ReasonsFromSignals) {
    struct Case {
        int sig, code;
        uint64_t fault, sp;
        uint32_t free_mb;
        const char* reason;
    } cases[] = {
        {SIGSEGV, SEGV_MAPERR, 0, 0x7ffd0000, 100000, "AccessViolation"},
        {SIGSEGV, SEGV_MAPERR, 0x7ffcfff8, 0x7ffd0000, 100000, "StackOverflow"},
        {SIGSEGV, SEGV_MAPERR, 0x7ffcfff8, 0x7ffd0000, 150, "StackOverflowLowHeap"},
        {SIGBUS, BUS_ADRERR, 0x1000, 0x7ffd0000, 100000, "AccessViolation"},
        {SIGILL, ILL_ILLOPC, 0x1000, 0x7ffd0000, 100000, "IllegalInstruction"},
        {SIGFPE, FPE_INTDIV, 0x1000, 0x7ffd0000, 100000, "IntDivideByZero"},
        {SIGFPE, FPE_FLTDIV, 0x1000, 0x7ffd0000, 100000, "FltDivideByZero"},
        {SIGABRT, 0, 0, 0x7ffd0000, 100000, ""},
    };
    for (const Case& c : cases) {
        char out[64];
        LCrashReasonFor(c.sig, c.code, c.fault, c.sp, c.free_mb, out);
        EXPECT_STREQ(out, c.reason);
    }
}

}  // namespace
