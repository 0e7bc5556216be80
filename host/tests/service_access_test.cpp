// Who may use the service socket: its mode bits, and the peer check that
// refuses a local user outside the allowed group even when the file's mode
// would let that user connect.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "foundation/reg_settings.h"
#include "host/service_access.h"

#include "platform/root.h"
#include "platform/unix_socket.h"
#include "tests/support/service_harness.h"
#include "tests/support/test_root.h"

namespace {

constexpr const char* kClient =
    "import socket,struct,sys\n"
    "s=socket.socket(socket.AF_UNIX)\n"
    "s.connect(sys.argv[1])\n"
    "s.settimeout(10)\n"
    // A refused peer may be closed before its query is even written.
    "try:\n"
    "    s.sendall(struct.pack('<HHIII',0x1234,2,0x100000F,0,1))\n"
    "    d=s.recv(16)\n"
    "except ConnectionError:\n"
    "    d=b''\n"
    "sys.exit(0 if len(d)==16 else 3)\n";

constexpr gid_t kNogroup = 65534;

// Runs the one-query client as the user nobody: 0 answered, 3 dropped.
int QueryAsNobody() {
    LTestProcess p({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "/usr/bin/python3", "-c", kClient,
                    LServiceSocketPath()});
    return p.Wait(20000);
}

// Opens the path to the socket for everybody, so only the peer check stands
// between another user and the service.
void OpenPathToEveryone(const LTestRoot& root) {
    chmod(root.Path().c_str(), 0755);
    chmod((root.Path() + "/run").c_str(), 0755);
    chmod((root.Path() + "/run/porlinex").c_str(), 02777);
    chmod(LServiceSocketPath().c_str(), 0666);
}

mode_t ModeOf(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST(ServiceAccess, SocketAndStateFollowTheAccessRule) {
    LTestRoot root;
    LTestService service;
    ASSERT_TRUE(service.WaitRunning());
    EXPECT_EQ(ModeOf(root.Path() + "/run/porlinex"), 02770u);
    EXPECT_EQ(ModeOf(LServiceSocketPath()), 0660u);
    EXPECT_EQ(ModeOf(root.Path() + "/run/porlinex/PorlinexService.state"), 0660u);
}

TEST(ServiceAccess, PeerOutsideTheGroupIsRefused) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    LTestRoot root;
    LTestService service;
    ASSERT_TRUE(service.WaitRunning());
    OpenPathToEveryone(root);
    EXPECT_EQ(QueryAsNobody(), 3);
}

TEST(ServiceAccess, PeerInTheGroupIsServed) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    LTestRoot root;
    // The run folder's group is the group of allowed users.
    std::string run = root.Path() + "/run/porlinex";
    ASSERT_TRUE(LPlatformCreateFolderTree(run, LPlatformSharedFolderMode));
    ASSERT_EQ(chown(run.c_str(), 0, kNogroup), 0);
    LTestService service;
    ASSERT_TRUE(service.WaitRunning());
    OpenPathToEveryone(root);
    EXPECT_EQ(QueryAsNobody(), 0);
}

}  // namespace

namespace {

// A user the access choice lists is served through its named entry on the
// socket, outside the run folder's group; the entry taken away, refused.
TEST(ServiceAccess, PeerListedByTheAccessChoiceIsServed) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    LTestRoot root;
    std::filesystem::create_directories(root.Path() + "/etc");
    std::ofstream(root.Path() + "/etc/passwd") << "nob:x:65534:65534::/:/bin/sh\n";
    std::ofstream(root.Path() + "/etc/login.defs") << "UID_MIN 1000\nUID_MAX 65534\n";
    LRegSettingsSet(u"Service", u"Access", u"1");
    ASSERT_TRUE(LServiceApplyAccess());
    LTestService service;
    ASSERT_TRUE(service.WaitRunning());
    chmod(root.Path().c_str(), 0755);
    chmod((root.Path() + "/run").c_str(), 0755);
    EXPECT_EQ(QueryAsNobody(), 0);
    LRegSettingsSet(u"Service", u"Access", u"0");
    ASSERT_TRUE(LServiceApplyAccess());
    // Refused at connect by the socket's own access list (exit 1) or
    // dropped by the peer check (3).
    EXPECT_NE(QueryAsNobody(), 0);
}

}  // namespace
