// Deleting a tree: links inside are removed as links, never followed.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "setup/remove_tree.h"
#include "tests/support/test_root.h"

namespace {

namespace fs = std::filesystem;

TEST(RemoveTree, LinksAreRemovedNotFollowed) {
    LTestRoot root;
    std::string outside = root.Path() + "/outside", tree = root.Path() + "/tree";
    fs::create_directories(outside + "/sub");
    std::ofstream(outside + "/sub/keep") << "keep";
    fs::create_directories(tree + "/a/b/c");
    std::ofstream(tree + "/a/b/c/file") << "x";
    fs::create_directory_symlink(outside, tree + "/a/folder-link");
    fs::create_symlink(outside + "/sub/keep", tree + "/a/b/file-link");
    fs::create_directory_symlink("/", tree + "/root-link");
    EXPECT_TRUE(LRemoveTreeNoFollow(tree));
    EXPECT_FALSE(fs::exists(fs::symlink_status(tree)));
    EXPECT_EQ(LTestReadFile(outside + "/sub/keep"), "keep");

    // The tree itself being a link: the link goes, its target stays.
    fs::create_directory_symlink(outside, tree);
    EXPECT_TRUE(LRemoveTreeNoFollow(tree));
    EXPECT_TRUE(fs::exists(outside + "/sub/keep"));
    EXPECT_TRUE(LRemoveTreeNoFollow(tree)) << "nothing there counts as removed";
}

}  // namespace
