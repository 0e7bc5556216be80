#include "host/entry_points.h"

#include "foundation/log.h"

// Weak: the module that implements a job defines it strongly and wins.
#define L_STAND_IN __attribute__((weak))

namespace {

void NotAvailable(const char* name) { LLogWarningF("%s: not available.", name); }

}  // namespace

L_STAND_IN int LMcpStdioRun() {
    NotAvailable("LMcpStdioRun");
    return 1;
}

L_STAND_IN bool LGetInstallerPath(std::string& folder) {
    NotAvailable("LGetInstallerPath");
    folder.clear();
    return false;
}

L_STAND_IN bool LScheduleTask(const char*, const std::string&, const char*, int64_t) {
    NotAvailable("LScheduleTask");
    return false;
}

L_STAND_IN bool LDeleteScheduledTask(const char*) {
    NotAvailable("LDeleteScheduledTask");
    return false;
}

L_STAND_IN void LScheduleUpdateCheck() { NotAvailable("LScheduleUpdateCheck"); }

L_STAND_IN bool LShouldOpenAtLogon() {
    NotAvailable("LShouldOpenAtLogon");
    return false;
}

// Without a version check nothing can take the process over: the start goes on.
L_STAND_IN bool LCheckVersionAtStartup(bool) {
    NotAvailable("LCheckVersionAtStartup");
    return true;
}

L_STAND_IN void LLoadWinRtFunctions() {}

L_STAND_IN void LRunOnStartupWriteUser(const std::string&) { NotAvailable("LRunOnStartupWriteUser"); }

L_STAND_IN bool LServiceApplyAccess() {
    NotAvailable("LServiceApplyAccess");
    return false;
}

L_STAND_IN bool LRunOnStartupSet(const std::string&) {
    NotAvailable("LRunOnStartupSet");
    return false;
}

L_STAND_IN void LRunOnStartupDelete() { NotAvailable("LRunOnStartupDelete"); }

L_STAND_IN void LRunCompanionProgram() { NotAvailable("LRunCompanionProgram"); }
L_STAND_IN void LShowLauncherDialog(const std::string&) { NotAvailable("LShowLauncherDialog"); }
L_STAND_IN void LRunSuiteLauncher() { NotAvailable("LRunSuiteLauncher"); }
L_STAND_IN void LCrashReportUpload(bool, const char*, LHwnd) { NotAvailable("LCrashReportUpload"); }
L_STAND_IN void LLaunchUninstallerCopy(bool) { NotAvailable("LLaunchUninstallerCopy"); }
L_STAND_IN void LRunUninstall(bool) { NotAvailable("LRunUninstall"); }

L_STAND_IN int LRunInstaller(bool) {
    NotAvailable("LRunInstaller");
    return 1;
}

L_STAND_IN bool LBringRunningInstanceForward() { return false; }
L_STAND_IN bool LTellRunningInstanceToExit() { return false; }

L_STAND_IN void LGuiRun(bool) { NotAvailable("LGuiRun"); }

L_STAND_IN bool LShowInterfaceAddress() {
    NotAvailable("LShowInterfaceAddress");
    return false;
}
