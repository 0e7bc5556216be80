// The main window's link to the service: open it or start the service,
// ask whether the engine runs, and carry the service's events and log
// lines from the proxy's reader thread to the window thread.
#include "desktop/app/main_window.h"
#include "foundation/log.h"
#include "host/service_control.h"

bool LAppMainWindow::StartBackgroundService() {
    proxy_ = std::make_unique<LServiceEngineProxy>(this);
    if (!proxy_->Connect()) {
        if (!LServiceStart() || !proxy_->Connect()) {
            proxy_.reset();
            LLog("Unable to start the background service!.", 1);
            return false;
        }
    }
    engine_running = Query(LQueryEngineRunning);
    return engine_running;
}

void LAppMainWindow::CloseToBackground() {
    launcher.CloseAll();
    // The proxy's destructor stops its reader before the object goes.
    proxy_.reset();
}

void LAppMainWindow::OnServiceEventCode(uint32_t code) {
    if (code != LEventEngineStarted) return;
    bool asked = open_when_started_;
    open_when_started_ = false;
    if (Query(LQueryKeepInterfaceClosed)) return;
    engine_running = true;
    if (asked)
        OpenWebApp();
    else
        AutoOpenWebApp();
}

void LAppMainWindow::OnServiceLogLine(const std::string& time_text, const std::string& line_text, int level) {
    log_view.AddLine(time_text, line_text, level);
}

void LAppMainWindow::OnServiceEvent(uint32_t code, const void*, uint32_t value) {
    // The reader thread hands the event over; it is handled on the window
    // thread, where the window's state lives.
    LPostMessage(hwnd, LWM_SERVICEEVENT, code, static_cast<LLParam>(value));
}
