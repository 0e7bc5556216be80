#include "desktop/app/hang_watchdog.h"

#include <unistd.h>

#include "foundation/exe_task.h"
#include "foundation/log.h"
#include "foundation/time_source.h"
#include "host/crash_handler.h"
#include "host/entry_points.h"
#include "host/hang_report.h"

void LHangReportThread::Run() {
    LHangReportRequest request;
    request.pid = getpid();
    uint32_t result = 2;
    LExeTaskRun(&result, this, &request, sizeof request, u"HangReport", program.empty() ? nullptr : program.c_str());
    if (result != 0 || request.choice != LHangChoiceReport) return;
    // Only this process can dump itself while its window thread is stuck;
    // then it ends as if "Close Porlinex" had been chosen.
    LLog("Desktop: the window thread stopped answering; reporting the hang.", LLogError);
    LCrashReportUpload(true, "AbHangSysCb", LHwnd::Null);
    _exit(1);
}

LHangWatchdog::LHangWatchdog(LHwnd window) : LThread("HangWatch"), window_(window), last_answer_(LTickCount64()) {}

void LHangWatchdog::Answer() { last_answer_ = LTickCount64(); }

void LHangWatchdog::Run() {
    LHangDecision decision;
    while (WaitStop(LHeartbeatMs) == LWaitDone) {
        LPostMessage(window_, LWM_HEARTBEAT, 0, 0);
        switch (decision.Step(LTickCount64(), last_answer_.load())) {
        // A crash being reported stops the window thread too; that report
        // is the one that counts.
        case LHangDecision::Report:
            if (!LCrashInProgress()) report.Start();
            break;
        // The child hears the stop on its channel and closes the dialog.
        case LHangDecision::Recovered: report.Stop(); break;
        case LHangDecision::None: break;
        }
    }
}
