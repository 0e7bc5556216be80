#include "desktop/app/main_window.h"

#include <glib-unix.h>

#include <csignal>

#include "desktop/app/about_box.h"
#include "desktop/app/app_entry_points.h"
#include "desktop/app/main_placement.h"
#include "foundation/log.h"
#include "foundation/lstring.h"
#include "foundation/reg_settings.h"
#include "foundation/system_cmdline.h"
#include "host/crash_id.h"
#include "host/crash_report.h"
#include "host/crash_watch.h"
#include "host/desktop_requests.h"
#include "host/service_control.h"
#include "host/startup_lock.h"
#include "platform/service_state.h"
#include "setup/closing_prompts.h"
#include "setup/command_counts.h"
#include "setup/update_dialogs.h"
#include "setup/usage_counters.h"
#include "toolkit/dialog_template.h"
#include "toolkit/message_box.h"
#include "web/server/web_server.h"

namespace {

constexpr uintptr_t kThanksTimer = 996;
constexpr uint32_t kThanksTimerMs = 57600000;  // 16 hours
constexpr uintptr_t kHideTimer = 997;
constexpr uint32_t LWM_ENDSESSION_ = 0x0016;

gboolean OnEndSignal(gpointer window) {
    // The session is ending (or the user asked the process to end): the
    // placement is saved and the loop ends; the service keeps running.
    LPostMessage(static_cast<LHwnd>(GPOINTER_TO_UINT(window)), LWM_SESSIONEND, 0, 0);
    return G_SOURCE_CONTINUE;
}

int ReadInt(const char16_t* section, const char16_t* name, bool* present) {
    char16_t buf[260];
    *present = LRegUserSettingsGet(section, name, u"", buf) && buf[0];
    return *present ? atoi(LToUtf8(buf).c_str()) : 0;
}

}  // namespace

bool LSettingIsUnset(const char16_t* section, const char16_t* name) {
    char16_t buf[260];
    LRegSettingsGet(section, name, u"", buf);
    return buf[0] == 0 || (buf[0] == u'0' && buf[1] == 0);
}

LAppMainWindow::LAppMainWindow() {
    LLoadCommandCounts();
    launcher.on_thanks = [] { LOpenThanksPage(); };
    launcher.on_started = [this](int fd) { LWatchHandle(fd, hwnd, LWM_BROWSERENDED); };
}

LAppMainWindow::~LAppMainWindow() {
    if (sigterm_source_) g_source_remove(sigterm_source_);
    if (sigint_source_) g_source_remove(sigint_source_);
}

void LAppMainWindow::Run(bool keep_visible) {
    logon_start = LCmdLineHasSwitch(u"-logon");
    // Permission test: the machine settings must be writable by this user.
    LRegSettingsSet(u"Settings", u"TestAdmin", u"1");
    char16_t test[260];
    LRegSettingsGet(u"Settings", u"TestAdmin", u"", test);
    LRegSettingsDelete(u"Settings", u"TestAdmin");
    if (test[0] != u'1' || test[1] != 0) {
        LStartupLockReleaseAfterStart();
        if (!logon_start)
            LShowMessageOneButton(LHwnd::Null,
                                  u"The current user does not have permission to use Porlinex.\r\nPlease speak to "
                                  u"the Porlinex administrator if you require access.",
                                  u"Access Denied", u"Close", LTD_ERROR_ICON, 0x10);
        return;
    }
    if (!instance_.Listen()) {
        LLog("Desktop: another desktop of this user already runs.", 1);
        return;
    }
    LCrashSetMainThread();
    LCrashSetMainState(LMainStateGuiInit);
    if (LCreateDialogFromResource(this) == LHwnd::Null) {
        instance_.Close();
        return;
    }
    LWatchHandle(instance_.Fd(), hwnd, LWM_INSTANCEKNOCK);
    banner.Create(this, this);
    PlaceAtStart();
    if (LSettingIsUnset(u"Settings", u"Thanks")) LSetTimer(hwnd, kThanksTimer, kThanksTimerMs, nullptr);
    LStartupLockReleaseAfterStart();
    sigterm_source_ = g_unix_signal_add(SIGTERM, OnEndSignal, GUINT_TO_POINTER(static_cast<uint32_t>(hwnd)));
    sigint_source_ = g_unix_signal_add(SIGINT, OnEndSignal, GUINT_TO_POINTER(static_cast<uint32_t>(hwnd)));
    // A crash of the service is asked about before the interface opens:
    // the question's loop runs the hiding that creation posted, and the
    // opening waits for the answer.
    asking_crash_ = true;
    LCheckServiceCrash(hwnd);
    asking_crash_ = false;
    if (!keep_visible) LSendMessage(hwnd, LWM_POSTAFTERINIT, 0, 0);
    else LShowWindow(hwnd, LSW_SHOW);
    LCrashWatchStart(hwnd);
    watchdog_ = std::make_unique<LHangWatchdog>(hwnd);
    watchdog_->Start();
    LCrashSetMainState(LMainStateMessageLoop);

    while (hwnd != LHwnd::Null && LIsWindow(hwnd)) {
        LMsg m;
        if (LGetMessage(&m) != 1) {
            if (hwnd != LHwnd::Null) LDestroyWindow(hwnd);
            break;
        }
        LHwnd active = LGetActiveWindow();
        // A hang or crash report names the message being handled.
        LCrashSetCurrentMessage(m.message);
        if (active == LHwnd::Null || !LIsDialogMessage(active, m)) {
            LTranslateMessage(m);
            LDispatchMessage(m);
        }
        LCrashSetCurrentMessage(0);
        FlushDeferredDeletes();
    }
    LMsg rest;
    while (LPeekMessage(&rest, true)) {
    }
    LUnwatchHandle(instance_.Fd());
    instance_.Close();
    watchdog_.reset();
    // The clean exit: the next start finds no marker.
    LCrashWatchStop();
}

void LAppMainWindow::PlaceAtStart() {
    LMainPlacementInput in;
    LRect min = LMapDialogRect(hwnd, {0, 0, 160, 40});
    LRect def = LMapDialogRect(hwnd, {0, 0, 320, 160});
    in.minimum = {min.right, min.bottom};
    in.fallback = {def.right, def.bottom};
    bool has_w;
    in.width = ReadInt(u"MainWindow", u"Width", &has_w);
    in.height = ReadInt(u"MainWindow", u"Height", &in.has_height);
    in.x = ReadInt(u"MainWindow", u"X", &in.has_x);
    in.y = ReadInt(u"MainWindow", u"Y", &in.has_y);
    in.desktop = LGetDesktopRect();
    LRect r = LComputeMainPlacement(in);
    LMoveWindow(hwnd, r.left, r.top, r.Width(), r.Height(), true);
    if (logon_start) LShowWindow(hwnd, LSW_HIDE);
}

void LAppMainWindow::SavePlacement(const char16_t* section) {
    if (hwnd != LHwnd::Null) LWindow::SavePlacement(section);
}

void LAppMainWindow::OnSize(int width, int height) {
    if (banner.hwnd == LHwnd::Null) return;
    int h = DialogUnitsToPixelsY(19);
    if (banner.shown) LMoveWindow(banner.hwnd, 0, height - h, width, h, true);
}

void LAppMainWindow::GetMinSize(int* width, int* height) {
    *width = DialogUnitsToPixelsX(160);
    *height = DialogUnitsToPixelsY(40 + (banner.shown ? 19 : 0));
}

bool LAppMainWindow::Query(uint32_t code) { return proxy_ && proxy_->Query(code) == 1; }

void LAppMainWindow::HideToBackground() {
    LShowWindow(hwnd, LSW_HIDE);
    hidden_to_background = true;
    if (proxy_ && !engine_running && !Query(LQueryKeepInterfaceClosed)) engine_running = Query(LQueryEngineRunning);
    AutoOpenWebApp();
}

void LAppMainWindow::AutoOpenWebApp() {
    if (asking_crash_ || !hidden_to_background || !engine_running || opened_automatically) return;
    opened_automatically = true;
    if (!logon_start) OpenWebApp();
}

void LAppMainWindow::OpenWebAppOnRequest() {
    // The service may have stopped, or come up, since the desktop linked
    // to it: its answer now decides, and a user who asked is told why
    // nothing opens.
    if (!proxy_) {
        auto proxy = std::make_unique<LServiceEngineProxy>(this);
        if (proxy->Connect()) proxy_ = std::move(proxy);
    }
    // A starting service takes no questions until its engine runs: asking
    // would only wait, and its silence is no "not running".
    if (ServiceStarting()) return;
    if (Query(LQueryKeepInterfaceClosed)) return;
    uint32_t running = proxy_ ? proxy_->Query(LQueryEngineRunning) : LProxyNotConnected;
    if (running == 1) {
        engine_running = true;
        OpenWebApp();
        return;
    }
    if (running == LProxyNoAnswer && ServiceStarting()) return;
    LShowMessageOneButton(LHwnd::Null,
                          u"Porlinex cannot open because its background service is not running.\r\n\r\nStart the "
                          u"service with \"porlinex -startservice\" (or \"sudo systemctl start "
                          u"PorlinexService\"), then choose Open Porlinex again.",
                          u"Porlinex Service Not Running", u"OK", LTD_WARNING_ICON, 0x30);
}

bool LAppMainWindow::ServiceStarting() {
    if (LServiceStateQuery().state != LServiceState::StartPending) return false;
    // Opened by itself when the engine-started event comes.
    open_when_started_ = true;
    LShowMessageOneButton(LHwnd::Null,
                          u"Porlinex is still starting; try again in a moment.\r\n\r\nThe interface opens by "
                          u"itself once the background service is running.",
                          u"Porlinex Is Starting", u"OK", LTD_INFORMATION_ICON, 0x40);
    return true;
}

void LAppMainWindow::OpenWebApp() { launcher.Open(LWebServerGetPort(), LSettingIsUnset(u"Settings", u"Thanks")); }

bool LAppMainWindow::ConfirmStop() {
    static const LMessageButton kButtons[] = {{LIDYES, u"Background"}, {LIDNO, u"Stop"}, {LIDCANCEL, u"Cancel"}};
    int r = LShowMessageBox(LHwnd::Null, u"Do you want Porlinex to continue to operate in the background?",
                            u"Confirm Stop", kButtons, 3, LTD_INFORMATION_ICON, 0x23, LIDYES);
    if (r == LIDNO) return true;
    if (r == LIDYES) LRunClosingPrompts(this);
    return false;
}

bool LAppMainWindow::OnCancel() {
    if (ConfirmStop()) LPostMessage(hwnd, LWM_INSTANCEEXIT, 0, 1);
    return false;
}

std::vector<LMenuItem> LAppMainWindow::TrayMenu() {
    // The hidden window's menu is the tray's: its About box and version
    // check are reached from here.
    return {{LCmdOpen, u"&Open Porlinex", true, true},
            {LCmdCheckForUpdates, u"&Check for Updates...", false, true},
            {LCmdAbout, u"&About Porlinex", false, true},
            {LCmdExit, u"Exit Porlinex", false, true}};
}

void LAppMainWindow::BuildTrayMenu() {
    LSetForegroundWindow(hwnd);
    LPoint at;
    bool asked_at = tray.TakeMenuPoint(&at);
    LShowPopupMenu(hwnd, TrayMenu(), asked_at ? &at : nullptr);
}

void LAppMainWindow::OnTrayCommand(int id, int) {
    LCrashSetLastCommand(static_cast<uint32_t>(id));
    LCountCommandUse(static_cast<uint32_t>(id));
    LCountActiveTime();
    switch (id) {
    case LCmdOpen: OpenWebAppOnRequest(); return;
    case LCmdAbout: LShowAboutBox(hwnd); return;
    case LCmdCheckForUpdates: LCheckForUpdates(hwnd); return;
    case LCmdExit:
    case LCmdTurnOff:
        if (ConfirmStop()) {
            banner.Hide();
            LPostMessage(hwnd, LWM_INSTANCEEXIT, 0, 1);
        }
        return;
    default:
        if (push_ && push_->OnCommand(id)) return;
        LRunMainWindowCommand(this, id);
        return;
    }
}

void LAppMainWindow::AddTrayIcon() { tray.Add(hwnd, u"Porlinex", TrayMenu()); }

void LAppMainWindow::OnTray(uint32_t mouse_message) {
    // An open dialog of the program comes first: it is brought forward
    // instead of acting on the click.
    LHwnd top = LGetActiveWindow();
    if (top != LHwnd::Null && top != hwnd && LIsWindowVisible(top) && LGetOwner(top) == hwnd) {
        LSetForegroundWindow(top);
        return;
    }
    if (mouse_message == LWM_CONTEXTMENU || mouse_message == 0x0205) BuildTrayMenu();
    else if (mouse_message == LWM_LBUTTONUP) OpenWebAppOnRequest();
}

LResult LAppMainWindow::HandleMessage(uint32_t msg, LWParam w, LLParam l) {
    switch (msg) {
    case LWM_INITDIALOG: {
        LSetWindowText(hwnd, u"Porlinex by Vek Software");
        AddTrayIcon();
        // The maker's notices are for users who have run the program before.
        if (LReadCounter(u"Settings", u"Runs") > 1) {
            push_ = std::make_unique<LPushNotificationThread>(hwnd, &banner);
            push_->Start(LThreadPriorityLowest);
        }
        break;
    }
    case LWM_DESTROY:
        LCrashSetMainState(LMainStateGuiDestroy);
        tray.Remove();
        if (push_) push_->Detach();
        SavePlacement(u"MainWindow");
        LPostQuitMessage(0);
        break;
    case LWM_CLOSE:
        if (!session_ending) LRunClosingPrompts(this);
        return 1;
    case LWM_ENDSESSION_:
        if (!w) return 0;
        [[fallthrough]];
    case LWM_SESSIONEND:
        session_ending = true;
        LDestroyWindow(hwnd);
        return 1;
    case LWM_TIMER:
        if (w == kThanksTimer) {
            LKillTimer(hwnd, kThanksTimer);
            LOpenThanksPage();
            return 0;
        }
        if (w == kHideTimer) {
            if (!LIsIconic(hwnd)) {
                LKillTimer(hwnd, kHideTimer);
                LSendMessage(hwnd, LWM_POSTAFTERINIT, 0, 0);
            }
            return 0;
        }
        break;
    case LWM_INSTANCEEXIT:
        if (l != 1) session_ending = true;
        LServiceStop();
        LDestroyWindow(hwnd);
        return 1;
    case LWM_TRAY:
        if (!in_init) OnTray(static_cast<uint32_t>(l));
        return 1;
    case LWM_OPENREQUEST: OpenWebAppOnRequest(); return 1;
    case LWM_PUSHNOTIFICATIONASK:
        if (push_) push_->AnswerShowQuery(!banner.shown && LIsWindowVisible(hwnd) && LGetActiveWindow() == hwnd);
        return 1;
    case LWM_HEARTBEAT:
        if (watchdog_) watchdog_->Answer();
        return 1;
    case LWM_MAINWINDOWSIZE: {
        if (!LIsIconic(hwnd)) {
            LRect r = LGetClientRect(hwnd);
            OnSize(r.Width(), r.Height());
        }
        return 1;
    }
    case LWM_SERVICEEVENT: {
        uint32_t code = static_cast<uint32_t>(w);
        // Requests 1 to 8 are answered here; other codes are events.
        LCrashSetLastCommand(code);
        if (code < 1 || code > 8 || !LDesktopRequestHandle(code, static_cast<uint32_t>(l))) OnServiceEventCode(code);
        return 1;
    }
    case LWM_INSTANCEKNOCK:
        if (uint32_t m = instance_.Accept()) LPostMessage(hwnd, m, 0, 0);
        return 1;
    case LWM_BROWSERENDED:
        LUnwatchHandle(static_cast<int>(w));
        launcher.Ended(static_cast<int>(w));
        return 1;
    case LWM_LOGVIEWCHANGED: return 1;
    default: break;
    }
    return LDialog::HandleMessage(msg, w, l);
}
