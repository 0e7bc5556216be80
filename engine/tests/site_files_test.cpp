// The interface files the program carries, put into the web folder: at
// the function and by the real service on a fresh and on a read-only folder.
#include "engine/site_files.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "foundation/log.h"
#include "tests/support/service_harness.h"
#include "tests/support/test_root.h"

namespace {

namespace fs = std::filesystem;

const std::string kSiteSource = std::string(PORLINEX_SOURCE_DIR) + "/web/pages/site";

void Write(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

std::string Ours(const LWebSiteFile& f) { return std::string(reinterpret_cast<const char*>(f.bytes), f.size); }

ino_t Inode(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

TEST(SiteFiles, TheProgramCarriesEveryFileOfTheSiteFolderByteForByte) {
    std::set<std::string> source, built_in;
    for (const auto& e : fs::directory_iterator(kSiteSource))
        if (e.is_regular_file() && e.path().filename().string()[0] != '.') source.insert(e.path().filename());
    for (const LWebSiteFile& f : LWebSiteFilesBuiltIn()) {
        built_in.insert(f.name);
        EXPECT_EQ(Ours(f), LTestReadFile(kSiteSource + "/" + f.name)) << f.name;
    }
    EXPECT_EQ(built_in, source);
}

TEST(SiteFiles, FreshFolderGetsEveryFileAndADifferentOneIsReplaced) {
    LTestRoot root;
    const std::string web = root.Path() + "/Web";
    fs::create_directories(web);
    ASSERT_TRUE(LWebSiteFilesInstall(web));
    for (const LWebSiteFile& f : LWebSiteFilesBuiltIn()) EXPECT_EQ(LTestReadFile(web + "/" + f.name), Ours(f)) << f.name;

    const auto files = LWebSiteFilesBuiltIn();
    ASSERT_GE(files.size(), 3u);
    const std::string current = web + "/" + files[0].name;  // as ours: kept with its copy
    const std::string older = web + "/" + files[1].name;    // an earlier version
    const std::string longer = web + "/" + files[2].name;   // ours with more after it
    Write(current + ".gz", "copy of the current text");
    Write(older, "an older page");
    Write(older + ".gz", "copy of the older page");
    Write(longer, Ours(files[2]) + "tail");
    Write(web + "/mine.html", "the user's own page");
    Write(web + "/mine.html.gz", "its copy");
    const ino_t current_inode = Inode(current);

    ASSERT_TRUE(LWebSiteFilesInstall(web));
    EXPECT_EQ(Inode(current), current_inode) << "an unchanged file is not written again";
    EXPECT_EQ(LTestReadFile(current + ".gz"), "copy of the current text");
    EXPECT_EQ(LTestReadFile(older), Ours(files[1]));
    EXPECT_FALSE(fs::exists(older + ".gz")) << "the old text's copy would be served until it is made again";
    EXPECT_EQ(LTestReadFile(longer), Ours(files[2]));
    EXPECT_EQ(LTestReadFile(web + "/mine.html"), "the user's own page");
    EXPECT_EQ(LTestReadFile(web + "/mine.html.gz"), "its copy");
    for (const auto& e : fs::directory_iterator(web))
        EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos) << e.path();
}

TEST(SiteFiles, AFileThatCannotBeWrittenIsLoggedAndTheOthersAreStillWritten) {
    LTestRoot root;
    LLogCloseFile();  // the next line opens the log under this root
    const std::string web = root.Path() + "/Web";
    const auto files = LWebSiteFilesBuiltIn();
    ASSERT_GE(files.size(), 2u);
    // A folder where a file belongs stops even root from replacing it.
    const std::string blocked = web + "/" + files[0].name;
    fs::create_directories(blocked + "/inside");
    EXPECT_FALSE(LWebSiteFilesInstall(web));
    EXPECT_TRUE(fs::is_directory(blocked + "/inside"));
    EXPECT_EQ(LTestReadFile(web + "/" + files[1].name), Ours(files[1]));
    EXPECT_NE(LTestService::LogText().find("cannot write the interface file " + blocked + ": Is a directory"),
              std::string::npos)
        << LTestService::LogText();
}

// The real service on a fresh root serves the interface; on a Web folder it
// may not write, it says so in its log and still serves what is there.
TEST(SiteFiles, ServiceInstallsThemAndStartsWhenTheFolderIsReadOnly) {
    LTestRoot root;
    {
        LTestService service;
        ASSERT_TRUE(service.WaitRunning());
        ASSERT_TRUE(service.WaitWebListening());
        for (const LWebSiteFile& f : LWebSiteFilesBuiltIn())
            EXPECT_EQ(LTestReadFile(root.DataFolder() + "/Web/" + f.name), Ours(f)) << f.name;
        EXPECT_EQ(service.Stop(), 0);
    }

    const LWebSiteFile& changed = LWebSiteFilesBuiltIn()[0];
    const std::string web = root.DataFolder() + "/Web";
    Write(web + "/" + changed.name, "an older version");
    ASSERT_EQ(chmod(web.c_str(), 0550), 0);
    // Root writes anywhere; without the capability to pass over file modes
    // it meets the folder's mode as any user would.
    std::vector<std::string> argv = {LTestProgramPath(), "-service", "-manual"};
    if (geteuid() == 0)
        argv.insert(argv.begin(), {"setpriv", "--inh-caps=-all", "--bounding-set=-dac_override,-dac_read_search"});
    LTestProcess service(argv);
    EXPECT_TRUE(LTestWaitFor(30000, [] { return LTestServiceStateWord() == "running"; }));
    EXPECT_TRUE(LTestWaitFor(20000, [&] {
        return LTestService::LogText().find("cannot write the interface file " + web + "/" + changed.name +
                                            ": Permission denied") != std::string::npos;
    })) << LTestService::LogText();
    EXPECT_EQ(service.Signal(SIGTERM, 20000), 0);
    chmod(web.c_str(), 0770);
}

}  // namespace
