#include "host/crash_handler.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/sysinfo.h>
#include <sys/wait.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <exception>

#include "foundation/exe_task.h"
#include "foundation/log.h"
#include "foundation/thread_table.h"
#include "host/crash_id.h"
#include "host/crash_record.h"
#include "host/crash_watch.h"
#include "host/entry_points.h"
#include "platform/thread.h"

namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
constexpr size_t kAltStackSize = 256 * 1024;

std::atomic<bool> g_in_progress{false};
// Prepared at start: nothing is allocated or looked up once a crash comes.
char g_program[4096];
char* g_argv[4];
char g_exe[] = "-exe";
char g_task[] = "DebugCrashReport";
LCrashRecord g_record;

void Append(char* out, size_t size, const char* s) {
    size_t n = std::strlen(out);
    while (*s && n + 1 < size) out[n++] = *s++;
    out[n] = 0;
}

void FillRegisters(const ucontext_t* uc) {
#if defined(__x86_64__)
    for (int i = 0; i < NGREG && i < LCrashRegisterCount; ++i)
        g_record.registers[i] = static_cast<uint64_t>(uc->uc_mcontext.gregs[i]);
    g_record.pc = static_cast<uint64_t>(uc->uc_mcontext.gregs[REG_RIP]);
    g_record.sp = static_cast<uint64_t>(uc->uc_mcontext.gregs[REG_RSP]);
#elif defined(__aarch64__)
    for (int i = 0; i < 31 && i < LCrashRegisterCount; ++i) g_record.registers[i] = uc->uc_mcontext.regs[i];
    g_record.pc = uc->uc_mcontext.pc;
    g_record.sp = uc->uc_mcontext.sp;
#else
    (void)uc;
#endif
}

// Starts the reporter with the record on its standard input and waits for
// it. Its output goes nowhere: nobody here reads it.
void RunReporter() {
    int in[2];
    if (pipe2(in, O_CLOEXEC) != 0) return;
    pid_t child = fork();
    if (child == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(in[0], 0);
        if (null >= 0) dup2(null, 1);
        execv(g_program, g_argv);
        _exit(127);
    }
    close(in[0]);
    if (child < 0) {
        close(in[1]);
        return;
    }
    // Yama lets only ancestors trace: the reporter is our child, so allow it.
    prctl(PR_SET_PTRACER, child, 0, 0, 0);
    const char* p = reinterpret_cast<const char*>(&g_record);
    size_t left = sizeof g_record;
    while (left > 0) {
        ssize_t w = write(in[1], p, left);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) break;
        p += w;
        left -= static_cast<size_t>(w);
    }
    // The write end stays open until the reporter ends: its end of input
    // would tell it that its parent is gone.
    int status;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    close(in[1]);
}

void OnFatalSignal(int sig, siginfo_t* info, void* context) {
    // A second fault, or one in another thread while the first is handled,
    // takes the default action (SA_RESETHAND already restored it for this
    // signal).
    if (g_in_progress.exchange(true)) {
        signal(sig, SIG_DFL);
        raise(sig);
        return;
    }
    LCrashWatchStopSignalSafe();
    g_record.signal = sig;
    g_record.code = info ? info->si_code : 0;
    g_record.fault_address = info ? reinterpret_cast<uint64_t>(info->si_addr) : 0;
    g_record.pid = getpid();
    g_record.tid = LPlatformThreadId();
    g_record.is_service = LGetServiceFlag() ? 1 : 0;
    if (context) FillRegisters(static_cast<const ucontext_t*>(context));
    struct sysinfo si;
    if (sysinfo(&si) == 0)
        g_record.available_mb = static_cast<uint32_t>((uint64_t(si.freeram) + si.freeswap) * si.mem_unit >> 20);
    // A 64-bit address space is never short of room.
    g_record.largest_free_mb = 0x7fffffff;
    LCrashReasonFor(sig, g_record.code, g_record.fault_address, g_record.sp, g_record.largest_free_mb,
                    g_record.reason);
    LCrashGetThreadState(g_record.thread_state);
    RunReporter();
    _exit(1);
}

// Each thread needs its own signal stack: a stack overflow leaves no room
// on the thread's stack for the handler.
struct AltStack {
    void* base = nullptr;
    AltStack() {
        base = mmap(nullptr, kAltStackSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (base == MAP_FAILED) {
            base = nullptr;
            return;
        }
        stack_t ss{};
        ss.ss_sp = base;
        ss.ss_size = kAltStackSize;
        sigaltstack(&ss, nullptr);
    }
    ~AltStack() {
        if (!base) return;
        stack_t off{};
        off.ss_flags = SS_DISABLE;
        sigaltstack(&off, nullptr);
        munmap(base, kAltStackSize);
    }
};

void GiveThreadAltStack() { thread_local AltStack stack; }

void OnChildSignal(int sig) { LExeTaskExceptionFilter(sig); }

[[noreturn]] void OnTerminate() {
    LPureVirtualCallHandler();
    _exit(1);
}

}  // namespace

void LCrashReasonFor(int signal, int code, uint64_t fault_address, uint64_t sp, uint32_t largest_free_mb,
                     char out[64]) {
    out[0] = 0;
    uint64_t distance = fault_address > sp ? fault_address - sp : sp - fault_address;
    switch (signal) {
    case SIGSEGV:
    case SIGBUS:
        // A fault next to the stack pointer is the guard page below it.
        Append(out, 64, sp && distance < 65536 ? "StackOverflow" : "AccessViolation");
        break;
    case SIGILL: Append(out, 64, "IllegalInstruction"); break;
    case SIGFPE: Append(out, 64, code == FPE_FLTDIV ? "FltDivideByZero" : "IntDivideByZero"); break;
    default: return;  // an abort has no reason of its own
    }
    if (largest_free_mb < 200) Append(out, 64, "LowHeap");
}

bool LCrashInProgress() { return g_in_progress.load(); }

const char* LCrashReporterProgram() { return g_program[0] ? g_program : nullptr; }

void LCrashHandlerInstall(const char* reporter) {
    if (reporter) {
        std::strncpy(g_program, reporter, sizeof g_program - 1);
    } else {
        ssize_t n = readlink("/proc/self/exe", g_program, sizeof g_program - 1);
        if (n <= 0) return;
        g_program[n] = 0;
    }
    g_argv[0] = g_program;
    g_argv[1] = g_exe;
    g_argv[2] = g_task;
    g_argv[3] = nullptr;
    GiveThreadAltStack();
    LThreadSetRegisterHook(GiveThreadAltStack);
    struct sigaction sa {};
    sa.sa_sigaction = OnFatalSignal;
    sa.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESETHAND;
    sigemptyset(&sa.sa_mask);
    for (int sig : kSignals) sigaction(sig, &sa, nullptr);
    std::set_terminate(OnTerminate);
}

void LCrashHandlerInstallForChild() {
    for (int sig : kSignals) signal(sig, OnChildSignal);
}

void LPureVirtualCallHandler() {
    if (g_in_progress.exchange(true)) _exit(1);
    LCrashWatchStop();
    LCrashAskAbnormalTermination(LHwnd::Null, true, "PureVirtualCall");
    _exit(1);
}

// The runtime calls this for a call of a pure virtual function.
extern "C" void __cxa_pure_virtual() {
    LPureVirtualCallHandler();
    _exit(1);
}
