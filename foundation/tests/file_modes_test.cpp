// The modes of what the program writes into the data folder hold whatever
// the umask of the process says, and looser modes found there are tightened.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "foundation/data_folder.h"
#include "foundation/database.h"
#include "foundation/log.h"
#include "tests/support/test_root.h"

namespace {

unsigned ModeOf(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

std::string DailyLog(const std::string& logs) {
    for (const auto& e : std::filesystem::directory_iterator(logs))
        if (e.path().filename().string().find(" Log.txt") != std::string::npos) return e.path();
    return "";
}

class FileModes : public ::testing::TestWithParam<mode_t> {};

TEST_P(FileModes, DatabaseAndLogAreSharedWhateverTheUmask) {
    LTestRoot root;
    mode_t old = umask(GetParam());
    LLogCloseFile();
    {
        LAppDatabaseAccount db(false);
        ASSERT_TRUE(db.Exec(u"CREATE TABLE T(A); INSERT INTO T VALUES (1);"));
        LLog("a line", LLogInfo);
        const std::string data = root.DataFolder();
        EXPECT_EQ(ModeOf(data), 02770u);
        for (const char* file : {"/main.db", "/main.db-wal", "/main.db-shm"})
            EXPECT_EQ(ModeOf(data + file), 0660u) << file;
        EXPECT_EQ(ModeOf(DailyLog(data + "/Logs")), 0660u);
    }
    LLogCloseFile();
    umask(old);
}

INSTANTIATE_TEST_SUITE_P(Umasks, FileModes, ::testing::Values(0022, 0077));

TEST(FileModesAtStart, LooserModesAreTightened) {
    LTestRoot root;
    const std::string data = root.DataFolder();
    const std::string maker = root.Path() + "/var/lib/Vek Software";
    std::filesystem::create_directories(data + "/Crypt");
    for (const char* file : {"/main.db", "/main.db-wal", "/private.txt"}) std::ofstream(data + file) << "x";
    chmod(maker.c_str(), 0777);
    chmod(data.c_str(), 0755);
    chmod((data + "/Crypt").c_str(), 0775);
    chmod((data + "/main.db").c_str(), 0644);
    chmod((data + "/main.db-wal").c_str(), 0666);
    chmod((data + "/private.txt").c_str(), 0600);
    LTightenDataFolder();
    EXPECT_EQ(ModeOf(maker), 0775u);  // it only names the data folder
    EXPECT_EQ(ModeOf(data), 02770u);
    EXPECT_EQ(ModeOf(data + "/Crypt"), 02770u);
    EXPECT_EQ(ModeOf(data + "/main.db"), 0660u);
    EXPECT_EQ(ModeOf(data + "/main.db-wal"), 0660u);
    // Nothing is opened up that was closed.
    EXPECT_EQ(ModeOf(data + "/private.txt"), 0600u);
}

}  // namespace
