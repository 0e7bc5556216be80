// Installing, configuring, starting, stopping and deleting the service on
// the detached-process path (no systemd under a test root), with the real
// program as the service.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <string>

#include "foundation/reg_settings.h"
#include "host/autostart.h"
#include "host/engine_proxy.h"
#include "host/service_control.h"
#include "platform/service_state.h"
#include "tests/support/service_harness.h"
#include "tests/support/test_root.h"
#include "tests/support/tls_peer.h"

namespace {

std::string ServiceValue(const char16_t* name) {
    char16_t v[260];
    LRegSettingsGet(u"Service", name, u"", v);
    std::string out;
    for (const char16_t* p = v; *p; ++p) out += static_cast<char>(*p);
    return out;
}

bool WantsLinkExists(const LTestRoot& root) {
    struct stat st;
    return lstat((root.Path() + "/etc/systemd/system/multi-user.target.wants/PorlinexService.service").c_str(), &st) ==
           0;
}

class ServiceControl : public ::testing::Test {
protected:
    void SetUp() override { LTestUseFreeWebPorts(); }
    // A detached service outlives its starter: never leave one behind.
    void TearDown() override {
        LServiceStateRecord s = LServiceStateQuery();
        if (s.state == LServiceState::Running || s.state == LServiceState::StartPending) {
            LServiceSignalStop(s.pid);
            LTestWaitFor(20000, [&] { return !LServiceProcessExists(s.pid); });
        }
    }
    std::string Unit() { return LTestReadFile(LServiceUnitPath()); }
    LTestRoot root_;
};

TEST_F(ServiceControl, InstallWritesRecordUnitAndStartType) {
    ASSERT_TRUE(LServiceInstall("/opt/por linex/porlinex"));
    EXPECT_TRUE(LServiceIsInstalled());
    EXPECT_NE(Unit().find("ExecStart=\"/opt/por linex/porlinex\" -service\n"), std::string::npos) << Unit();
    EXPECT_NE(Unit().find("Restart=on-failure\nRestartSec=1\n"), std::string::npos);
    EXPECT_EQ(Unit().find("User="), std::string::npos);
    EXPECT_TRUE(WantsLinkExists(root_));
    EXPECT_EQ(ServiceValue(u"Enabled"), "1");
    EXPECT_EQ(ServiceValue(u"StartType"), "2");
    EXPECT_EQ(ServiceValue(u"StartTypeText"), "Auto Start");
}

TEST_F(ServiceControl, ReinstallKeepsStartTypeAndAccount) {
    ASSERT_TRUE(LServiceInstall("/old/porlinex"));
    ASSERT_TRUE(LServiceSetStartType(false));
    EXPECT_FALSE(WantsLinkExists(root_));
    EXPECT_EQ(ServiceValue(u"StartTypeText"), "Demand Start");
    ASSERT_TRUE(LServiceSetAccount("root", "secret"));
    EXPECT_EQ(ServiceValue(u"Account"), ".\\root");

    ASSERT_TRUE(LServiceInstall("/new/porlinex"));
    EXPECT_NE(Unit().find("ExecStart=\"/new/porlinex\" -service"), std::string::npos);
    EXPECT_NE(Unit().find("User=root\n"), std::string::npos);
    EXPECT_EQ(Unit().find("secret"), std::string::npos);
    EXPECT_EQ(ServiceValue(u"StartType"), "3");
    EXPECT_FALSE(WantsLinkExists(root_));
}

// systemd accepts the unit as written, for the system account and for a
// log-on account (whose home alone is let in).
TEST_F(ServiceControl, UnitPassesSystemdVerify) {
    ASSERT_TRUE(LServiceInstall(LTestProgramPath()));
    for (const char* account : {"", "daemon"}) {
        if (*account) {
            ASSERT_TRUE(LServiceSetAccount(account, ""));
        }
        std::string out = root_.Path() + "/verify.txt";
        LTestProcess verify(
            LTestRedirectedArgv({"systemd-analyze", "verify", LServiceUnitPath()}, "/dev/null", out));
        EXPECT_EQ(verify.Wait(60000), 0) << account;
        EXPECT_EQ(LTestReadFile(out), "") << account << "\n" << Unit();
    }
    EXPECT_NE(Unit().find("User=daemon\n"), std::string::npos) << Unit();
    EXPECT_NE(Unit().find("ProtectHome=tmpfs\nBindPaths=\"-" + LServiceUserHome("daemon") + "\"\n"), std::string::npos)
        << Unit();
    EXPECT_NE(Unit().find("RuntimeDirectory=porlinex\nRuntimeDirectoryMode=2770\nRuntimeDirectoryPreserve=yes\n"),
              std::string::npos);
    EXPECT_NE(Unit().find("LimitNOFILE="), std::string::npos);
}

TEST_F(ServiceControl, AccountRules) {
    // Not installed: nothing to change, and nothing failed.
    EXPECT_TRUE(LServiceSetAccount("nosuchuser", "x"));
    EXPECT_FALSE(LServiceSetStartType(true));
    ASSERT_TRUE(LServiceInstall("/opt/porlinex"));
    EXPECT_FALSE(LServiceSetAccount("nosuchuser", "x"));
    EXPECT_FALSE(LServiceSetAccount("NOSUCHDOMAIN\\bob", "x"));
    EXPECT_EQ(LGrantServiceLogonRight(".\\root"), 0);
    EXPECT_NE(LGrantServiceLogonRight("NOSUCHDOMAIN\\root"), 0);
    EXPECT_EQ(Unit().find("User="), std::string::npos);
}

TEST_F(ServiceControl, StartStopDeleteDetached) {
    EXPECT_FALSE(LServiceStart());  // not installed
    EXPECT_FALSE(LServiceStop());
    ASSERT_TRUE(LServiceInstall(LTestProgramPath()));
    ASSERT_TRUE(LServiceStart());
    LServiceStateRecord s = LServiceStateQuery();
    EXPECT_EQ(s.state, LServiceState::Running);
    EXPECT_TRUE(LServiceProcessExists(s.pid));
    EXPECT_TRUE(LServiceStart());  // already running counts as started
    EXPECT_EQ(LServiceStateQuery().pid, s.pid);
    {
        LServiceEngineProxy proxy(nullptr);
        ASSERT_TRUE(proxy.Connect());
        EXPECT_EQ(proxy.Query(0x100000F), 1u);
    }
    EXPECT_TRUE(LServiceStop());
    EXPECT_EQ(LServiceStateQuery().state, LServiceState::Stopped);
    EXPECT_TRUE(LTestWaitFor(10000, [&] { return !LServiceProcessExists(s.pid); }));
    EXPECT_NE(LTestService::ActivityText().find("Application stopped"), std::string::npos);
    EXPECT_TRUE(LServiceStop());  // installed and already stopped

    ASSERT_TRUE(LServiceRemove());
    EXPECT_FALSE(LServiceIsInstalled());
    EXPECT_EQ(LTestReadFile(LServiceUnitPath()), "");
    EXPECT_FALSE(LServiceStart());
}

// A service killed without a word left its record behind, and its pid now
// names some other process: nobody may take that process for the service.
TEST_F(ServiceControl, StaleStateFileNamingAnotherProcess) {
    ASSERT_TRUE(LServiceInstall(LTestProgramPath()));
    LTestProcess unrelated({"sleep", "120"});
    ASSERT_TRUE(LServiceStateWrite(LServiceState::Running, unrelated.Pid()));
    EXPECT_EQ(LServiceStateQuery().state, LServiceState::Stopped);
    EXPECT_TRUE(LServiceStop());
    // The switches that close other instances first.
    for (const char* sw : {"-installer", "-bootstrap", "-uninstall"}) {
        LTestProcess p({LTestProgramPath(), sw});
        EXPECT_NE(p.Wait(30000), -1) << sw;
    }
    EXPECT_TRUE(unrelated.Running());

    LTestProcess start({LTestProgramPath(), "-startservice"});
    EXPECT_EQ(start.Wait(60000), 1);
    LServiceStateRecord s = LServiceStateQuery();
    EXPECT_EQ(s.state, LServiceState::Running);
    EXPECT_NE(s.pid, unrelated.Pid());
    {
        LServiceEngineProxy proxy(nullptr);
        ASSERT_TRUE(proxy.Connect());
        EXPECT_EQ(proxy.Query(0x100000F), 1u);  // a service answers
    }
    EXPECT_TRUE(LServiceStop());
    EXPECT_TRUE(unrelated.Running());
}

// A service started without systemd takes nothing of its starter along:
// its folder is "/", its umask 007, its standard streams /dev/null, and no
// descriptor of the starter is open in it.
TEST_F(ServiceControl, DetachedStartTakesNothingOfItsStarter) {
    ASSERT_TRUE(LServiceInstall(LTestProgramPath()));
    std::string marker = root_.Path() + "/starter-file";
    int inherited = open(marker.c_str(), O_WRONLY | O_CREAT, 0600);  // no O_CLOEXEC
    ASSERT_GE(inherited, 0);
    bool started = LServiceStart();
    close(inherited);
    ASSERT_TRUE(started);
    const std::string proc = "/proc/" + std::to_string(LServiceStateQuery().pid);
    std::error_code ec;
    EXPECT_EQ(std::filesystem::read_symlink(proc + "/cwd", ec), "/");
    EXPECT_NE(LTestReadFile(proc + "/status").find("\nUmask:\t0007\n"), std::string::npos);
    for (int fd : {0, 1, 2}) EXPECT_EQ(std::filesystem::read_symlink(proc + "/fd/" + std::to_string(fd), ec), "/dev/null");
    for (const auto& e : std::filesystem::directory_iterator(proc + "/fd", ec))
        EXPECT_NE(std::filesystem::read_symlink(e.path(), ec), marker);
    EXPECT_TRUE(LServiceStop());
}

TEST_F(ServiceControl, StartFailuresAreReported) {
    ASSERT_TRUE(LServiceInstall(root_.Path() + "/missing/porlinex"));
    EXPECT_FALSE(LServiceStart());
    ASSERT_TRUE(LServiceInstall(LTestProgramPath()));
    ASSERT_TRUE(LServiceSetAccount("root", ""));
    // The account goes away after it was set.
    LRegWriteString(LRegHive::LocalMachine, u"System\\CurrentControlSet\\Services\\PorlinexService", u"ObjectName",
                    u".\\nosuchuser");
    EXPECT_FALSE(LServiceStart());
    EXPECT_NE(LTestService::LogText().find("Cannot start service because its logon details are wrong."),
              std::string::npos);
    EXPECT_NE(LServiceStateQuery().state, LServiceState::Running);
}

}  // namespace

namespace {

TEST_F(ServiceControl, SwitchesThatConfigureAndStart) {
    ASSERT_TRUE(LServiceInstall(LTestProgramPath()));
    ASSERT_TRUE(LServiceSetStartType(false));
    struct Case {
        std::vector<std::string> args;
        int exit_code;
        const char* start_type;
    };
    const Case cases[] = {
        {{"-setautorun", "1X"}, 0, "2"},
        // "X": the start type is left alone; "0" removes the Run value.
        {{"-setautorun", "X0"}, 0, "2"},
        {{"-setautorun", "0"}, 0, "3"},
        {{"-setaccount", "root", "pw"}, 1, "3"},
        {{"-setaccount", "nosuchuser", "pw"}, 0, "3"},
    };
    ASSERT_TRUE(LRunOnStartupSet(LTestProgramPath()));
    for (const Case& c : cases) {
        std::vector<std::string> argv = {LTestProgramPath()};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        LTestProcess p(argv);
        EXPECT_EQ(p.Wait(20000), c.exit_code) << c.args[0] << " " << c.args[1];
        EXPECT_EQ(ServiceValue(u"StartType"), c.start_type) << c.args[1];
    }
    // "X0" took the machine's autostart entry away.
    EXPECT_FALSE(LRunOnStartupIsSet());
    EXPECT_EQ(ServiceValue(u"Account"), ".\\root");

    LTestProcess start({LTestProgramPath(), "-startservice"});
    EXPECT_EQ(start.Wait(60000), 1);
    EXPECT_EQ(LServiceStateQuery().state, LServiceState::Running);
    EXPECT_TRUE(LServiceStop());
}

}  // namespace
