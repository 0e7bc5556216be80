// The setup program end to end: built by make-setup.sh, run quietly as root
// under a fresh root, then run again, then uninstalled quietly.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "foundation/named_mutex.h"
#include "foundation/reg_settings.h"
#include "host/service_control.h"
#include "tests/support/service_harness.h"
#include "tests/support/test_display.h"
#include "tests/support/test_root.h"

namespace {

namespace fs = std::filesystem;

int Shell(const std::string& command) { return std::system(command.c_str()); }

std::string Sha256(const std::string& path) {
    std::string out = fs::temp_directory_path() / ("sha-" + std::to_string(getpid()));
    if (Shell("sha256sum < '" + path + "' > '" + out + "' 2>/dev/null") != 0) return "missing";
    std::string sum = LTestReadFile(out);
    fs::remove(out);
    return sum;
}

std::string Machine(const char16_t* section, const char16_t* name) {
    char16_t v[260];
    LRegSettingsGet(section, name, u"", v);
    return LToUtf8(v);
}

// The interface files the data file carries, as the repository holds them.
const char* const kWebFiles[] = {"print.css",  "s.css",         "ajax.js",        "table.js",
                                 "upsort.gif", "downsort.gif",  "darkblue.gif",   "greybg.gif",
                                 "favicon.ico", "settings.html", "backup.html",    "log.html",
                                 "autoresponders.html", "mcp.html", "search.html", "popupmenu.css",
                                 "rules.html", "emailaccounts.html", "index.html"};
const std::string kSite = std::string(PORLINEX_SOURCE_DIR) + "/web/pages/site";

// Runs make-setup.sh (the copy at `script`) into `out`; its exit code, and
// what it wrote to standard error in *errors.
int MakeSetup(const std::string& script, const std::string& out, std::string* errors) {
    std::string log = out + ".log";
    fs::create_directories(fs::path(out).parent_path());
    int rc = Shell("'" + script + "' '" + LTestProgramPath() + "' '" + out + "' >/dev/null 2>'" + log + "'");
    *errors = LTestReadFile(log);
    return WEXITSTATUS(rc);
}

// A data file with an empty row would install an interface that does not
// work: the build stops and names the file.
TEST(MakeSetup, RefusesAMissingOrEmptyInterfaceFile) {
    LTestRoot root;
    struct Case {
        const char* name;
        bool present;
    } cases[] = {{"favicon.ico", true}, {"index.html", false}};
    for (const Case& c : cases) {
        std::string tree = root.Path() + "/" + c.name;
        fs::create_directories(tree + "/scripts");
        fs::create_directories(tree + "/web/pages/site");
        fs::copy_file(std::string(PORLINEX_SOURCE_DIR) + "/scripts/make-setup.sh", tree + "/scripts/make-setup.sh");
        for (const char* name : kWebFiles) std::ofstream(tree + "/web/pages/site/" + name) << name;
        fs::remove(tree + "/web/pages/site/" + c.name);
        if (c.present) std::ofstream(tree + "/web/pages/site/" + c.name);
        std::string errors;
        EXPECT_NE(MakeSetup(tree + "/scripts/make-setup.sh", tree + "/out", &errors), 0) << c.name;
        EXPECT_NE(errors.find("web/pages/site/" + std::string(c.name) + " is missing or empty"), std::string::npos)
            << errors;
        EXPECT_FALSE(fs::exists(tree + "/out/porlinex-setup.run")) << c.name;
    }
}

class InstallTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "installs as root";
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        unsetenv("SUDO_UID");
        unsetenv("PKEXEC_UID");
        // A stand-in systemctl: there is no user manager on a build machine.
        std::string bin = root_.Path() + "/bin";
        fs::create_directories(bin);
        std::ofstream(bin + "/systemctl") << "#!/bin/sh\necho \"$*\" >> '" << bin << "/calls'\nexit 0\n";
        chmod((bin + "/systemctl").c_str(), 0755);
        old_path_ = std::getenv("PATH");
        setenv("PATH", (bin + ":" + old_path_).c_str(), 1);
        out_ = root_.Path() + "/src/out";
        std::string errors;
        ASSERT_EQ(MakeSetup(std::string(PORLINEX_SOURCE_DIR) + "/scripts/make-setup.sh", out_, &errors), 0)
            << errors;
        LTestUseFreeWebPorts();
    }
    void TearDown() override {
        if (geteuid() != 0) return;
        LServiceStop();
        setenv("PATH", old_path_.c_str(), 1);
    }
    // Runs the setup program quietly; its exit code.
    int RunSetup() {
        fs::create_directories(root_.Path() + "/tmp");
        return WEXITSTATUS(Shell("cd '" + out_ + "' && LQUIET=1 TMPDIR='" + root_.Path() +
                                 "/tmp' sh ./porlinex-setup.run >'" + root_.Path() + "/setup.log' 2>&1"));
    }
    std::string Program() const { return root_.Path() + "/opt/porlinex/porlinex"; }
    std::string Web(const char* name) const { return root_.DataFolder() + "/Web/" + name; }

    LTestRoot root_;
    std::string old_path_, out_;
};

TEST_F(InstallTest, QuietInstallAgainAndUninstall) {
    ASSERT_EQ(RunSetup(), 0) << LTestReadFile(root_.Path() + "/setup.log");
    EXPECT_EQ(Sha256(Program()), Sha256(LTestProgramPath()));
    for (const char* name : kWebFiles) EXPECT_EQ(Sha256(Web(name)), Sha256(kSite + "/" + name)) << name;

    EXPECT_EQ(Machine(u"Settings", u"InstallerPath"), root_.Path() + "/opt/porlinex");
    EXPECT_EQ(Machine(u"Settings", u"CurrentVersion"), "2.01");
    EXPECT_EQ(Machine(u"Settings", u"InstallerName"), "porlinex-setup");
    const std::string first = Machine(u"Settings", u"InstallDateFirst");
    EXPECT_FALSE(first.empty());
    EXPECT_EQ(Machine(u"Settings", u"InstallDate"), first);
    EXPECT_FALSE(Machine(u"Software", u"IID").empty());
    EXPECT_EQ(Machine(u"Service", u"Access"), "2");
    EXPECT_EQ(Machine(u"Software", u"Installer"), root_.Path() + "/opt/porlinex/porlinexsetup_v2.01.run");
    char16_t v[260];
    const char16_t* uninstall = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Porlinex";
    LRegReadString(LRegHive::LocalMachine, uninstall, u"UninstallString", u"", v);
    EXPECT_EQ(LToUtf8(v), "\"" + Program() + "\" -uninstall");
    LRegReadString(LRegHive::LocalMachine, uninstall, u"InstallLocation", u"", v);
    EXPECT_EQ(LToUtf8(v), root_.Path() + "/opt/porlinex");

    std::string apps = root_.Path() + "/usr/local/share/applications";
    for (const char* entry : {"/porlinex.desktop", "/vek-suite.desktop"})
        EXPECT_EQ(Shell("desktop-file-validate '" + apps + entry + "'"), 0) << entry;
    EXPECT_NE(LTestReadFile(apps + "/porlinex.desktop").find("[Desktop Action Uninstall]"), std::string::npos);
    EXPECT_NE(LTestReadFile(root_.Path() + "/etc/xdg/autostart/porlinex.desktop").find("-logon"), std::string::npos);

    // The service runs from the program copy and answers on its TLS port.
    EXPECT_TRUE(LTestWaitFor(30000, [] { return LTestServiceStateWord() == "running"; }));
    std::string port = Machine(u"WebServer", u"SecurePort");
    EXPECT_TRUE(LTestWaitFor(30000, [&] {
        return Shell("curl -sk -o /dev/null --max-time 5 https://127.0.0.1:" + port + "/") == 0;
    }));
    // The installed program planned its runs as the (here: root) user.
    EXPECT_TRUE(LTestWaitFor(30000, [&] {
        return fs::exists(root_.Path() + "/home/.config/systemd/user/porlinex-SevenDays.timer") &&
               fs::exists(root_.Path() + "/home/.config/systemd/user/porlinex-UpdateCheck.timer");
    }));

    // Again over an older version whose owner changed who may use the service.
    LRegSettingsSet(u"Settings", u"CurrentVersion", u"1.50");
    LRegSettingsSet(u"Service", u"Access", u"1");
    ASSERT_EQ(RunSetup(), 0) << LTestReadFile(root_.Path() + "/setup.log");
    EXPECT_EQ(Machine(u"Settings", u"InstallDateFirst"), first);
    EXPECT_EQ(Machine(u"Service", u"Access"), "1");
    EXPECT_EQ(Machine(u"Settings", u"PreviousVersion"), "1.50");
    EXPECT_EQ(Machine(u"Settings", u"CurrentVersion"), "2.01");

    // A user's desktop still running the program blocks the removal.
    LTestDisplay& display = LTestDisplay::Shared();
    unsetenv("DISPLAY");
    if (display.Ok()) {
        LTestProcess user({Program()}, {"DISPLAY=" + display.Display()});
        ASSERT_TRUE(LTestWaitFor(10000, [&] {
            std::error_code ec;
            return fs::read_symlink("/proc/" + std::to_string(user.Pid()) + "/exe", ec).string() == Program();
        }));
        // Held still, so that what it does on its own cannot change the outcome.
        kill(user.Pid(), SIGSTOP);
        LTestProcess blocked({Program(), "-uninstall", "-quiet"});
        blocked.Wait(60000);
        EXPECT_TRUE(fs::exists(Program()));
        EXPECT_TRUE(LServiceIsInstalled());
        user.Signal(SIGKILL, 10000);
    }
    // A link planted in the install folder is removed, never followed.
    std::string outside = root_.Path() + "/outside";
    fs::create_directories(outside);
    std::ofstream(outside + "/keep") << "keep";
    fs::create_symlink(outside, root_.Path() + "/opt/porlinex/link");
    LTestProcess remove({Program(), "-uninstall", "-quiet"});
    EXPECT_EQ(remove.Wait(60000), 0);
    EXPECT_FALSE(fs::exists(root_.Path() + "/opt/porlinex"));
    EXPECT_TRUE(fs::exists(outside + "/keep"));
    EXPECT_FALSE(fs::exists(apps + "/porlinex.desktop"));
    EXPECT_FALSE(fs::exists(apps + "/vek-suite.desktop"));
    EXPECT_FALSE(fs::exists(root_.Path() + "/etc/xdg/autostart/porlinex.desktop"));
    EXPECT_FALSE(fs::exists(root_.Path() + "/home/.config/systemd/user/porlinex-SevenDays.timer"));
    EXPECT_FALSE(LServiceIsInstalled());
    EXPECT_EQ(Machine(u"Settings", u"InstallerPath"), "");
    LRegReadString(LRegHive::LocalMachine, uninstall, u"UninstallString", u"", v);
    EXPECT_EQ(LToUtf8(v), "");
    EXPECT_TRUE(fs::exists(Web("index.html"))) << "the data folder stays unless asked";
}

TEST_F(InstallTest, DamagedDataInstallsNothing) {
    // One content byte changed in the packaged data file.
    std::string data = out_ + "/porlinex.instdata";
    std::string bytes = LTestReadFile(data);
    bytes[3] ^= 1;
    std::ofstream(data, std::ios::binary) << bytes;
    LTestProcess setup({LTestProgramPath(), "-installer", "x", "-instdata", data}, {"LQUIET=1"});
    EXPECT_EQ(setup.Wait(60000), 8);
    EXPECT_FALSE(fs::exists(Program()));
    EXPECT_FALSE(fs::exists(Web("s.css")));
    EXPECT_EQ(Machine(u"Settings", u"InstallerPath"), "");
}

TEST_F(InstallTest, OneInstallerAtATime) {
    LNamedMutex running(u"Global\\PorlinexInstaller");
    ASSERT_TRUE(running.Lock(0));
    LTestProcess setup({LTestProgramPath(), "-installer", "x", "-instdata", out_ + "/porlinex.instdata"},
                       {"LQUIET=1"});
    EXPECT_EQ(setup.Wait(60000), 2);
    EXPECT_FALSE(fs::exists(Program()));
}

}  // namespace
