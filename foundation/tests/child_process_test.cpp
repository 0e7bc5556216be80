#include "foundation/child_process.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <thread>

#include "foundation/reg_settings.h"
#include "foundation/utf8.h"
#include "foundation/wait.h"
#include "tests/support/test_root.h"

namespace {

// Asks to stop from the first question on.
class LStoppingProgress : public LPlainWait {
public:
    bool IsStopRequested() override { return true; }
    uint32_t WaitHandle(LHandle, uint32_t) override { return 1; }
};

std::u16string W(const std::string& s) { return std::u16string(LFromUtf8(s).View()); }

TEST(ChildProcess, ChildThatPrintsGetsItsArgumentsVerbatim) {
    LChildProcess child;
    // Text that a shell would act on reaches the program as one argument.
    ASSERT_TRUE(child.Start({"/bin/echo", "a; rm -rf / $(id) `x` 'q' \"d\" *"}, 4096));
    std::string got;
    char buf[256];
    for (uint32_t n; (n = child.Read(buf, sizeof buf)) > 0;) got.append(buf, n);
    EXPECT_EQ(got, "a; rm -rf / $(id) `x` 'q' \"d\" *\n");
    child.Close();
    EXPECT_EQ(child.process.Pid(), -1);
}

TEST(ChildProcess, ChildReadsWhatItIsSent) {
    LChildProcess child;
    ASSERT_TRUE(child.Start({"cat"}, 65536));
    std::string data(100000, 'z');
    std::thread writer([&] {
        EXPECT_TRUE(child.Write(data.data(), data.size()));
        LPlatformCloseFd(child.input);
    });
    std::string got;
    char buf[8192];
    for (uint32_t n; (n = child.Read(buf, sizeof buf)) > 0;) got.append(buf, n);
    writer.join();
    EXPECT_EQ(got, data);
}

TEST(ChildProcess, HiddenProgramsAndTheirResults) {
    uint32_t result = 9;
    int code = -5;
    LPlainWait wait;
    LRunProcessHiddenWait(&result, &wait, {"false"}, &code);
    EXPECT_EQ(result, 0u);
    EXPECT_EQ(code, 1);
    LRunProcessHiddenWait(&result, &wait, {"/nonexistent/program"}, &code);
    EXPECT_EQ(result, 2u);
    LRunProcessHiddenWaitEx(&result, &wait, {"sleep", "3"}, 0);
    EXPECT_EQ(result, 0u);
    // A hanging program: time-out, and a stop request; neither kills it.
    LRunProcessHiddenWaitEx(&result, &wait, {"sleep", "3"}, 100);
    EXPECT_EQ(result, 2u);
    LStoppingProgress stop;
    LRunProcessHiddenWaitEx(&result, &stop, {"sleep", "3"}, 60000);
    EXPECT_EQ(result, 1u);
    LRunProgramRequest req{{"true"}, true};
    LRunProgramAndWait(&result, &wait, req);
    EXPECT_EQ(result, 0u);
}

TEST(ChildProcess, CommandOutputGoesToTheFile) {
    LTestRoot root;
    std::string file = root.Path() + "/out.txt";
    uint32_t result = 9;
    LPlainWait wait;
    LRunCommandToFile(&result, &wait, {"ls", "-d", "/", "/nonexistent-folder"}, W(file).c_str());
    EXPECT_EQ(result, 0u);
    std::string out = LTestReadFile(file);
    EXPECT_NE(out.find("/\n"), std::string::npos) << out;
    EXPECT_NE(out.find("nonexistent-folder"), std::string::npos) << out;
}

TEST(SevenZip, PasswordSwitchOnlyWhereAnArchiveIsRead) {
    EXPECT_EQ(LBuild7ZipArgv("/usr/bin/7z", {"x", "a.zip"}), (LArgv{"/usr/bin/7z", "-p", "x", "a.zip"}));
    EXPECT_EQ(LBuild7ZipArgv("/usr/bin/7z", {"a", "a.zip", "f"}), (LArgv{"/usr/bin/7z", "a", "a.zip", "f"}));
    EXPECT_EQ(LBuild7ZipArgv("/usr/bin/7z", {"d", "a.zip", "f"}), (LArgv{"/usr/bin/7z", "d", "a.zip", "f"}));
    EXPECT_EQ(LBuild7ZipArgv("/usr/bin/7z", {"l", "a.zip"}), (LArgv{"/usr/bin/7z", "-p", "l", "a.zip"}));
}

TEST(SevenZip, ZipsAMonthFolderWithRelativeEntries) {
    LTestRoot root;
    ASSERT_FALSE(L7ZipProgramPath().empty());
    std::string base = root.Path() + "/backup";
    std::string month = base + "/2024-03";
    ASSERT_EQ(mkdir(base.c_str(), 0755), 0);
    ASSERT_EQ(mkdir(month.c_str(), 0755), 0);
    std::ofstream(month + "/a.eml") << "Subject: a\r\n\r\nbody\r\n";
    std::ofstream(month + "/b $(x).eml") << "Subject: b\r\n\r\nbody\r\n";
    std::string archive = base + "/2024-03.zip";
    uint32_t status = 9;
    ASSERT_TRUE(LZipPathWith7Zip(W(archive).c_str(), W(month).c_str(), W(base).c_str(), &status, nullptr));
    EXPECT_EQ(status, 0u);

    std::string listing = root.Path() + "/listing.txt";
    uint32_t result = 9;
    LPlainWait wait;
    LRun7Zip(&result, &wait, {"l", "-slt", archive}, W(listing).c_str());
    EXPECT_EQ(result, 0u);
    std::string text = LTestReadFile(listing);
    EXPECT_NE(text.find("Path = 2024-03/a.eml"), std::string::npos) << text;
    EXPECT_NE(text.find("Path = 2024-03/b $(x).eml"), std::string::npos) << text;

    // Nothing to zip: 7-Zip fails or leaves no archive.
    std::string missing = base + "/1999-01";
    EXPECT_FALSE(LZipPathWith7Zip(W(base + "/1999-01.zip").c_str(), W(missing).c_str(), W(base).c_str(), &status,
                                  nullptr));
    EXPECT_EQ(status, 3u);
}

TEST(SevenZip, RecordedComponentPathWins) {
    LTestRoot root;
    char16_t out[260];
    EXPECT_FALSE(LGetComponentPath(u"7zip", out));
    std::string fake = root.Path() + "/7z";
    std::ofstream(fake) << "";
    ASSERT_TRUE(LRegWriteString(LRegHive::LocalMachine, u"Software\\WOW6432Node\\Vek Software\\Components\\7zip",
                                u"Path", W(fake).c_str()));
    EXPECT_EQ(L7ZipProgramPath(), fake);
}

}  // namespace
