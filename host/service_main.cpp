#include "host/service_main.h"

#include "host/error_email.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "foundation/data_folder.h"
#include "foundation/log.h"
#include "foundation/reg_settings.h"
#include "foundation/thread.h"
#include "foundation/utf8.h"
#include "host/desktop_request.h"
#include "host/engine_proxy.h"
#include "host/pipe_server.h"
#include "host/service_log.h"
#include "host/startup_lock.h"
#include "platform/root.h"
#include "platform/service_state.h"
#include "platform/thread.h"
#include "platform/wait.h"
#include "web/http/listener_notify.h"
#include "web/server/engine_notifier.h"

namespace {

constexpr uint32_t kDelayStepMs = 200;

// The status record: one per process, changed by the main thread and the
// control thread.
std::mutex g_status_lock;
LServiceState g_state = LServiceState::Stopped;

void ReportStatus(LServiceState state) {
    std::lock_guard<std::mutex> lock(g_status_lock);
    g_state = state;
    LServiceStateWrite(state, LPlatformProcessId());
}

// Receives SIGTERM and SIGINT as the stop and shutdown controls, on its own
// thread as the dispatcher's would be. The signals are blocked in every
// thread, so none of them is ever ended by one.
class LServiceControlThread : public LThread {
public:
    explicit LServiceControlThread(LServiceControlSignals& signals)
        : LThread("LServiceControlThread"), signals_(signals) {}
    ~LServiceControlThread() override { Stop(); }
    void Run() override {
        while (WaitHandle(signals_.Handle(), LInfinite) == LWaitDone) {
            while (uint32_t control = signals_.Next()) LServiceCtrlHandler(control);
        }
    }

private:
    LServiceControlSignals& signals_;
};

// Sleeps the start delay in 200 ms steps; false when a stop came first.
bool StartDelay(LServicePipeServer& server, int argc, char** argv) {
    if (LServiceIsManualStart(argc, argv)) return !server.IsStopRequested();
    uint32_t steps = LServiceDelaySteps(LServiceReadDelay());
    for (uint32_t i = 0; i < steps; ++i)
        if (server.WaitStop(kDelayStepMs) == LWaitStopped) return false;
    return !server.IsStopRequested();
}

void ServeUntilStopped(LServicePipeServer& server) {
    int fds[2] = {server.EndedHandle(), server.WakeHandle()};
    for (;;) {
        if (server.WakeIsSet()) server.DispatchAll();
        int which = LPlatformWaitAny(fds, 2, LInfinite);
        if (which != 1) break;
    }
}

// The life lock refuses for two reasons: another service holds it, or its
// folder or file cannot be made (an ordinary user without PORLINEX_ROOT
// cannot make /run/porlinex). Only the first is "already running".
void LogWhyNotTaken() {
    const int err = errno;
    std::string folder = LPlatformKnownFolder(LKnownFolder::RunFolder);
    if (!LPlatformCreateFolderTree(folder, LPlatformSharedFolderMode)) {
        LLogErrorF("The service cannot make its run folder %s: %s.", folder.c_str(), std::strerror(errno));
    } else if (LServiceLifeLockHolder() > 0) {
        LLog("The service is already running.", LLogError);
    } else {
        LLogErrorF("The service cannot open its lock file in %s: %s.", folder.c_str(), std::strerror(err));
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
    LServiceStateWrite(g_state, LPlatformProcessId());
}

int LServiceMain(int argc, char** argv) {
    // Before any thread of the service exists, so that only the control
    // thread ever receives the controls.
    LServiceControlSignals controls;
    LSetServiceFlag(true);
    LLogSetStandardErrorCopy(true);
    LErrorEmailStart();
    // Room for the web server's connections (it takes at most 512 on each
    // port) beside the mail workers' files and sockets.
    LServiceSetProcessLimits(8192);
    // Before anything is made in it: what others could reach is closed first.
    LTightenDataFolder();

    // Held until the process ends: starters and stoppers believe the state
    // file's pid only while its process holds this.
    LServiceLifeLock life;
    if (!life.Take()) {
        LogWhyNotTaken();
        LProcessStartupLock().Release();
        return 1;
    }
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
    // Controls are taken once the accept thread runs (its start clears its
    // stop event): a stop that came earlier waits in the signal queue.
    server.Start();
    LServiceControlThread control(controls);
    if (controls.Handle() >= 0) control.Start();
    bool started = false;
    if (server.IsRunning() && StartDelay(server, argc, argv)) {
        LEngineNotifierSet(&server);
        server.Engine().Start();
        started = true;
        {
            std::lock_guard<std::mutex> lock(g_status_lock);
            // A stop that arrived during the engine start stays pending.
            if (g_state == LServiceState::StartPending) {
                g_state = LServiceState::Running;
                LServiceStateWrite(g_state, LPlatformProcessId());
            }
        }
        LProcessStartupLock().Release();
        ServeUntilStopped(server);
    }
    LProcessStartupLock().Release();

    server.StopAccepting();
    server.StopAndDeleteAll();
    LEngineNotifierSet(nullptr);
    if (started) server.Engine().Stop();
    LListenerSetListeningHook(nullptr);
    LServiceUnregisterLogBroadcast();
    LServicePipeServerSetCurrent(nullptr);
    ReportStatus(LServiceState::Stopped);
    LErrorEmailStop();
    return 0;
}
