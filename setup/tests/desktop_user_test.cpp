// Starting a program as the desktop user, and the command-use counts.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "setup/command_counts.h"
#include "setup/desktop_user.h"
#include "tests/support/test_root.h"

namespace {

namespace fs = std::filesystem;

// Sets or clears an environment variable for the object's life.
class EnvVar {
public:
    EnvVar(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old, had_ = true;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~EnvVar() { had_ ? setenv(name_, old_.c_str(), 1) : unsetenv(name_); }

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

TEST(DesktopUser, StartsAsTheUserWhoAskedNeverAsRoot) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root";
    LTestRoot root;
    // A helper any user can run, reporting who it runs as into a folder any
    // user can write.
    chmod(root.Path().c_str(), 0755);
    std::string out = root.Path() + "/out";
    fs::create_directories(out);
    chmod(out.c_str(), 0777);
    std::string helper = root.Path() + "/helper";
    std::ofstream(helper) << "#!/bin/sh\necho \"$(id -u) $(id -g) $HOME $1\" > \"" << out << "/$2.tmp\"\nmv \"" << out
                          << "/$2.tmp\" \"" << out << "/$2\"\n";
    chmod(helper.c_str(), 0755);
    EnvVar pkexec("PKEXEC_UID", nullptr);

    const struct {
        const char* sudo_uid;
        bool starts;
        const char* reported;
    } cases[] = {
        {"65534", true, "65534 65534 /nonexistent"},
        {nullptr, true, "0 0 "},
        {"3999999999", false, ""},  // named but unknown: not started at all
        {"abc", false, ""},         // garbled: not started as root either
    };
    int n = 0;
    for (const auto& c : cases) {
        EnvVar sudo("SUDO_UID", c.sudo_uid);
        std::string tag = "run" + std::to_string(n++);
        EXPECT_EQ(LRunAsDesktopUser(helper, {"arg one", tag}), c.starts) << tag;
        if (!c.starts) continue;
        std::string file = out + "/" + tag;
        ASSERT_TRUE(LTestWaitFor(20000, [&] { return fs::exists(file); })) << tag;
        EXPECT_EQ(LTestReadFile(file).rfind(c.reported, 0), 0u) << LTestReadFile(file);
        EXPECT_NE(LTestReadFile(file).find(" arg one\n"), std::string::npos) << "arguments pass whole";
    }
    EXPECT_FALSE(LRunAsDesktopUser(root.Path() + "/missing", {}));
}

// Under sudo the uninstaller removes the desktop user's own timers and
// autostart entries, acting as that user: what the user planted as a link
// to root's files stays out of reach.
TEST(DesktopUser, UninstallRemovesTheUsersOwnEntriesAsThatUser) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root";
    LTestRoot root;
    chmod(root.Path().c_str(), 0755);
    const std::string home = root.Path() + "/plxhome";
    fs::create_directories(home);
    // A user of our own whose home is this folder.
    const char* name = "porlinex-test";
    if (!getpwnam(name)) {
        ASSERT_EQ(std::system(("useradd -M -s /usr/sbin/nologin -d '" + home + "' " + name).c_str()), 0);
    } else {
        ASSERT_EQ(std::system(("usermod -d '" + home + "' " + name).c_str()), 0);
    }
    const struct passwd* pw = getpwnam(name);
    ASSERT_NE(pw, nullptr);
    const std::string units = home + "/.config/systemd/user", autostart = home + "/.config/autostart";
    fs::create_directories(units);
    for (const char* f : {"porlinex-SevenDays.timer", "porlinex-SevenDays.service", "other.timer"})
        std::ofstream(units + "/" + f) << "[Unit]\n";
    // The user's autostart folder is a link into a folder only root may
    // change, holding a file of that name.
    const std::string guarded = root.Path() + "/guarded";
    fs::create_directories(guarded);
    std::ofstream(guarded + "/porlinex.desktop") << "root's\n";
    fs::create_symlink(guarded, autostart);
    ASSERT_EQ(std::system(("chown -hR " + std::to_string(pw->pw_uid) + ":" + std::to_string(pw->pw_gid) + " '" +
                           home + "'")
                              .c_str()),
              0);

    {
        EnvVar no_root("PORLINEX_ROOT", nullptr);
        EnvVar sudo("SUDO_UID", std::to_string(pw->pw_uid).c_str());
        EnvVar pkexec("PKEXEC_UID", nullptr);
        LRemoveDesktopUserEntries();
    }
    EXPECT_FALSE(fs::exists(units + "/porlinex-SevenDays.timer"));
    EXPECT_FALSE(fs::exists(units + "/porlinex-SevenDays.service"));
    EXPECT_TRUE(fs::exists(units + "/other.timer"));
    EXPECT_TRUE(fs::exists(guarded + "/porlinex.desktop")) << "removed as the user, never as root";

    // Without the link the user's own entries go.
    fs::remove(autostart);
    fs::create_directories(autostart);
    for (const char* f : {"porlinex.desktop", "porlinex-runonstartup.desktop", "other.desktop"})
        std::ofstream(autostart + "/" + f) << "[Desktop Entry]\n";
    ASSERT_EQ(chown(autostart.c_str(), pw->pw_uid, pw->pw_gid), 0);
    {
        EnvVar no_root("PORLINEX_ROOT", nullptr);
        EnvVar sudo("SUDO_UID", std::to_string(pw->pw_uid).c_str());
        LRemoveDesktopUserEntries();
    }
    EXPECT_FALSE(fs::exists(autostart + "/porlinex.desktop"));
    EXPECT_FALSE(fs::exists(autostart + "/porlinex-runonstartup.desktop"));
    EXPECT_TRUE(fs::exists(autostart + "/other.desktop"));
}

TEST(CommandCounts, GrowsAndLoadsAtMost256) {
    LTestRoot root;
    for (uint32_t id = 1; id <= 65; ++id) LCountCommandUse(id);
    LCountCommandUse(1);
    LCountCommandUse(0);
    ASSERT_EQ(LCommandCounts().size(), 128u);
    EXPECT_EQ(LCommandCounts()[0].count, 2u);
    EXPECT_EQ(LCommandCounts()[63].id, 64u);
    EXPECT_EQ(LCommandCounts()[64].id, 65u);

    // A file claiming 1000 entries: only the first 256 are read.
    std::string data(4, '\0');
    data[0] = static_cast<char>(1000 & 0xFF);
    data[1] = static_cast<char>(1000 >> 8);
    for (uint32_t i = 0; i < 1000; ++i) {
        uint32_t pair[2] = {1000 + i, 7};
        data.append(reinterpret_cast<const char*>(pair), 8);
    }
    fs::create_directories(fs::path(LGetCommandCountsPath()).parent_path());
    std::ofstream(LGetCommandCountsPath(), std::ios::binary) << data;
    LLoadCommandCounts();
    ASSERT_EQ(LCommandCounts().size(), 256u);
    EXPECT_EQ(LCommandCounts()[255].id, 1255u);
    EXPECT_EQ(LCommandCounts()[255].count, 7u);
    LDeleteCommandCounts();
    EXPECT_FALSE(fs::exists(LGetCommandCountsPath()));
}

}  // namespace
