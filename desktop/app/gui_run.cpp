// The desktop's entry points for the host: run the main window, or ring
// the desktop of this user that already runs.
#include "desktop/toolkit/instance_socket.h"
#include "desktop/app/main_window.h"
#include "host/entry_points.h"

bool LBringRunningInstanceForward() { return LInstanceSocketSend(LWM_OPENREQUEST); }

bool LTellRunningInstanceToExit() { return LInstanceSocketSend(LWM_INSTANCEEXIT); }

void LGuiRun(bool seven_day_start) {
    LAppMainWindow window;
    window.Run(seven_day_start);
}
