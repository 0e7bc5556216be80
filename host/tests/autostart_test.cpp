// Autostart entries under a test root: where they go, how Exec is quoted,
// that desktop-file-validate takes them, and removal in the right order.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "host/autostart.h"
#include "host/entry_points.h"
#include "tests/support/test_display.h"
#include "tests/support/test_root.h"

namespace {

namespace fs = std::filesystem;

std::string ExecLine(const std::string& text) {
    size_t at = text.find("\nExec=");
    return at == std::string::npos ? "" : text.substr(at + 6, text.find('\n', at + 1) - at - 6);
}

bool Validates(const std::string& path) {
    std::string cmd = "desktop-file-validate '" + path + "' >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

TEST(Autostart, ExecQuotingFollowsTheDesktopEntryRules) {
    struct Case {
        const char* program;
        const char* exec;
    } cases[] = {
        {"/opt/porlinex/porlinex", R"("/opt/porlinex/porlinex" -logon)"},
        {"/home/ann/My Apps/porlinex", R"("/home/ann/My Apps/porlinex" -logon)"},
        {"/x/a\"b$c`d", R"("/x/a\\"b\\$c\\`d" -logon)"},
        {"/x/back\\slash", R"("/x/back\\\\slash" -logon)"},
        {"/x/100%/p", R"("/x/100%%/p" -logon)"},
    };
    LTestRoot root;
    for (const Case& c : cases) {
        std::string text = LAutostartEntryText(c.program, "-logon");
        EXPECT_EQ(ExecLine(text), c.exec) << c.program;
        std::string path = root.Path() + "/check.desktop";
        std::ofstream(path) << text;
        EXPECT_TRUE(Validates(path)) << c.program;
    }
}

TEST(Autostart, MachineEntryFirstThenTheUsersWhenTheMachineRefuses) {
    LTestRoot root;
    EXPECT_FALSE(LRunOnStartupIsSet());
    ASSERT_TRUE(LRunOnStartupSet("/opt/porlinex/porlinex"));
    EXPECT_TRUE(LRunOnStartupIsSet());
    EXPECT_FALSE(LRunOnStartupIsSetForUser());
    std::string machine = LAutostartMachineFolder() + "/porlinex.desktop";
    EXPECT_EQ(machine, root.Path() + "/etc/xdg/autostart/porlinex.desktop");
    EXPECT_TRUE(Validates(machine));
    struct stat st {};
    ASSERT_EQ(stat(machine.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);

    // A machine folder that cannot be made: the user's entry instead.
    LTestRoot other;
    fs::create_directories(other.Path() + "/etc/xdg");
    std::ofstream(other.Path() + "/etc/xdg/autostart") << "not a folder";
    ASSERT_TRUE(LRunOnStartupSet("/opt/porlinex/porlinex"));
    EXPECT_FALSE(LRunOnStartupIsSet());
    EXPECT_TRUE(LRunOnStartupIsSetForUser());
    EXPECT_TRUE(fs::exists(other.Path() + "/home/.config/autostart/porlinex.desktop"));
}

TEST(Autostart, RemovalTakesTheUsersEntryFirstAndReportsARefusal) {
    LTestRoot root;
    ASSERT_TRUE(LRunOnStartupSet("/opt/porlinex/porlinex"));
    std::string user = LAutostartUserFolder();
    fs::create_directories(user);
    std::ofstream(user + "/porlinex.desktop") << LAutostartEntryText("/opt/porlinex/porlinex", "-logon");
    LRunOnStartupWriteUser("/opt/porlinex/porlinex");

    EXPECT_TRUE(LRunOnStartupRemove());
    EXPECT_FALSE(LRunOnStartupIsSetForUser());
    EXPECT_TRUE(LRunOnStartupIsSet());
    EXPECT_TRUE(LRunOnStartupRemove());
    EXPECT_FALSE(LRunOnStartupIsSet());
    EXPECT_TRUE(LRunOnStartupRemove());  // nothing left is not a failure
    // The seven-day entry is another value and stays.
    EXPECT_TRUE(Validates(user + "/porlinex-runonstartup.desktop"));

    // An entry that cannot be removed (here a folder in its place) fails.
    fs::create_directories(LAutostartMachineFolder() + "/porlinex.desktop/x");
    EXPECT_FALSE(LRunOnStartupRemove());
}

// Started as "./porlinex" from its own folder, the entry still names the
// program wherever the session starts it.
TEST(Autostart, SetAutorunWritesTheProgramsFullPath) {
    LTestRoot root;
    const std::filesystem::path program = std::filesystem::canonical(LTestProgramPath());
    int code = -1;
    std::string out = LTestRunCapture({"/bin/sh", "-c", "cd \"$0\" && exec ./porlinex -setautorun X1",
                                       program.parent_path().string()},
                                      20000, &code, true);
    ASSERT_EQ(code, 0) << out;
    std::string entry = LTestReadFile(LAutostartMachineFolder() + "/porlinex.desktop");
    EXPECT_NE(entry.find("\nExec=" + LDesktopExecValue(program.string(), "-logon") + "\n"), std::string::npos)
        << entry;
}

}  // namespace
