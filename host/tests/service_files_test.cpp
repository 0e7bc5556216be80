// What the service leaves on disk and on its standard error: the modes of
// its files whatever the umask it was started with, the data folder
// tightened at start, and every log line shown in a terminal too.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "tests/support/service_harness.h"
#include "tests/support/test_root.h"
#include "tests/support/tls_peer.h"

namespace {

unsigned ModeOf(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

class ServiceFiles : public ::testing::TestWithParam<mode_t> {
protected:
    LTestRoot root_;
};

TEST_P(ServiceFiles, SharedModesWhateverTheUmaskAndLooseOnesTightened) {
    const std::string data = root_.DataFolder();
    std::filesystem::create_directories(data);
    std::ofstream(data + "/main.db");
    chmod(data.c_str(), 0777);
    chmod((data + "/main.db").c_str(), 0644);
    mode_t old = umask(GetParam());
    LTestService service;
    umask(old);
    ASSERT_TRUE(service.WaitRunning());
    EXPECT_EQ(ModeOf(data), 02770u);
    // The -wal and -shm files go with the last handle; the library's test
    // sees them while they exist.
    EXPECT_EQ(ModeOf(data + "/main.db"), 0660u);
    int logs = 0;
    for (const auto& e : std::filesystem::directory_iterator(data + "/Logs")) {
        EXPECT_EQ(ModeOf(e.path()), 0660u) << e.path();
        ++logs;
    }
    EXPECT_GE(logs, 2);  // the daily log and the activity log
    EXPECT_EQ(service.Stop(), 0);
}

INSTANTIATE_TEST_SUITE_P(Umasks, ServiceFiles, ::testing::Values(0022, 0077));

TEST(ServiceLog, EveryLineReachesStandardErrorToo) {
    LTestRoot root;
    LTestUseFreeWebPorts();
    std::string err = root.Path() + "/stderr.txt";
    LTestProcess service(LTestRedirectedArgv({LTestProgramPath(), "-service", "-manual"}, "/dev/null", err));
    ASSERT_TRUE(LTestWaitFor(20000, [] { return LTestServiceStateWord() == "running"; }));
    EXPECT_EQ(service.Signal(SIGTERM, 20000), 0);
    std::string text = LTestReadFile(err);
    EXPECT_TRUE(std::regex_search(text, std::regex("(^|\n)\\d\\d:\\d\\d:\\d\\d Starting web server \\(Non-secure\\)\n")))
        << text;
    EXPECT_NE(LTestService::LogText().find("Starting web server (Non-secure)"), std::string::npos);
}

}  // namespace
