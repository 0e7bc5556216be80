#include "setup/push_notification_thread.h"

#include <vector>

#include "foundation/child_process.h"
#include "foundation/log.h"
#include "foundation/lstring.h"
#include "foundation/system_shell.h"
#include "foundation/time_source.h"
#include "setup/installer_download.h"
#include "setup/maker_programs.h"
#include "toolkit/progress_dialog.h"

namespace {

std::atomic<uint32_t> g_first_wait_ms{300000};
std::atomic<uint32_t> g_pass_wait_ms{60000};
// How long the thread waits for the window thread's answer; a busy window
// simply counts as "not now".
constexpr uint32_t kAnswerWaitMs = 10000;

}  // namespace

void LPushNotificationThread::SetWaitsForTests(uint32_t first_ms, uint32_t pass_ms) {
    g_first_wait_ms = first_ms;
    g_pass_wait_ms = pass_ms;
}

LPushNotificationThread::LPushNotificationThread(LHwnd main_window, LPushNotificationPanel* banner)
    : LThread("LPNC"), window_(main_window), banner_(banner) {}

LPushNotificationThread::~LPushNotificationThread() { Stop(); }

void LPushNotificationThread::Detach() {
    window_ = LHwnd::Null;
    SignalStop();
}

void LPushNotificationThread::AnswerShowQuery(bool can_show) {
    can_show_ = can_show;
    answered_.Set();
}

bool LPushNotificationThread::MayShowNow(LHwnd window) {
    answered_.Reset();
    can_show_ = false;
    if (!LPostMessage(window, LWM_PUSHNOTIFICATIONASK, 0, 0)) return false;
    return WaitHandle(answered_.Handle(), kAnswerWaitMs) == LWaitDone && can_show_;
}

void LPushNotificationThread::Run() {
    if (WaitStop(g_first_wait_ms) == LWaitStopped) return;
    std::string path;
    if (!LDownloadPushNotifications(*this, path)) return;
    std::vector<LPushNotificationData> notices = LReadPushNotifications(path);
    while (!IsStopRequested()) {
        const LPushNotificationData* due = nullptr;
        for (const LPushNotificationData& n : notices) {
            if (n.IsDue(LNow())) {
                due = &n;
                break;
            }
        }
        if (due) {
            LHwnd window = window_;
            if (window == LHwnd::Null) return;
            if (MayShowNow(window)) {
                Post(*due);
                return;
            }
        }
        if (WaitStop(g_pass_wait_ms) == LWaitStopped) return;
    }
}

void LPushNotificationThread::Post(const LPushNotificationData& notice) {
    current = notice;
    LPostMessage(window_, LWM_COMMAND, LCmdPushShow, 0);
}

bool LPushNotificationThread::OnCommand(int id) {
    switch (id) {
    case LCmdPushShow: {
        if (window_ == LHwnd::Null || !banner_ || banner_->hwnd == LHwnd::Null) return true;
        const LPushNotificationButton& b1 = current.button1;
        const LPushNotificationButton& b2 = current.button2;
        if (b1.action == LPushActionNone) {
            banner_->Show(current.body.c_str(), nullptr, -1, nullptr, -1);
        } else {
            bool second = b2.action != LPushActionNone;
            banner_->Show(current.body.c_str(), b1.label.c_str(), LCmdPushButton1, second ? b2.label.c_str() : nullptr,
                          second ? LCmdPushButton2 : -1);
        }
        return true;
    }
    case LCmdPushButton1:
    case LCmdPushButton2:
        if (!current.IsValid()) return true;
        RunButton(id == LCmdPushButton1 ? current.button1 : current.button2);
        current.Clear();
        return true;
    case LCmdPushClose:
        current.MarkViewed();
        current.Clear();
        return true;
    default: return false;
    }
}

void LPushNotificationThread::RunButton(const LPushNotificationButton& button) {
    switch (button.action) {
    case LPushActionWebpage:
        if (!LOpenWebAddress(button.data)) LLog("Push notification: an address that is not a web page was not opened.", 1);
        current.MarkViewed();
        return;
    case LPushActionInstall:
        if (DownloadAndInstall(button.comp, button.key, button.dalmor)) current.MarkViewed();
        return;
    case LPushActionLater: current.RemindLater(); return;
    default: return;
    }
}

bool LPushNotificationThread::DownloadAndInstall(const std::u16string& comp, const std::u16string& key, bool dalmor) {
    LHwnd window = window_;
    if (window == LHwnd::Null) return false;
    std::string local = LToUtf8(comp.c_str()), program = LToUtf8(key.c_str());
    // Both names end up in addresses and paths: only plain names pass.
    if (!LIsPlainProgramName(local) || !LIsPlainProgramName(program)) return false;
    LProgressDialog progress(u"Downloading Installer");
    progress.Show(window);
    int r = LDownloadAndRunInstaller(*progress.Progress(), local, program, !dalmor, "pn", nullptr, true);
    bool done = false;
    if (r == 2) {
        progress.Progress()->ShowError(
            u"The installer could not be downloaded. Please check your internet connection and firewall settings "
            u"and try again later.");
    } else if (r == 0) {
        std::string path;
        if (LFindMakerProgram(true, program, path)) LRunProgram({path}, 1);
        done = true;
    }
    progress.Close(window);
    return done;
}
