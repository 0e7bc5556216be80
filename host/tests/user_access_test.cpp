// Access to the service under a test root with fixture account files: who
// is listed, the named entries on the run folder, socket and machine hive
// after each choice, and the polkit rule.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "foundation/reg_settings.h"
#include "host/service_access.h"
#include "host/service_control.h"
#include "platform/folder_acl.h"
#include "platform/root.h"
#include "tests/support/test_root.h"

namespace {

namespace fs = std::filesystem;

std::string Shell(const std::string& cmd) {
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
    return out;
}

// The named-user entries of a file, as "user:UID:rw" lines: read and write
// (search follows the object's own x bits); numeric ids, as the fixture
// users exist only in the fixture files.
std::string Named(const std::string& path, bool defaults = false) {
    std::string all = Shell("getfacl -n -p " + std::string(defaults ? "-d " : "") + "'" + path + "' 2>/dev/null");
    std::string out;
    std::istringstream in(all);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("user:", 0) == 0 && line.size() > 6 && line[5] != ':') out += line.substr(0, line.rfind(':') + 3) + "\n";
    return out;
}

class UserAccessTest : public ::testing::Test {
protected:
    UserAccessTest() {
        fs::create_directories(root_.Path() + "/etc");
        std::ofstream(root_.Path() + "/etc/passwd") << "root:x:0:0:root:/root:/bin/bash\n"
                                                       "daemon:x:1:1::/usr/sbin:/usr/sbin/nologin\n"
                                                       "ann:x:1001:1001:Ann:/home/ann:/bin/bash\n"
                                                       "bob:x:1002:1002:Bob:/home/bob:/bin/bash\n"
                                                       "cid:x:1003:1003:Cid:/home/cid:/usr/sbin/nologin\n"
                                                       "dee:x:1004:27:Dee:/home/dee:\n"
                                                       "svc:x:998:998::/var/svc:/bin/sh\n"
                                                       "eve:x:70000:70000::/home/eve:/bin/bash\n";
        std::ofstream(root_.Path() + "/etc/group") << "root:x:0:\nsudo:x:27:ann\nusers:x:100:bob\n";
        std::ofstream(root_.Path() + "/etc/login.defs") << "# fixture\nUID_MIN 1000\nUID_MAX 60000\n";
        run_ = LPlatformKnownFolder(LKnownFolder::RunFolder);
        fs::create_directories(run_);
        std::ofstream(run_ + "/PorlinexService.state") << "running 1\n";
        hive_ = LPlatformKnownFolder(LKnownFolder::MachineHive);
        LRegSettingsSet(u"Service", u"Probe", u"1");  // makes the hive file
        // A socket in the run folder, as the service has.
        sock_ = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::snprintf(a.sun_path, sizeof a.sun_path, "%s/PorlinexService", run_.c_str());
        bind(sock_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    ~UserAccessTest() override { close(sock_); }
    void Choose(const char16_t* access, const char16_t* granted = u"") {
        LRegSettingsSet(u"Service", u"Access", access);
        LRegSettingsSet(u"Service", u"Granted", granted);
        EXPECT_TRUE(LServiceApplyAccess());
    }
    LTestRoot root_;
    std::string run_, hive_;
    int sock_ = -1;
};

TEST_F(UserAccessTest, ListsNormalAccountsAndTheirAdministrators) {
    auto users = LListLocalUsers();
    std::string seen;
    for (const LLocalUser& u : users) seen += u.name + (u.admin ? "*" : "") + " ";
    EXPECT_EQ(seen, "ann* bob dee* ");  // nologin, system and out-of-range ids left out
}

TEST_F(UserAccessTest, EachChoiceGivesAndTakesNamedEntries) {
    // An entry of another account, set by the administrator, stays.
    ASSERT_EQ(Shell("setfacl -m u:4242:r '" + run_ + "/PorlinexService.state' && echo ok"), "ok\n");
    struct Case {
        const char16_t* access;
        const char16_t* granted;
        const char* entries;  // on the socket
    } cases[] = {
        {u"0", u"", "user:1001:rw\nuser:1004:rw\n"},
        {u"1", u"", "user:1001:rw\nuser:1002:rw\nuser:1004:rw\n"},
        {u"2", u"bob;nobody;", "user:1001:rw\nuser:1002:rw\nuser:1004:rw\n"},
        {u"2", u"", "user:1001:rw\nuser:1004:rw\n"},
        {u"", u"", "user:1001:rw\nuser:1002:rw\nuser:1004:rw\n"},  // empty means all users
        {u"0", u"", "user:1001:rw\nuser:1004:rw\n"},
    };
    for (const Case& c : cases) {
        Choose(c.access, c.granted);
        std::string socket_path = run_ + "/PorlinexService";
        EXPECT_EQ(Named(socket_path), c.entries) << (int)c.access[0];
        EXPECT_EQ(Named(hive_), c.entries);
        std::string folder = Named(run_);
        EXPECT_NE(folder.find("user:1001:rw"), std::string::npos);
        EXPECT_EQ(Named(run_, true), Named(run_));  // what the service makes later inherits them
        EXPECT_EQ(LPlatformAclUserCanWrite(socket_path, 1002), std::string(c.entries).find("1002") != std::string::npos);
        EXPECT_NE(Named(run_ + "/PorlinexService.state").find("user:4242:r-"), std::string::npos);
    }
    // Never the world bits.
    EXPECT_EQ(fs::status(run_).permissions() & fs::perms::others_write, fs::perms::none);
    EXPECT_EQ(fs::status(hive_).permissions() & fs::perms::others_write, fs::perms::none);
}

TEST_F(UserAccessTest, ALongGrantedListIsReadWhole) {
    std::u16string granted;
    for (int i = 0; i < 40; ++i) granted += u"someone-not-here-" + std::u16string(1, u'a' + i % 26) + u";";
    granted += u"bob;";  // past any fixed-size field
    ASSERT_GT(granted.size(), 600u);
    Choose(u"2", granted.c_str());
    EXPECT_TRUE(LPlatformAclUserCanWrite(run_ + "/PorlinexService", 1002));
}

TEST_F(UserAccessTest, PolkitRuleNamesTheAllowedUsers) {
    Choose(u"2", u"bob;");
    std::string rule = LTestReadFile(LServicePolkitRulePath());
    EXPECT_NE(rule.find("[\"ann\", \"bob\", \"dee\"].indexOf(subject.user)"), std::string::npos);
    // The unit the service is installed as, or granted users start nothing.
    const std::string unit = fs::path(LServiceUnitPath()).filename().string();
    EXPECT_EQ(unit, "PorlinexService.service");
    EXPECT_NE(rule.find("action.lookup(\"unit\") == \"" + unit + "\""), std::string::npos) << rule;
    Choose(u"0");
    EXPECT_NE(LTestReadFile(LServicePolkitRulePath()).find("[\"ann\", \"dee\"]"), std::string::npos);
}

}  // namespace
