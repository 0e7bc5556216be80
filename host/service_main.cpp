#include "host/service_main.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "foundation/log.h"
#include "foundation/reg_settings.h"
#include "foundation/utf8.h"
#include "host/desktop_request.h"
#include "host/engine_proxy.h"
#include "host/pipe_server.h"
#include "host/service_log.h"
#include "host/startup_lock.h"
#include "platform/service_state.h"
#include "web/engine/engine_notifier.h"
#include "web/http/listener_notify.h"

namespace {

constexpr uint32_t kDelayStepMs = 200;

// The status record: one per process, changed by the main thread and the
// control thread.
std::mutex g_status_lock;
LServiceState g_state = LServiceState::Stopped;

void ReportStatus(LServiceState state) {
    std::lock_guard<std::mutex> lock(g_status_lock);
    g_state = state;
    LServiceStateWrite(state, getpid());
}

// Receives SIGTERM and SIGINT as the stop and shutdown controls, on its own
// thread as the dispatcher's would be. The signals are blocked in every
// thread, so none of them is ever killed by one.
class LControlThread {
public:
    explicit LControlThread(const sigset_t& set) : fd_(signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK)) {
        if (fd_ >= 0 && quit_.Valid()) thread_ = std::thread([this] { Run(); });
    }
    ~LControlThread() {
        quit_.Set();
        if (thread_.joinable()) thread_.join();
        if (fd_ >= 0) close(fd_);
    }
    LControlThread(const LControlThread&) = delete;
    LControlThread& operator=(const LControlThread&) = delete;

private:
    void Run() {
        int fds[2] = {fd_, quit_.Fd()};
        while (LWaitReadable(fds, 2, LSocketNoLimit) == 0) {
            signalfd_siginfo si;
            while (read(fd_, &si, sizeof si) == static_cast<ssize_t>(sizeof si))
                LServiceCtrlHandler(si.ssi_signo == SIGINT ? LServiceControlShutdown : LServiceControlStop);
        }
    }
    int fd_;
    LWakeEvent quit_;
    std::thread thread_;
};

// Sleeps the start delay in 200 ms steps; false when a stop came first.
bool StartDelay(const LWakeEvent& stop, int argc, char** argv) {
    if (LServiceIsManualStart(argc, argv)) return !stop.IsSet();
    uint32_t steps = LServiceDelaySteps(LServiceReadDelay());
    for (uint32_t i = 0; i < steps; ++i)
        if (stop.Wait(kDelayStepMs) == LSocketDone) return false;
    return !stop.IsSet();
}

void ServeUntilStopped(LServicePipeServer& server) {
    int fds[2] = {server.EndedEvent().Fd(), server.WakeEvent().Fd()};
    for (;;) {
        if (server.WakeEvent().IsSet()) server.DispatchAll();
        int which = LWaitReadable(fds, 2, LSocketNoLimit);
        if (which == 0) break;
    }
}

}  // namespace

int64_t LServiceReadDelay() {
    char16_t v[260];
    LRegSettingsGet(u"Service", u"Delay", u"", v);
    if (!v[0]) return 1000;
    return std::strtoll(LToUtf8(v).c_str(), nullptr, 10);
}

uint32_t LServiceDelaySteps(int64_t delay_ms) {
    if (delay_ms <= 0) return 0;
    return static_cast<uint32_t>((delay_ms - 1) / kDelayStepMs + 1);
}

bool LServiceIsManualStart(int argc, char** argv) { return argc == 1 && std::strcmp(argv[0], "-manual") == 0; }

void LServiceCtrlHandler(uint32_t control) {
    std::lock_guard<std::mutex> lock(g_status_lock);
    if ((control == LServiceControlStop || control == LServiceControlShutdown) && g_state != LServiceState::Stopped) {
        g_state = LServiceState::StopPending;
        if (LServicePipeServer* server = LServicePipeServerCurrent()) server->SignalStop();
    }
    LServiceStateWrite(g_state, getpid());
}

int LServiceMain(int argc, char** argv) {
    // Block the controls before any thread exists, so every thread inherits
    // the mask and only the control thread receives them.
    sigset_t controls;
    sigemptyset(&controls);
    sigaddset(&controls, SIGTERM);
    sigaddset(&controls, SIGINT);
    pthread_sigmask(SIG_BLOCK, &controls, nullptr);
    signal(SIGHUP, SIG_IGN);
    signal(SIGPIPE, SIG_IGN);
    LSetServiceFlag(true);

    LServicePipeServer server;
    if (!server.CreatePipeInstance()) {
        // Another service may be running: its state file is left alone.
        LLog("Unable to open the service socket.", LLogError);
        LProcessStartupLock().Release();
        return 1;
    }
    ReportStatus(LServiceState::StartPending);
    LServicePipeServerSetCurrent(&server);
    LServiceRegisterLogBroadcast();
    LDesktopRequestRegisterReplyHook();
    LListenerSetListeningHook(LNotifyDesktopListening);
    // Controls are taken from here on: a stop that came earlier waits in the
    // signal queue and is seen now that the server can be told.
    LControlThread control(controls);
    bool started = false;
    if (server.Start() && StartDelay(server.StopEvent(), argc, argv)) {
        LEngineNotifierSet(&server);
        server.Engine().Start();
        started = true;
        {
            std::lock_guard<std::mutex> lock(g_status_lock);
            // A stop that arrived during the engine start stays pending.
            if (g_state == LServiceState::StartPending) {
                g_state = LServiceState::Running;
                LServiceStateWrite(g_state, getpid());
            }
        }
        LProcessStartupLock().Release();
        ServeUntilStopped(server);
    }
    LProcessStartupLock().Release();

    server.Stop();
    server.StopAndDeleteAll();
    LEngineNotifierSet(nullptr);
    if (started) server.Engine().Stop();
    LListenerSetListeningHook(nullptr);
    LServiceUnregisterLogBroadcast();
    LServicePipeServerSetCurrent(nullptr);
    ReportStatus(LServiceState::Stopped);
    return 0;
}
