#include "host/switches.h"

#include "host/crash_handler.h"
#include "host/crash_id.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "foundation/log.h"
#include "foundation/exe_task.h"
#include "foundation/reg_settings.h"
#include "foundation/system_cmdline.h"
#include "foundation/utf8.h"
#include "foundation/thread_table.h"
#include "host/cmdline.h"
#include "host/entry_points.h"
#include "host/service_control.h"
#include "host/service_main.h"
#include "host/single_instance.h"
#include "host/startup_lock.h"
#include "host/usage.h"
#include "platform/service_state.h"
#include "platform/spawn.h"
#include "web/server/firewall.h"

namespace {

constexpr int64_t kSevenDays = 604800;

// What a switch of the table did: finished with an exit code, or shifted
// itself away so the desktop starts.
struct LSwitchResult {
    bool done;
    int exit_code;
};

constexpr LSwitchResult Exit(int code) { return {true, code}; }
constexpr LSwitchResult Continue() { return {false, 0}; }

bool g_seven_day_start = false;

bool DebugLogSettingIsOn() {
    char16_t v[260];
    LRegSettingsGet(u"Settings", u"DebugLog", u"", v);
    return v[0] && v[0] != u'0';
}

const std::string& Arg(int i) { return LCmdLineArg(i); }

// A fresh installation starts without crash or version-check history.
void ClearInstallHistory() {
    for (const char16_t* name : {u"VersionCheckAfterCrash", u"LastCrashCheck", u"OSCheck", u"OSCheckWinRelease",
                                 u"NewerVersion"})
        LRegUserSettingsDelete(name);
}

LSwitchResult InstallSchedule() {
    std::string folder;
    if (LGetInstallerPath(folder) && !folder.empty()) {
        std::string program = folder + "/porlinex";
        LScheduleTask("SevenDays", program, "-sevendays", static_cast<int64_t>(time(nullptr)) + kSevenDays);
        LScheduleUpdateCheck();
        LRunOnStartupWriteUser(LCmdLineArg(0));
    }
    return Exit(0);
}

LSwitchResult RunService() {
    // The whole engine start runs under the start-up lock; the service main
    // releases it once it reports running.
    LProcessStartupLock().Take(LStartupLockWaitMs);
    int argc = LCmdLineCount() - 2;
    std::vector<char*> args;
    for (int i = 2; i < LCmdLineCount(); ++i) args.push_back(const_cast<char*>(Arg(i).c_str()));
    args.push_back(nullptr);
    // 0 after a stop; 1 when the service could not open its socket.
    return Exit(LServiceMain(argc, args.data()));
}

LSwitchResult SetAutorun() {
    const std::string& xy = Arg(2);
    if (!xy.empty()) {
        if ((xy[0] == '1' || xy[0] == '0') && !LServiceSetStartType(xy[0] == '1'))
            LLogErrorF("Cannot change the service's start type: %s.",
                       LServiceIsInstalled() ? "its record or unit could not be written" : "it is not installed");
    }
    if (xy.size() >= 2) {
        // The entry runs at sign-in from any folder: the program as typed
        // ("./porlinex") would name nothing there.
        if (xy[1] == '1') LRunOnStartupSet(LPlatformSelfExecutable());
        if (xy[1] == '0') LRunOnStartupDelete();
    }
    return Exit(0);
}

LSwitchResult Firewall() {
    if (LCmdLineCount() < 5) return Exit(0);
    int flag = std::atoi(Arg(3).c_str());
    const std::string& ports = Arg(2);
    size_t start = 0;
    while (start <= ports.size()) {
        size_t comma = ports.find(',', start);
        std::string one = ports.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        int port = std::atoi(one.c_str());
        if (port > 0) LFirewallOpenPort(port, flag, Arg(4));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return Exit(0);
}

// The switch table, tried in order against argv[1]; the first match acts.
// Exit(...) rows end the process, Continue() rows fall through to the
// desktop, and a row that does not match its argument count is no match.
bool RunSwitch(LSwitchResult& result) {
    const std::string& s = Arg(1);
    const int n = LCmdLineCount();
    if (s == "-installsched") {
        result = InstallSchedule();
    } else if (s == "-sevendays") {
        LDeleteScheduledTask("SevenDays");
        g_seven_day_start = true;
        LCmdLineShift();
        result = Continue();
    } else if (s == "-surveysched") {
        if (!LShowLikeSurvey()) {
            result = Exit(0);
        } else {
            LCmdLineShift();
            result = Continue();
        }
    } else if (s == "-updatecheck") {
        LLoadWinRtFunctions();
        LScheduleUpdateCheck();
        result = Exit(0);
    } else if (s == "-runonstartup") {
        LLoadWinRtFunctions();
        if (!LShouldOpenAtLogon()) {
            result = Exit(0);
        } else {
            LCmdLineShift();
            result = Continue();
        }
    } else if (s == "-service") {
        result = RunService();
    } else if (s == "-setaccount") {
        // Too few arguments: nothing to set, and nothing failed.
        result = Exit(n >= 4 && LServiceSetAccount(Arg(2), Arg(3)) ? 1 : 0);
    } else if (s == "-startservice") {
        result = Exit(LServiceStart() ? 1 : 0);
    } else if (s == "-setaccess") {
        LServiceApplyAccess();
        result = Exit(0);
    } else if (s == "-exe" && n > 2) {
        uint32_t task_result = 2;
        LExeTaskDispatch(&task_result, LWideFromUTF8(Arg(2).c_str()).text);
        result = Exit(task_result == 0 ? 0 : 1);
    } else if (s == "-elevated" && n > 2) {
        result = Exit(1);
    } else if (s == "-firewall") {
        result = Firewall();
    } else if (s == "-setautorun" && n > 2) {
        result = SetAutorun();
    } else if (s == "-extfind") {
        LRunCompanionProgram();
        result = Exit(0);
    } else if (s == "-extsuite") {
        LShowLauncherDialog(Arg(2));
        result = Exit(0);
    } else if (s == "-suite") {
        LRunSuiteLauncher();
        result = Exit(0);
    } else if (s == "-installcomponent") {
        if (n == 4) LInstallComponent(Arg(2), Arg(3), "co", 1);
        result = Exit(0);
    } else {
        return false;
    }
    return true;
}

int DesktopStart(bool installer) {
    if (!installer && !std::getenv("LQUIET") && !LCheckVersionAtStartup(false)) return 0;
    if (LCmdLineCount() >= 2) {
        bool quiet = LCmdLineCount() >= 3 && LCmdLineHasSwitch(u"-quiet");
        if (LCmdLineHasSwitch(u"-uninstall")) {
            const bool service_was_running = LServiceStateQuery().state == LServiceState::Running;
            LCloseOtherInstances();
            LLaunchUninstallerCopy(quiet);
            // An uninstall that was cancelled or stopped leaves the service
            // as it found it; a finished one has removed it.
            if (service_was_running && LServiceIsInstalled()) LServiceStart();
            return 0;
        }
        if (LCmdLineHasSwitch(u"-uninstall2")) {
            LRunUninstall(quiet);
            return 0;
        }
        if (Arg(1) == "-bootstrap") {
            LCloseOtherInstances();
            return LRunInstaller(true);
        }
        if (Arg(1) == "-installer") {
            LCloseOtherInstances();
            LLoadWinRtFunctions();
            return LRunInstaller(false);
        }
    }
    return LSingleInstanceStart(g_seven_day_start);
}

}  // namespace

int LHostMain(int argc, char** argv) {
    LCmdLineInit(argc, argv);
    // A reporting child only ends on a crash; everybody else reports it.
    if (argc > 1 && std::strcmp(argv[1], "-exe") == 0)
        LCrashHandlerInstallForChild();
    else
        LCrashHandlerInstall();
    LThreadRegister("MAIN");
    LCrashSetMainThread();
    if (LCmdLineHasSwitch(u"-mcpstdio")) return LMcpStdioRun();
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(LUsageText, stdout);
        return 0;
    }
    // Whoever started this from a terminal learns there why a job failed.
    LLogSetStandardErrorErrors(true);
    LLogSetDebug(DebugLogSettingIsOn());
    bool installer = LCmdLineHasSwitch(u"-installer");
    if (installer) ClearInstallHistory();
    if (LCmdLineCount() >= 2 && !Arg(1).empty() && Arg(1)[0] == '-') {
        LSwitchResult r{};
        if (RunSwitch(r) && r.done) return r.exit_code;
    }
    return DesktopStart(installer);
}
