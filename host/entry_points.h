#pragma once
// The jobs that the entry point hands over to other modules. Each has a
// stand-in here that logs "<name>: not available." and answers as a failed
// or declined job; a module that implements one defines the same function
// (same signature) and its definition replaces the stand-in at link time.
#include <cstdint>
#include <string>

#include "toolkit/window_types.h"

// The MCP standard input/output relay; its exit code is the process's.
int LMcpStdioRun();

// Scheduled tasks and the start-up version check.
bool LGetInstallerPath(std::string& folder);
bool LScheduleTask(const char* name, const std::string& program, const char* arguments, int64_t at);
bool LDeleteScheduledTask(const char* name);
void LScheduleUpdateCheck();
bool LShouldOpenAtLogon();
bool LCheckVersionAtStartup(bool after_install);
void LLoadWinRtFunctions();
bool LShowLikeSurvey();
// The user's Run value "PorlinexRunOnStartup" (the -installsched job).
void LRunOnStartupWriteUser(const std::string& program);

// Service access, run at log-on and the firewall.
bool LServiceApplyAccess();
bool LRunOnStartupSet(const std::string& program);
void LRunOnStartupDelete();

// The maker's other programs and on-demand components.
void LRunCompanionProgram();
void LShowLauncherDialog(const std::string& name);
void LRunSuiteLauncher();
void LInstallComponent(const std::string& name, const std::string& pid, const char* source, int flag);

// Crash reports: sends the report of an earlier failure, optionally
// writing a dump of this process first; reason is a short code such as
// "AbTerm"; parent owns its dialogs.
void LCrashReportUpload(bool write_dump, const char* reason, LHwnd parent);

// Installer, uninstaller and the desktop itself.
void LLaunchUninstallerCopy(bool quiet);
void LRunUninstall(bool quiet);
int LRunInstaller(bool bootstrap);
// Looks for a running desktop of this user and asks it to come to the
// front; true when one was found.
bool LBringRunningInstanceForward();
// Asks a running desktop of this user to exit (it stops the service as it
// goes); true when one took the message.
bool LTellRunningInstanceToExit();
void LGuiRun(bool seven_day_start);
// The desktop start where no window can be shown (no display): starts the
// service when needed and writes the interface's one-time start address on
// standard error; true when it did.
bool LShowInterfaceAddress();
