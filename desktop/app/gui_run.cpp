// The desktop's entry points for the host: run the main window, ring the
// desktop of this user that already runs, or, where no window can be
// shown, leave the interface's start address for the user.
#include "desktop/app/browser_launch.h"
#include "desktop/app/main_window.h"
#include "foundation/data_folder.h"
#include "foundation/system_cmdline.h"
#include "host/entry_points.h"
#include "host/service_control.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "platform/service_state.h"
#include "toolkit/instance_socket.h"
#include "web/server/web_server.h"

bool LBringRunningInstanceForward() { return LInstanceSocketSend(LWM_OPENREQUEST); }

bool LTellRunningInstanceToExit() { return LInstanceSocketSend(LWM_INSTANCEEXIT); }

void LGuiRun(bool seven_day_start) {
    LAppMainWindow window;
    window.Run(seven_day_start);
}

namespace {

// A service run by hand (`porlinex -service` in a terminal) has no service
// record to start it by, so one that already runs is taken as it is.
bool ServiceRuns() {
    for (int waited = 0; waited < 30000; waited += 100) {
        LServiceState state = LServiceStateQuery().state;
        if (state == LServiceState::Running) return true;
        if (state != LServiceState::StartPending) break;
        LPlatformSleepMs(100);
    }
    return LServiceStart();
}

}  // namespace

bool LShowInterfaceAddress() {
    // Started at log-on, no one reads what is written here.
    if (LCmdLineHasSwitch(u"-logon")) return false;
    if (!ServiceRuns()) {
        std::string text = "Porlinex: the service could not be started; its log is in " + LDataFolderPath() + ".\n";
        LPlatformWriteStandardError(text.data(), text.size());
        return false;
    }
    std::string url = LMakeStartAddress(LWebServerGetPort());
    if (url.empty()) {
        const char text[] = "Porlinex: the start address could not be made: this user may not write the "
                            "machine settings.\n";
        LPlatformWriteStandardError(text, sizeof text - 1);
        return false;
    }
    LPrintStartAddress(url, "no display could be opened, so no browser can be started from here");
    return true;
}
