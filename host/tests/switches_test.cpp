// The switch table, row by row, through the real program: argument counts,
// exit codes and which job ran (seen in the log, where each job that is not
// built yet says it is not available).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/reg_settings.h"
#include "host/service_control.h"
#include "tests/support/service_harness.h"
#include "tests/support/test_display.h"
#include "tests/support/test_root.h"

namespace {

struct Row {
    std::vector<std::string> args;
    int exit_code;
    const char* logged;      // "" for nothing in particular
    const char* not_logged;  // "" for nothing in particular
};

// The desktop start: tests run without a display, so it says so and ends 1.
constexpr const char* kDesktop = "Desktop: no display";

const Row kRows[] = {
    {{"-installsched"}, 0, "", kDesktop},
    {{"-sevendays"}, 1, kDesktop, ""},
    // The survey's wizard needs a display; without one it declines.
    {{"-surveysched"}, 0, kDesktop, ""},
    {{"-updatecheck"}, 0, "", kDesktop},
    // Never opened at log-on before: this start opens the window.
    {{"-runonstartup"}, 1, kDesktop, ""},
    {{"-setaccount"}, 0, "", kDesktop},
    {{"-setaccount", "bob"}, 0, "", kDesktop},
    // Not installed: nothing to change, which counts as success.
    {{"-setaccount", "bob", "pw"}, 1, "", kDesktop},
    {{"-startservice"}, 0, "", kDesktop},
    {{"-setaccess"}, 0, "", "not available"},
    // No task of that name is registered (yet): the child task fails.
    {{"-exe", "NoSuchTask"}, 1, "", kDesktop},
    {{"-exe"}, 1, kDesktop, ""},
    {{"-elevated", "x"}, 1, "", kDesktop},
    {{"-elevated"}, 1, kDesktop, ""},
    {{"-firewall", "80,443", "1", "web"}, 0, "LFirewallOpenPort: not available.", kDesktop},
    {{"-firewall", "80"}, 0, "", "LFirewallOpenPort"},
    {{"-setautorun", "X0"}, 0, "", "not available"},
    {{"-setautorun"}, 1, kDesktop, "LRunOnStartup"},
    {{"-extfind"}, 0, "LRunCompanionProgram: not available.", kDesktop},
    // The launcher needs a display; without one it only says so.
    {{"-extsuite"}, 0, kDesktop, "LShowLauncherDialog"},
    {{"-suite"}, 0, kDesktop, "LRunSuiteLauncher"},
    // No such file: nothing to install, and the log says so.
    {{"-installcomponent", "7zip", "42"}, 0, "Component could not be installed from 7zip.", kDesktop},
    {{"-installcomponent", "7zip"}, 0, "", "Component"},
    {{"-SERVICE"}, 1, kDesktop, ""},
    {{"-logon"}, 1, kDesktop, ""},
    {{"-manual"}, 1, kDesktop, ""},
    {{"plain"}, 1, kDesktop, ""},
    {{}, 1, kDesktop, ""},
    // The relay, wherever its switch stands: MCP is off here, so it refuses.
    {{"-service", "-mcpstdio"}, 0, "", kDesktop},
    // The uninstaller's pages need a display too; nothing is removed without.
    {{"-uninstall"}, 0, kDesktop, ""},
    {{"x", "-uninstall2"}, 0, kDesktop, ""},
    // No -instdata: the worker ends with status 5.
    {{"-bootstrap"}, 5, "", kDesktop},
    // The installer's pages need a display.
    {{"-installer"}, 2, kDesktop, ""},
};

TEST(Switches, EveryRowOfTheTable) {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    for (const Row& row : kRows) {
        std::string name;
        for (const auto& a : row.args) name += a + " ";
        SCOPED_TRACE(name);
        LTestRoot root;
        std::vector<std::string> argv = {LTestProgramPath()};
        argv.insert(argv.end(), row.args.begin(), row.args.end());
        LTestProcess p(argv);
        EXPECT_EQ(p.Wait(20000), row.exit_code);
        std::string log = LTestService::LogText();
        if (*row.logged) {
            EXPECT_NE(log.find(row.logged), std::string::npos) << log;
        }
        if (*row.not_logged) {
            EXPECT_EQ(log.find(row.not_logged), std::string::npos) << log;
        }
        // Only "-service" itself starts the service.
        EXPECT_EQ(LTestServiceStateWord(), "");
    }
}

TEST(Switches, InstallerClearsHistoryWhateverTheFirstSwitch) {
    LTestRoot root;
    const char16_t* history[] = {u"VersionCheckAfterCrash", u"LastCrashCheck", u"OSCheck", u"OSCheckWinRelease",
                                 u"NewerVersion"};
    for (const char16_t* name : history) ASSERT_TRUE(LRegUserSettingsSet(u"Settings", name, u"1"));
    ASSERT_TRUE(LRegUserSettingsSet(u"Settings", u"Other", u"kept"));
    LTestProcess p({LTestProgramPath(), "-updatecheck", "-installer"});
    EXPECT_EQ(p.Wait(20000), 0);
    char16_t v[260];
    for (const char16_t* name : history) EXPECT_FALSE(LRegUserSettingsGet(u"Settings", name, u"", v));
    EXPECT_TRUE(LRegUserSettingsGet(u"Settings", u"Other", u"", v));
}

TEST(Switches, ServiceRunsUntilStopped) {
    LTestRoot root;
    LTestService service;
    ASSERT_TRUE(service.WaitRunning());
    EXPECT_EQ(service.Stop(), 0);
    EXPECT_EQ(LTestServiceStateWord(), "stopped");
}

TEST(Switches, HelpPrintsTheUsageAndTheExitCodes) {
    unsetenv("DISPLAY");
    for (const char* help : {"--help", "-h"}) {
        LTestRoot root;
        int code = -1;
        std::string out = LTestRunCapture({LTestProgramPath(), help}, 20000, &code);
        EXPECT_EQ(code, 0) << help;
        for (const char* part : {"Usage: porlinex", "-startservice", "-service", "-setautorun XY", "Exit codes:",
                                 "1 for success and 0 for\nfailure"}) {
            EXPECT_NE(out.find(part), std::string::npos) << help << ": " << part << "\n" << out;
        }
        EXPECT_EQ(LTestService::LogText().find("Desktop"), std::string::npos) << "no desktop start";
    }
}

// A switch that fails says why where its caller looks: standard error.
TEST(Switches, FailuresSayWhyOnStandardError) {
    unsetenv("DISPLAY");
    struct Case {
        std::vector<std::string> args;
        bool installed;
        int exit_code;
        const char* said;
    } cases[] = {
        {{"-startservice"}, false, 0, "Cannot start the service: it is not installed"},
        {{"-setaccount", "no-such-user-here", "pw"}, true, 0,
         "Cannot run the service as no-such-user-here: there is no such user"},
        {{"-setautorun", "1X"}, false, 0, "Cannot change the service's start type: it is not installed."},
    };
    for (const Case& c : cases) {
        LTestRoot root;
        if (c.installed) {
            ASSERT_TRUE(LServiceInstall(LTestProgramPath()));
        }
        std::vector<std::string> argv = {LTestProgramPath()};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        int code = -1;
        std::string out = LTestRunCapture(argv, 30000, &code, true);
        EXPECT_EQ(code, c.exit_code) << c.args[0];
        EXPECT_NE(out.find(c.said), std::string::npos) << c.args[0] << "\n" << out;
    }
}

// An ordinary user without a root of their own cannot make /run/porlinex:
// that is what they are told, not that a service already runs.
TEST(Switches, ServiceWithoutItsRunFolderSaysSo) {
    if (geteuid() != 0) GTEST_SKIP() << "starts the service as another user";
    int code = -1;
    std::string out = LTestRunCapture({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "env", "-u",
                                       "PORLINEX_ROOT", "HOME=/nonexistent", LTestProgramPath(), "-service"},
                                      30000, &code, true);
    EXPECT_EQ(code, 1) << out;
    EXPECT_EQ(out.find("already running"), std::string::npos) << out;
    EXPECT_NE(out.find("/run/porlinex"), std::string::npos) << out;
    EXPECT_NE(out.find("Permission denied"), std::string::npos) << out;
}

}  // namespace
