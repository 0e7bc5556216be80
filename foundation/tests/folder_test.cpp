#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "foundation/data_folder.h"
#include "foundation/files.h"
#include "foundation/folder.h"
#include "foundation/utf8.h"
#include "tests/support/test_root.h"

namespace fs = std::filesystem;

namespace {

class FolderTest : public ::testing::Test {
protected:
    std::string P(const std::string& rel) { return root.Path() + "/" + rel; }
    std::u16string W(const std::string& rel) { return std::u16string(LFromUtf8(P(rel)).c_str()); }
    void Touch(const std::string& rel, const std::string& text = "x") { std::ofstream(P(rel)) << text; }
    LTestRoot root;
};

TEST_F(FolderTest, CreateDirectoryTree) {
    EXPECT_TRUE(LCreateDirectoryTree(W("a/b/c").c_str()));
    EXPECT_TRUE(fs::is_directory(P("a/b/c")));
    EXPECT_FALSE(LCreateDirectoryTree(W("a/b/c").c_str()));  // already there
    EXPECT_TRUE(LCreateDirectoryTree(W("a/b/d").c_str()));
    EXPECT_FALSE(LCreateDirectoryTree(u""));
}

TEST_F(FolderTest, FolderSizeCountsEveryFileAndLargeOnesFully) {
    fs::create_directories(P("s/sub/deeper"));
    Touch("s/one", "12345");
    Touch("s/sub/two", "123");
    {
        // A sparse 5 GB file: the size, not the disk blocks, counts.
        std::ofstream big(P("s/sub/deeper/big"));
    }
    ASSERT_EQ(truncate(P("s/sub/deeper/big").c_str(), 5LL << 30), 0);
    fs::create_directory_symlink(P("s/sub"), P("s/loop"));  // never followed
    EXPECT_EQ(LGetFolderSize(W("s").c_str()), (5ULL << 30) + 8);
    EXPECT_EQ(LGetFolderSize(u""), 0u);
    EXPECT_EQ(LGetFolderSize(W("missing").c_str()), 0u);
}

TEST_F(FolderTest, DeleteTreeVariants) {
    struct Case {
        const char* name;
        bool (*remove)(const char16_t*);
    } cases[] = {
        {"plain", &LDeleteFolderTree},
        {"force", &LDeleteFolderTreeForce},
        {"retry", [](const char16_t* p) { return LDeleteFolderTreeRetry(p, 500); }},
    };
    for (const auto& c : cases) {
        fs::create_directories(P("t/x/y"));
        Touch("t/f");
        Touch("t/x/y/g");
        EXPECT_TRUE(c.remove(W("t").c_str())) << c.name;
        EXPECT_FALSE(fs::exists(P("t"))) << c.name;
        EXPECT_FALSE(c.remove(W("t").c_str())) << c.name;  // missing: false at once
    }
}

TEST_F(FolderTest, ForceDeletesLinksNotTheirTargets) {
    fs::create_directories(P("target/inner"));
    Touch("target/keep");
    Touch("target/inner/keep2");
    fs::create_directories(P("tree/sub"));
    fs::create_directory_symlink(P("target"), P("tree/link"));
    fs::create_symlink(P("target/keep"), P("tree/sub/filelink"));
    // A folder without write rights for its owner is opened up first.
    ASSERT_EQ(chmod(P("tree/sub").c_str(), 0500), 0);
    EXPECT_TRUE(LDeleteFolderTreeForce(W("tree").c_str()));
    EXPECT_FALSE(fs::exists(P("tree")));
    EXPECT_TRUE(fs::exists(P("target/keep")));
    EXPECT_TRUE(fs::exists(P("target/inner/keep2")));
    EXPECT_EQ(fs::status(P("target")).permissions() & fs::perms::owner_write, fs::perms::owner_write);
}

TEST_F(FolderTest, DeleteFolderFilesLeavesSubfolders) {
    fs::create_directories(P("f/sub"));
    Touch("f/a");
    Touch("f/b");
    EXPECT_FALSE(LDeleteFolderFiles(W("f").c_str()));  // the sub-folder keeps it
    EXPECT_FALSE(fs::exists(P("f/a")));
    EXPECT_TRUE(fs::exists(P("f/sub")));
    fs::remove(P("f/sub"));
    Touch("f/c");
    EXPECT_TRUE(LDeleteFolderFiles(W("f").c_str()));
    EXPECT_FALSE(fs::exists(P("f")));
}

TEST_F(FolderTest, DataFolderAndSubfoldersAreSharedWithTheGroup) {
    char16_t data[260], logs[260];
    ASSERT_TRUE(LGetDataFolder(data));
    EXPECT_EQ(LToUtf8(data), root.DataFolder());
    ASSERT_TRUE(LGetDataSubfolder(u"Logs", logs));
    EXPECT_EQ(LToUtf8(logs), root.DataFolder() + "/Logs");
    for (const std::string& f : {P("var/lib/Vek Software"), root.DataFolder(), root.DataFolder() + "/Logs"}) {
        struct stat st;
        ASSERT_EQ(stat(f.c_str(), &st), 0) << f;
        EXPECT_EQ(st.st_mode & 07777, 02770u) << f;
    }
    EXPECT_EQ(LDataSubfolderPath("Crypt"), root.DataFolder() + "/Crypt");

    char16_t user[260], app[260];
    LGetUserAppDataFolder(app);
    EXPECT_EQ(LToUtf8(app), P("home/.local/share"));
    ASSERT_TRUE(LCreateUserDataFolder(user));
    EXPECT_EQ(LToUtf8(user), P("home/.local/share/Vek Software/Porlinex"));
    EXPECT_TRUE(fs::is_directory(LToUtf8(user)));

    Touch("file");
    fs::create_symlink(P("file"), P("link"));
    EXPECT_TRUE(LGrantEveryoneFullAccess(W("file").c_str()));
    EXPECT_EQ(fs::status(P("file")).permissions(), fs::perms(0660));
    EXPECT_FALSE(LGrantEveryoneFullAccess(W("link").c_str()));
}

}  // namespace
