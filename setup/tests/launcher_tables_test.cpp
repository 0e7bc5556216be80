// The launcher's table file: what a good file gives, which lines refuse
// the whole file, its bounds, the shipped (empty) file, and loading from
// the machine folder under a test root.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "setup/launcher_tables.h"
#include "setup/tests/maker_peer.h"

namespace {

const char kGood[] =
    "# programs first, then tasks\n"
    "\n"
    "program\tPdfTool\tPDF Tool\tpdfsetup\tpdftool\tReads and writes PDF files.\n"
    "program\tNewEdit\tNew Editor ✓\tneweditsetup\t+newedit\t\n"
    "task\tUtilities\tpdftool\tMerge two PDF files\n"
    "task\tEditors\tNewEdit\tEdit a text\n"
    "task\tEditors\tMissing\tTask of an unknown program\n";

TEST(LauncherTables, AGoodFileGivesItsRows) {
    LSuiteTables t;
    std::string error;
    ASSERT_TRUE(LParseSuiteTables(kGood, t, &error)) << error;
    ASSERT_EQ(t.programs.size(), 2u);
    EXPECT_EQ(t.programs[0].display, u"PDF Tool");
    EXPECT_EQ(t.programs[0].description, u"Reads and writes PDF files.");
    EXPECT_EQ(t.programs[1].display, u"New Editor \u2713");
    EXPECT_EQ(t.programs[1].page, u"+newedit");
    EXPECT_EQ(t.programs[1].description, u"");
    ASSERT_EQ(t.tasks.size(), 3u);
    EXPECT_EQ(t.tasks[0].category, u"Utilities");
    EXPECT_EQ(t.tasks[0].text, u"Merge two PDF files");
    // Keys match without regard to case; a task may name an unknown program.
    EXPECT_EQ(t.FindProgram(u"PDFTOOL"), &t.programs[0]);
    EXPECT_EQ(t.FindProgram(u"Missing"), nullptr);
}

TEST(LauncherTables, AnyBadLineRefusesTheWholeFile) {
    const std::string cases[] = {
        "program\tK\tName\tksetup\tk\n",                    // a field short
        "program\tK\tName\tksetup\tk\tText\textra\n",       // a field over
        "program\t../etc\tName\tksetup\tk\tText\n",         // a key that leaves its folder
        "program\t.hidden\tName\tksetup\tk\tText\n",
        "program\tTwo words\tName\tksetup\tk\tText\n",
        "program\tK\t\tksetup\tk\tText\n",                  // no display name
        "program\tK\t Name\tksetup\tk\tText\n",             // leading blank
        "program\tK\tName\tk/setup\tk\tText\n",             // a setup name with a slash
        "program\tK\tName\tksetup\t++k\tText\n",
        "program\tK\tName\tksetup\tk?x=1\tText\n",          // a page that adds a query
        "program\tK\tNa\x01me\tksetup\tk\tText\n",          // a control character
        "program\tK\tNa\xffme\tksetup\tk\tText\n",          // not UTF-8
        "program\tpdftool\tName\tksetup\tk\tText\n",        // a key listed twice
        "task\tUtilities\tK\n",
        "task\t\tK\tText\n",
        "task\tUtilities\tK\tText\r\n",                     // CR is a control character
        "tasks\tUtilities\tK\tText\n",                      // unknown row kind
        " # not a comment\n",
        "program\tK\tName\tksetup\tk\t" + std::string(2100, 'x') + "\n",
    };
    for (const std::string& c : cases) {
        SCOPED_TRACE(c);
        LSuiteTables t;
        t.tasks.push_back({u"stale", u"stale", u"stale"});
        std::string error;
        EXPECT_FALSE(LParseSuiteTables(std::string(kGood) + c, t, &error));
        EXPECT_TRUE(t.programs.empty() && t.tasks.empty());
        EXPECT_NE(error.find("line 8"), std::string::npos) << error;
    }
}

TEST(LauncherTables, BoundsHold) {
    std::string tasks = "program\tK\tName\tksetup\tk\tText\n";
    for (size_t i = 0; i < LSuiteMaxTasks; ++i) tasks += "task\tUtilities\tK\tTask " + std::to_string(i) + "\n";
    LSuiteTables t;
    ASSERT_TRUE(LParseSuiteTables(tasks, t));
    EXPECT_EQ(t.tasks.size(), LSuiteMaxTasks);
    EXPECT_FALSE(LParseSuiteTables(tasks + "task\tUtilities\tK\tOne more\n", t));

    std::string programs;
    for (size_t i = 0; i <= LSuiteMaxPrograms; ++i)
        programs += "program\tK" + std::to_string(i) + "\tName\tksetup\tk\tText\n";
    EXPECT_FALSE(LParseSuiteTables(programs, t));

    std::string comments(LSuiteTablesMaxBytes + 1, '\n');
    comments[0] = '#';
    EXPECT_FALSE(LParseSuiteTables(comments, t));
}

TEST(LauncherTables, TheShippedFileHasNoRows) {
    std::string shipped = LTestReadFile(std::string(PORLINEX_SOURCE_DIR) + "/setup/data/launcher.txt");
    ASSERT_FALSE(shipped.empty());
    LSuiteTables t;
    ASSERT_TRUE(LParseSuiteTables(shipped, t));
    EXPECT_TRUE(t.programs.empty() && t.tasks.empty());
}

TEST(LauncherTables, LoadedFromTheMachineFolder) {
    LTestRoot root;
    const std::string path = LSuiteTablesPath();
    EXPECT_EQ(path, root.Path() + "/etc/porlinex/launcher.txt");
    EXPECT_TRUE(LLoadSuiteTables().programs.empty());  // missing
    LTestWriteFile(path, kGood);
    EXPECT_EQ(LLoadSuiteTables().programs.size(), 2u);
    LTestWriteFile(path, std::string(kGood) + "oops\n");
    EXPECT_TRUE(LLoadSuiteTables().programs.empty());
    // A FIFO is never opened for reading (it would block the launcher).
    std::filesystem::remove(path);
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    EXPECT_TRUE(LLoadSuiteTables().programs.empty());
}

}  // namespace
