#include "host/hang_report.h"

#include <signal.h>
#include <unistd.h>

#include "foundation/exe_task.h"
#include "foundation/lstring.h"
#include "foundation/reg_settings.h"
#include "host/crash_watch.h"
#include "toolkit/dialog_template.h"

namespace {

constexpr uintptr_t kKeepAliveTimer = 1;
constexpr uint32_t kKeepAliveMs = 100;
constexpr int kText = 1001;
constexpr int kReport = 1002;
constexpr int kClose = 1004;

bool ChannelStopped(void* channel) { return static_cast<LExeTaskChannel*>(channel)->IsStopRequested(); }

// The child's side: the dialog over the hung process, its answer sent back.
class LHangReportTask : public LExeTask {
public:
    LHangReportTask() : LExeTask(u"HangReport") {}
    void Run(uint32_t* result, LExeTaskChannel& ch) override {
        LHangReportRequest request;
        // Only the process that started this copy may be ended by it.
        if (!ch.Read(&request, sizeof request) || request.pid <= 1 || request.pid != getppid()) {
            *result = 2;
            ch.SendResult(2, &request, sizeof request);
            return;
        }
        if (!LDesktopOpenDisplay()) {
            *result = 2;
            ch.SendResult(2, &request, sizeof request);
            return;
        }
        LHangReportDialog dialog(request.pid, ChannelStopped, &ch);
        request.choice = dialog.Run(LHwnd::Null);
        *result = 0;
        ch.SendResult(0, &request, sizeof request);
    }
} g_hang_report_task;

}  // namespace

LHangDecision::Action LHangDecision::Step(uint64_t now_ms, uint64_t last_answer_ms) {
    bool silent = now_ms > last_answer_ms && now_ms - last_answer_ms >= LHangLimitMs;
    if (silent && !reporting_) {
        reporting_ = true;
        return Report;
    }
    if (!silent && reporting_) {
        reporting_ = false;
        return Recovered;
    }
    return None;
}

uint32_t LHangReportDialog::Run(LHwnd parent) {
    LDialogTemplate t;
    constexpr uint32_t kStyle = 0x90C800C4;  // popup, caption, system menu, centred, font
    LDialogCreate create;
    if (!LBuildDialogTemplate(t, 250, 160, u"Notify Development Team", kStyle, 0) ||
        !LReadDialogTemplate(t.data(), t.size(), &create))
        return LHangChoiceNone;
    LDialogBox(create, parent, LDialogProc, reinterpret_cast<LLParam>(this));
    return choice_;
}

LResult LHangReportDialog::HandleMessage(uint32_t msg, LWParam w, LLParam l) {
    switch (msg) {
    case LWM_INITDIALOG: {
        CreateChild(kText, u"Static",
                    u"We're sorry for the interruption in your work. Help us solve the issue by submitting a report.",
                    LWS_VISIBLE | LSS_NOPREFIX, 0);
        CreateCommandLink(kReport, u"Report bug",
                          u"We'd like to make sure this never happens again. Tell us what you were doing when the "
                          u"program became unresponsive.");
        CreateCommandLink(kClose, u"Close Porlinex", u"I don't think that I have information that can help the developers.");
        // Margins of 7, the text 20 high, the links share the rest with gaps of 4.
        constexpr int kLink = (160 - 7 - 20 - 4 - 4 - 7) / 2;
        MoveItemDlgUnits(kText, {7, 7, 236, 20});
        MoveItemDlgUnits(kReport, {7, 31, 236, kLink});
        MoveItemDlgUnits(kClose, {7, 35 + kLink, 236, kLink});
        CenterOnDesktop();
        LSetTimer(hwnd, kKeepAliveTimer, 0, nullptr);
        break;
    }
    case LWM_TIMER:
        if (w != kKeepAliveTimer) break;
        if (recovered_ && recovered_(context_)) {
            End(LIDCANCEL);
            return 0;
        }
        LSetTimer(hwnd, kKeepAliveTimer, kKeepAliveMs, nullptr);
        return 0;
    case LWM_DESTROY: LKillTimer(hwnd, kKeepAliveTimer); break;
    default: break;
    }
    return LDialog::HandleMessage(msg, w, l);
}

void LHangReportDialog::OnCommand(int id, int) {
    if (id != kReport && id != kClose) return;
    // The hung process ends either way: its next start finds no marker to
    // ask about (this hang is reported here) and looks for a newer version.
    LCrashWatchStop();
    LRegUserSettingsSet(u"Settings", u"VersionCheckAfterCrash", u"1");
    if (id == kReport) {
        choice_ = LHangChoiceReport;
        End(LIDOK);
    } else if (id == kClose) {
        // The hung process cannot end itself: it is ended from here.
        choice_ = LHangChoiceClose;
        if (pid_ > 1 && pid_ == getppid()) kill(pid_, SIGKILL);
        End(LIDOK);
    }
}
