// Scheduled runs as systemd user timers, with a recording systemctl on PATH
// in place of a user manager.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "foundation/reg_settings.h"
#include "host/entry_points.h"
#include "setup/scheduled_tasks.h"
#include "setup/tests/fake_systemctl.h"
#include "tests/support/test_root.h"

namespace {

namespace fs = std::filesystem;

using FakeSystemctl = LTestFakeSystemctl;

bool HasMarker(const char16_t* suffix) { return LRegSettingsExists(u"Scheduler", suffix); }

int Shell(const std::string& command) { return std::system(command.c_str()); }

TEST(ScheduledTasks, TimerUnitsRunTheProgramWithoutAShell) {
    LTestRoot root;
    FakeSystemctl systemctl(root.Path() + "/bin");
    // A program path a shell would take apart.
    std::string program = root.Path() + "/opt/por linex/$HOME%h";
    fs::create_directories(root.Path() + "/opt/por linex");
    std::ofstream(program) << "#!/bin/sh\n";
    chmod(program.c_str(), 0755);

    const int64_t at = 1893456000;  // 2030-01-01 00:00:00 UTC
    ASSERT_TRUE(LScheduleTask("SevenDays", program, "-s $HOME \"q\" \\", at));
    EXPECT_TRUE(HasMarker(u"SevenDays"));
    EXPECT_EQ(systemctl.Calls(), "--user daemon-reload\n--user enable --now porlinex-SevenDays.timer\n");

    std::string base = LUserUnitFolder() + "/porlinex-SevenDays";
    EXPECT_EQ(LUserUnitFolder(), root.Path() + "/home/.config/systemd/user");
    std::string service = LTestReadFile(base + ".service");
    EXPECT_NE(service.find("ExecStart=\"" + root.Path() + "/opt/por linex/$HOME%%h\" \"-s $$HOME \\\"q\\\" \\\\\"\n"),
              std::string::npos)
        << service;
    // The run may show windows for as long as the user likes: not a oneshot.
    EXPECT_NE(service.find("\nType=exec\n"), std::string::npos) << service;
    std::string timer = LTestReadFile(base + ".timer");
    EXPECT_NE(timer.find("OnCalendar=" + LSystemdLocalTime(at) + "\n"), std::string::npos) << timer;
    EXPECT_NE(timer.find("Persistent=true\n"), std::string::npos);
    EXPECT_NE(timer.find("X-PorlinexEndBoundary=" + std::to_string(at + 2592000)), std::string::npos);

    // systemd reads the units as written: the calendar is the local time and
    // the command line splits back into the program and its argument.
    if (Shell("systemd-analyze calendar '" + LSystemdLocalTime(at) + "' >/dev/null 2>&1") == 0) {
        EXPECT_EQ(Shell("TZ=UTC systemd-analyze calendar '" + LSystemdLocalTime(at) +
                      "' | grep -q 'Next elapse: .*2030-01-01 00:00:00'"),
                  0)
            << "calendar not in local time";
    }
    // The checker needs a runtime folder of its own, not a running manager.
    std::string runtime = root.Path() + "/runtime";
    fs::create_directories(runtime);
    chmod(runtime.c_str(), 0700);
    EXPECT_EQ(Shell("XDG_RUNTIME_DIR='" + runtime + "' systemd-analyze verify --user '" + base + ".timer' '" + base +
                    ".service' >'" + root.Path() + "/verify.txt' 2>&1"),
              0)
        << LTestReadFile(root.Path() + "/verify.txt");

    // Deleting takes the units and the marker away.
    LDeleteScheduledTask("SevenDays");
    EXPECT_FALSE(fs::exists(base + ".timer"));
    EXPECT_FALSE(fs::exists(base + ".service"));
    EXPECT_FALSE(HasMarker(u"SevenDays"));
}

TEST(ScheduledTasks, NoUserManagerSchedulesNothing) {
    LTestRoot root;
    FakeSystemctl systemctl(root.Path() + "/bin");
    systemctl.Answer(1);
    EXPECT_FALSE(LScheduleTask("UpdateCheck", "/opt/porlinex/porlinex", "-updatecheck", 1893456000));
    EXPECT_FALSE(HasMarker(u"UpdateCheck"));
    EXPECT_FALSE(fs::exists(LUserUnitFolder() + "/porlinex-UpdateCheck.timer"));
    // Words that systemd could not take whole are refused.
    systemctl.Answer(0);
    EXPECT_FALSE(LScheduleTask("X", "relative/porlinex", "", 0));
    EXPECT_FALSE(LScheduleTask("X", "/opt/porlinex/porlinex", "-a\nExecStart=/bin/sh", 0));
    EXPECT_FALSE(LScheduleTask("../X", "/opt/porlinex/porlinex", "", 0));
    EXPECT_FALSE(LScheduleTask("X", "/opt/por\"linex/porlinex", "", 0));
}

TEST(ScheduledTasks, DeleteAllAndExpiredUnits) {
    LTestRoot root;
    FakeSystemctl systemctl(root.Path() + "/bin");
    LDeleteAllScheduledTasks();  // no Scheduler key: nothing to do
    EXPECT_EQ(systemctl.Calls(), "");
    // One task long past its end (a start in the past still registers).
    ASSERT_TRUE(LScheduleTask("Old", "/opt/porlinex/porlinex", "-old", 1000));
    ASSERT_TRUE(LScheduleTask("SevenDays", "/opt/porlinex/porlinex", "-sevendays", 1893456000));
    EXPECT_FALSE(fs::exists(LUserUnitFolder() + "/porlinex-Old.timer")) << "expired units go at the next schedule";
    ASSERT_TRUE(LScheduleTask("UpdateCheck", "/opt/porlinex/porlinex", "-updatecheck", 1893456000));
    LDeleteAllScheduledTasks();
    EXPECT_TRUE(fs::is_empty(LUserUnitFolder()));
    EXPECT_FALSE(HasMarker(u"SevenDays"));
    EXPECT_FALSE(HasMarker(u"UpdateCheck"));
}

TEST(ScheduledTasks, OpenAtLogonAtMostEveryFourteenDays) {
    LTestRoot root;
    const int64_t now = time(nullptr);
    const struct {
        int64_t first_run_ago, last_open_ago;
        bool opens;
    } cases[] = {
        {3 * 86400, 30 * 86400, false},   // first run less than 7 days ago
        {30 * 86400, 13 * 86400, false},  // opened 13 days ago
        {30 * 86400, 14 * 86400 + 5, true},
    };
    for (const auto& c : cases) {
        LRegSettingsSet(u"Settings", u"DayFirstRunDate", LFromUtf8(std::to_string(now - c.first_run_ago)).c_str());
        LRegSettingsSet(u"Settings", u"LastAutoRunOpenDate",
                        LFromUtf8(std::to_string(now - c.last_open_ago)).c_str());
        EXPECT_EQ(LShouldOpenAtLogon(), c.opens) << c.last_open_ago;
    }
    // The last open was recorded: the next start does not open.
    EXPECT_FALSE(LShouldOpenAtLogon());
}

}  // namespace
