#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>

#include "foundation/date_time.h"
#include "foundation/reg_settings.h"
#include "foundation/system_access.h"
#include "foundation/system_cmdline.h"
#include "foundation/system_host.h"
#include "foundation/system_install.h"
#include "foundation/system_memory.h"
#include "foundation/system_random.h"
#include "foundation/system_shell.h"
#include "foundation/system_text.h"
#include "foundation/system_version.h"
#include "foundation/utf8.h"
#include "tests/support/test_root.h"

namespace fs = std::filesystem;

namespace {

TEST(SystemText, ParseInt64) {
    struct Case {
        const char* text;
        int64_t value;
    } cases[] = {
        {"  -42abc", -42},
        {"99999999999999999999", INT64_MAX},
        {"-99999999999999999999", -INT64_MAX},
        {"+", 0},
        {"", 0},
        {"\t\n+17", 17},
        {"9223372036854775807", INT64_MAX},
        {"12 34", 12},
        {"x12", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LParseInt64A(c.text), c.value) << c.text;
        EXPECT_EQ(LParseInt64W(LFromUtf8(c.text).c_str()), c.value) << c.text;
    }
    EXPECT_EQ(LParseInt64A(nullptr), 0);
}

TEST(SystemText, RoundFloat) {
    EXPECT_EQ(LRoundFloat(2.5), 3.0f);
    EXPECT_EQ(LRoundFloat(-2.5), -3.0f);
    EXPECT_EQ(LRoundFloat(2.4999), 2.0f);
    EXPECT_EQ(LRoundFloat(-0.4), 0.0f);
}

TEST(SystemText, UrlDecode) {
    struct Case {
        const char* text;
        const char* decoded;
    } cases[] = {
        {"a%2", "a"},       {"a%00b", "ab"},     {"%4A+%4a", "J J"},
        {"%zz1", "1"},      {"%z1x", "\x01x"},   {"100%", "100"},     {"caf%C3%A9", "caf\xc3\xa9"},
    };
    for (const auto& c : cases) {
        char out[260];
        LUrlDecodeA(out, c.text);
        EXPECT_STREQ(out, c.decoded) << c.text;
    }
    std::string big(400, 'a');
    char out[260];
    LUrlDecodeA(out, big.c_str());
    EXPECT_EQ(std::string(out).size(), 259u);
}

TEST(SystemText, ExtractTagText) {
    char out[260];
    EXPECT_TRUE(LExtractTagText("<r><ip>10.0.0.7</ip></r>", "<ip>", out));
    EXPECT_STREQ(out, "10.0.0.7");
    EXPECT_TRUE(LExtractTagText("x<ip>", "<ip>", out));
    EXPECT_STREQ(out, "");
    EXPECT_FALSE(LExtractTagText("<r></r>", "<ip>", out));
    EXPECT_STREQ(out, "");
}

TEST(SystemText, FormattingIntoSizedBuffers) {
    char a[8];
    LFormatA(a, sizeof a, "%s-%d", "abcdef", 42);
    EXPECT_STREQ(a, "abcdef-");
    a[0] = 'x';
    LFormatA(a, 0, "%d", 1);
    EXPECT_EQ(a[0], 'x');  // size 0 writes nothing

    char16_t w[6];
    LFormatW(w, 6, u"%s=%d", u"name", 7);
    EXPECT_EQ(std::u16string(w), u"name=");
    char16_t w260[260];
    LSprintfW(w260, u"%d/%s", 3, "x");
    EXPECT_EQ(std::u16string(w260), u"3/x");
    LFormatEscW(w260, 260, u"'%Q'", u"it's");
    EXPECT_EQ(std::u16string(w260), u"'it''s'");
}

TEST(SystemRandom, FifteenBitValuesAndLetters) {
    std::set<int> seen;
    for (int i = 0; i < 2000; ++i) {
        int r = LRand();
        ASSERT_GE(r, 0);
        ASSERT_LE(r, 32767);
        seen.insert(r);
    }
    EXPECT_GT(seen.size(), 1000u);
    char letters[11];
    LRandomLowercase(letters, 10);
    EXPECT_EQ(std::string(letters).size(), 10u);
    for (char c : std::string(letters)) EXPECT_TRUE(c >= 'a' && c <= 'z');
    // Each thread seeds its own generator.
    int other = -1;
    std::thread([&] { other = LRand(); }).join();
    EXPECT_GE(other, 0);
}

TEST(SystemVersion, AnswersAsACurrentWindows) {
    struct Case {
        int major, minor;
        bool at_least;
    } cases[] = {{5, 1, true}, {6, 0, true}, {6, 4, true}, {10, 0, true}, {10, 1, false}, {11, 0, false}};
    for (const auto& c : cases) EXPECT_EQ(LIsWindowsVersionAtLeast(c.major, c.minor), c.at_least) << c.major;
    EXPECT_TRUE(LIsXPSP3OrLater());
    EXPECT_FALSE(LIsRunningUnderWine());
    EXPECT_EQ(LGetWindowsProductType(), 0u);
}

TEST(SystemVersion, ReleaseNumberAndDate) {
    LTestRoot root;
    EXPECT_EQ(LGetWindows10Release(), 2409);
    time_t expected = 0;
    ASSERT_TRUE(LMakeLocalTime(&expected, 2024, 9, 1, 0, 0, 0));
    EXPECT_EQ(LGetOSReleaseDate(), expected);

    const char16_t* key = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
    ASSERT_TRUE(LRegWriteString(LRegHive::LocalMachine, key, u"ReleaseId", u"2004"));
    EXPECT_EQ(LGetWindows10Release(), 2004);
    struct Case {
        const char16_t* display;
        int release;
    } cases[] = {{u"22H2", 2209}, {u"24H1", 2404}, {u"21H2", 2109}, {u"bogus", 2004}};
    for (const auto& c : cases) {
        ASSERT_TRUE(LRegWriteString(LRegHive::LocalMachine, key, u"DisplayVersion", c.display));
        EXPECT_EQ(LGetWindows10Release(), c.release) << LToUtf8(c.display);
    }
}

TEST(SystemMemory, FiguresAndTheUsageTable) {
    EXPECT_GT(LGetAvailableMemory(), 0u);
    EXPECT_GT(LGetLargestFreeRegion(), uint64_t(1) << 30);
    uint64_t usage = 0, limit = 0, total = 0;
    ASSERT_TRUE(LGetProcessMemoryFigures(&usage, &limit, &total));
    EXPECT_GT(usage, 0u);
    EXPECT_GT(limit, 0u);
    void* p = LMalloc(16);
    EXPECT_NE(p, nullptr);
    std::free(p);

    ASSERT_TRUE(LUsageCountTableResize(4));
    LUsageCountTable& t = LUsageCounts();
    t.entries[0] = {7, 3};
    t.entries[1] = {9, 1};
    t.count = 2;
    ASSERT_TRUE(LUsageCountTableResize(8));
    EXPECT_EQ(t.capacity, 8u);
    EXPECT_EQ(t.count, 2u);
    EXPECT_EQ(t.entries[1].id, 9u);
    EXPECT_EQ(t.entries[7].id, 0u);
    ASSERT_TRUE(LUsageCountTableResize(1));
    EXPECT_EQ(t.count, 1u);
    EXPECT_EQ(t.entries[0].count, 3u);
}

// Runs as a child with its own command line (see the test after it).
TEST(SystemCmdLineChild, ReadsItsArguments) {
    if (!std::getenv("PORLINEX_CMDLINE_CHILD")) GTEST_SKIP() << "only run as a child";
    char16_t value[260];
    LCmdLineGetSwitchValue(u"-exe", value);
    EXPECT_EQ(std::u16string(value), u"DebugCrashReport");
    EXPECT_TRUE(LCmdLineHasSwitch(u"-service"));
    EXPECT_FALSE(LCmdLineHasSwitch(u"-Service"));
    LCmdLineGetSwitchValue(u"-last", value);
    EXPECT_EQ(std::u16string(value), u"");
    LCmdLineGetSwitchValue(u"-missing", value);
    EXPECT_EQ(std::u16string(value), u"");
}

TEST(SystemCmdLine, SwitchesAndValues) {
    LTestProcess child({fs::read_symlink("/proc/self/exe").string(), "--gtest_filter=SystemCmdLineChild.*",
                        "-exe", "DebugCrashReport", "-service", "-last"},
                       {"PORLINEX_CMDLINE_CHILD=1"});
    EXPECT_EQ(child.Wait(30000), 0);
    // The program's own path is not an argument.
    EXPECT_FALSE(LCmdLineHasSwitch(LFromUtf8(fs::read_symlink("/proc/self/exe").string()).c_str()));
}

TEST(SystemHost, NameAndResolution) {
    char16_t name[260];
    LGetHostNameW(name);
    char expected[260] = {0};
    gethostname(expected, sizeof expected - 1);
    EXPECT_EQ(LToUtf8(name), expected);
    EXPECT_EQ(LResolveIPv4("127.0.0.1"), htonl(0x7F000001));
    EXPECT_EQ(LResolveIPv4("10.1.2.3"), htonl(0x0A010203));
    EXPECT_EQ(LResolveIPv4("localhost"), htonl(0x7F000001));
    EXPECT_EQ(LResolveIPv4(""), 0u);

    // The host's own addresses: whatever they are, both answers are dotted
    // texts of addresses the host name resolves to.
    char local[260], host[260];
    LGetLocalIPv4Text(local);
    LGetHostIPv4Text(host);
    in_addr a;
    EXPECT_EQ(inet_pton(AF_INET, local, &a), 1) << local;
    EXPECT_EQ(inet_pton(AF_INET, host, &a), 1) << host;
    if (std::string(host) != "0.0.0.0") {
        EXPECT_NE(std::string(local), "0.0.0.0");
    }
}

TEST(SystemShell, OpensWithTheDesktopOpener) {
    LTestRoot root;
    const std::string bin = root.Path() + "/bin", record = root.Path() + "/opened";
    fs::create_directories(bin);
    std::ofstream(bin + "/xdg-open") << "#!/bin/sh\nprintf '%s' \"$1\" > '" << record << "'\n";
    fs::permissions(bin + "/xdg-open", fs::perms::owner_all);
    const std::string old_path = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (bin + ":" + old_path).c_str(), 1);
    LShellOpen(u"https://example.com/a b?x=1&y=2");
    setenv("PATH", old_path.c_str(), 1);
    ASSERT_TRUE(LTestWaitFor(10000, [&] { return LTestReadFile(record) == "https://example.com/a b?x=1&y=2"; }));
}

TEST(SystemAccess, FolderModes) {
    LTestRoot root;
    const std::string f = root.Path() + "/crypt";
    fs::create_directories(f);
    std::u16string w(LFromUtf8(f).c_str());
    struct Case {
        bool (*apply)(const char16_t*);
        unsigned mode;
    } cases[] = {
        {[](const char16_t* p) { return LProtectFolderWithSddl(p, false); }, 0700},
        {[](const char16_t* p) { return LProtectFolderWithSddl(p, true); }, 0750},
        {[](const char16_t* p) { return LSetFolderAccessForEveryone(p, true, nullptr, nullptr); }, 02770},
        {[](const char16_t* p) { return LSetFolderAccessForEveryone(p, false, u"a", u"b\r\nc"); }, 0700},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(c.apply(w.c_str()));
        struct stat st;
        ASSERT_EQ(stat(f.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, c.mode);
    }
    std::ofstream(root.Path() + "/file") << "x";
    EXPECT_FALSE(LProtectFolderWithSddl(LFromUtf8(root.Path() + "/file").c_str(), true));
    EXPECT_FALSE(LSetFolderAccessForEveryone(u"", true, nullptr, nullptr));
}

TEST(SystemInstall, NotInstalledUntilTheStoreSaysSo) {
    LTestRoot root;
    char16_t path[260] = u"x";
    // zlib is the system's: its library is where the loader finds it.
    ASSERT_TRUE(LEnsureZlibComponent(nullptr, path));
    EXPECT_NE(LToUtf8(path).find("libz.so"), std::string::npos) << LToUtf8(path);
    EXPECT_EQ(access(LToUtf8(path).c_str(), R_OK), 0);
    // A registered component comes first, as it does for the loader.
    ASSERT_TRUE(LRegWriteString(LRegHive::LocalMachine, u"Software\\WOW6432Node\\Vek Software\\Components\\zlib1x64",
                                u"Path", LFromUtf8(root.Path()).c_str()));
    ASSERT_TRUE(LEnsureZlibComponent(nullptr, path));
    EXPECT_EQ(LToUtf8(path), root.Path());
    path[0] = 0;
    EXPECT_FALSE(LGetInstallerPath(path));
    EXPECT_EQ(path[0], 0);
    ASSERT_TRUE(LRegUserSettingsSet(u"Settings", u"InstallerPath", u"/opt/porlinex"));
    EXPECT_TRUE(LGetInstallerPath(path));
    EXPECT_EQ(std::u16string(path), u"/opt/porlinex");
}

}  // namespace
