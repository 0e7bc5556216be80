#pragma once
// The desktop's main window: hidden from the start, it holds the tray
// icon and its menu, the link to the service, the launcher of the browser
// interface and the notification banner. Its loop is the desktop
// process's main loop.
#include <atomic>
#include <memory>

#include "desktop/app/browser_launch.h"
#include "desktop/app/hang_watchdog.h"
#include "desktop/app/log_view.h"
#include "desktop/app/tray_icon.h"
#include "host/engine_proxy.h"
#include "setup/push_notification_thread.h"
#include "toolkit/instance_socket.h"
#include "toolkit/notification_banner.h"
#include "toolkit/window.h"

// Private messages of the main window.
constexpr uint32_t LWM_SERVICEEVENT = LWM_APP + 0x72;   // wParam code, lParam value
constexpr uint32_t LWM_INSTANCEKNOCK = LWM_APP + 0x73;  // the doorbell socket is readable
constexpr uint32_t LWM_BROWSERENDED = LWM_APP + 0x74;   // a watched browser's pidfd is readable
constexpr uint32_t LWM_SESSIONEND = LWM_APP + 0x75;     // SIGTERM: save and end
constexpr uint32_t LWM_TRAY = 0x8067;

// Queries of the service.
constexpr uint32_t LQueryEngineRunning = 0x1000014;
constexpr uint32_t LQueryKeepInterfaceClosed = 0x1000011;
constexpr uint32_t LEventEngineStarted = 0x1000013;

// Commands of the tray menu and the exit command.
constexpr int LCmdOpen = 1002;
constexpr int LCmdExit = 1003;
constexpr int LCmdTurnOff = 801;
// The interactive version check and the About box.
constexpr int LCmdCheckForUpdates = 9004;
constexpr int LCmdAbout = 9040;

class LAppMainWindow : public LDialog, public LServiceEngineProxyOwner, public LSizeHandler {
public:
    LAppMainWindow();
    ~LAppMainWindow() override;

    // Runs the window until it is destroyed.
    void Run(bool keep_visible);

    void OnInitDialog() override { StartBackgroundService(); }
    void OnDestroy() override { CloseToBackground(); }
    void OnAfterInit() override { HideToBackground(); }
    bool OnOk() override { return true; }
    bool OnCancel() override;
    void OnCommand(int id, int code) override { OnTrayCommand(id, code); }
    void End(intptr_t) override {}
    void SavePlacement(const char16_t* section) override;
    LResult HandleMessage(uint32_t msg, LWParam w, LLParam l) override;

    // LSizeHandler: the banner's place.
    void OnSize(int width, int height) override;
    void GetMinSize(int* width, int* height) override;

    // Service link.
    bool StartBackgroundService();
    void CloseToBackground();
    void OnServiceEventCode(uint32_t code);
    void OnServiceLogLine(const std::string& time_text, const std::string& line_text, int level) override;
    void OnServiceEvent(uint32_t code, const void* data, uint32_t value) override;

    void HideToBackground();
    void OpenWebAppOnRequest();
    void OpenWebApp();
    void AutoOpenWebApp();
    bool ConfirmStop();
    // The tray's menu: Open, the version check, About and Exit.
    static std::vector<LMenuItem> TrayMenu();
    void BuildTrayMenu();
    void OnTrayCommand(int id, int code);

    LLogView log_view;
    LPushNotificationPanel banner;
    LWebAppLauncher launcher;
    LTrayIcon tray;
    bool engine_running = false;
    bool hidden_to_background = false;
    bool opened_automatically = false;
    bool session_ending = false;
    bool logon_start = false;

private:
    bool Query(uint32_t code);
    // True, after telling the user, while the service is still starting.
    bool ServiceStarting();
    void OnTray(uint32_t mouse_message);
    void AddTrayIcon();
    void PlaceAtStart();

    std::unique_ptr<LServiceEngineProxy> proxy_;
    LInstanceSocket instance_;
    std::unique_ptr<LHangWatchdog> watchdog_;
    // The maker's notices; shown in the banner above, so it goes first.
    std::unique_ptr<LPushNotificationThread> push_;
    bool asking_crash_ = false;  // the service-crash question is up
    bool open_when_started_ = false;  // Open was chosen while the service started
    unsigned sigterm_source_ = 0;
    unsigned sigint_source_ = 0;
};

// The machine settings value is empty or "0".
bool LSettingIsUnset(const char16_t* section, const char16_t* name);
