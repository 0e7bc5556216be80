#include "foundation/settings_hive.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "foundation/reg_settings.h"
#include "foundation/utf8.h"
#include "tests/support/test_root.h"

namespace {

std::u16string W(const std::string& s) {
    LString w = LFromUtf8(s);
    return std::u16string(w.View());
}

TEST(SettingsHive, TextRoundTripsWithEscapes) {
    struct Case {
        const char16_t* name;
        const char16_t* value;
    } cases[] = {
        {u"Plain", u"8098"},
        {u"Back\\slash", u"C:\\Program Files\\x\\"},
        {u"Lines", u"one\ntwo\r\nthree\r"},
        {u"Eq=ual", u"a=b==c"},
        {u"[NotASection]", u"[x]"},
        {u"LooksBinary", u"hex:0a1b"},
        {u"Empty", u""},
        {u"", u"default value"},
        {u"Unicode \u00e9", u"\u65e5\u672c \U0001F600"},
        {u"Trailing", u"ends with a space "},
    };
    LSettingsHive h;
    for (const auto& c : cases) h.SetText(u"Software\\A", c.name, c.value);
    h.SetBinary(u"Software\\A", u"_Secret", std::string("\x0a\x1b\xff\x00", 4));
    std::string text = h.Serialize();

    LSettingsHive back;
    ASSERT_TRUE(back.Parse(text)) << text;
    for (const auto& c : cases) {
        const LHiveValue* v = back.FindValue(u"software\\a", c.name);
        ASSERT_NE(v, nullptr) << LToUtf8(c.name);
        EXPECT_FALSE(v->binary) << LToUtf8(c.name);
        EXPECT_EQ(v->text, c.value) << LToUtf8(c.name);
    }
    const LHiveValue* bin = back.FindValue(u"Software\\A", u"_SECRET");
    ASSERT_NE(bin, nullptr);
    EXPECT_TRUE(bin->binary);
    EXPECT_EQ(bin->bytes, std::string("\x0a\x1b\xff\x00", 4));
    EXPECT_NE(text.find("_Secret=hex:0a1bff00\n"), std::string::npos) << text;
    EXPECT_EQ(back.Serialize(), text);
}

TEST(SettingsHive, ReadsTheDocumentedLayout) {
    LSettingsHive h;
    ASSERT_TRUE(h.Parse("[Software\\Vek Software\\Porlinex\\WebServer]\r\nPort=8098\nSecureEnabled=0\n"
                        "_Secret=hex:0a1bff\n\n[Other]\n"));
    const LHiveValue* port = h.FindValue(u"SOFTWARE\\vek software\\Porlinex\\WebServer", u"port");
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->text, u"8098");
    EXPECT_TRUE(h.KeyExists(u"Other"));
    EXPECT_TRUE(h.KeyExists(u"Software\\Vek Software"));
    EXPECT_FALSE(h.KeyExists(u"Software\\Vek"));
}

TEST(SettingsHive, RejectsTextThatDoesNotParse) {
    const char* bad[] = {
        "Port=1\n",               // a value before any section
        "[A]\nno equals sign\n",  // not name=value
        "[A]\nx=hex:0g\n",        // not hex
        "[A]\nx=hex:abc\n",       // odd digit count
        "[A\nx=1\n",              // unclosed section
        "[A]\nx=tail\\\n",        // escape cut off
    };
    for (const char* t : bad) {
        LSettingsHive h;
        EXPECT_FALSE(h.Parse(t)) << t;
        EXPECT_TRUE(h.sections.empty());
    }
}

TEST(SettingsHive, ListsDirectSubkeysOnce) {
    LSettingsHive h;
    h.EnsureSection(u"Root\\B\\Deep");
    h.EnsureSection(u"Root\\a");
    h.EnsureSection(u"Root\\b");
    h.EnsureSection(u"Rooted\\x");
    auto subs = h.Subkeys(u"root");
    ASSERT_EQ(subs.size(), 2u);
    EXPECT_EQ(subs[0], u"B");
    EXPECT_EQ(subs[1], u"a");
}

TEST(SettingsHiveFile, BadHiveIsMovedAsideNotEmptiedSilently) {
    LTestRoot root;
    std::string path = LHivePath(LRegHive::LocalMachine);
    ASSERT_TRUE(LRegSettingsSet(u"S", u"Keep", u"1"));
    {
        FILE* f = std::fopen(path.c_str(), "ab");
        std::fputs("garbage without a section marker or equals\n", f);
        std::fclose(f);
    }
    std::string before = LTestReadFile(path);
    char16_t out[260];
    EXPECT_FALSE(LRegSettingsGet(u"S", u"Keep", u"def", out));
    EXPECT_EQ(std::u16string(out), u"def");
    EXPECT_EQ(LTestReadFile(path + ".bad"), before);
    // The next write starts from an empty hive and leaves the .bad copy alone.
    ASSERT_TRUE(LRegSettingsSet(u"S", u"New", u"2"));
    EXPECT_TRUE(LRegSettingsGet(u"S", u"New", u"", out));
    EXPECT_EQ(LTestReadFile(path + ".bad"), before);
}

// The half of the two-process test that runs in each child: it writes its
// own values one write at a time, each a locked read-change-write.
TEST(SettingsHiveFile, ConcurrentWriterChild) {
    const char* who = std::getenv("PORLINEX_HIVE_WRITER");
    if (!who) GTEST_SKIP() << "runs only as the child of ConcurrentWritersFromTwoProcesses";
    for (int i = 0; i < 60; ++i) {
        std::u16string name = W(std::string(who) + std::to_string(i));
        ASSERT_TRUE(LRegSettingsSet(u"Race", name.c_str(), u"v"));
    }
}

TEST(SettingsHiveFile, ConcurrentWritersFromTwoProcesses) {
    LTestRoot root;
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    self[n] = 0;
    std::vector<std::string> argv = {self, "--gtest_filter=SettingsHiveFile.ConcurrentWriterChild"};
    LTestProcess a(argv, {"PORLINEX_HIVE_WRITER=a"});
    LTestProcess b(argv, {"PORLINEX_HIVE_WRITER=b"});
    EXPECT_EQ(a.Wait(60000), 0);
    EXPECT_EQ(b.Wait(60000), 0);
    char16_t out[260];
    int missing = 0;
    for (const char* who : {"a", "b"})
        for (int i = 0; i < 60; ++i)
            missing += !LRegSettingsGet(u"Race", W(std::string(who) + std::to_string(i)).c_str(), u"", out);
    EXPECT_EQ(missing, 0);
    struct stat st;
    ASSERT_EQ(stat(LHivePath(LRegHive::LocalMachine).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0660u);
}

// A key path the file cannot hold is refused: the write fails, nothing is
// written, and every other setting survives the next load.
TEST(SettingsHiveFile, KeyPathsTheFileCannotHoldAreRefused) {
    LTestRoot root;
    ASSERT_TRUE(LRegWriteString(LRegHive::LocalMachine, u"Software\\Keep", u"Password", u"stored"));
    std::string before = LTestReadFile(LHivePath(LRegHive::LocalMachine));
    for (const char16_t* path : {u"A\nB", u"A\r", u"Evil]\n[Software\\Keep", u"", u"A]", u"]"}) {
        EXPECT_FALSE(LRegWriteString(LRegHive::LocalMachine, path, u"x", u"1")) << LToUtf8(path);
        EXPECT_FALSE(LHiveKeyPathValid(path));
    }
    EXPECT_EQ(LTestReadFile(LHivePath(LRegHive::LocalMachine)), before);
    char16_t out[260];
    EXPECT_TRUE(LRegReadString(LRegHive::LocalMachine, u"Software\\Keep", u"Password", u"", out));
    EXPECT_EQ(std::u16string(out), u"stored");
    EXPECT_TRUE(LHiveKeyPathValid(u"Software\\Vek Software\\Porlinex\\[x"));
}

mode_t ModeOf(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// The hives' modes hold whatever the umask says, and a hive left with
// looser bits is tightened by the next read (a world-readable machine hive
// would show its launch token to every local user).
TEST(SettingsHiveFile, ModesHoldUnderAnyUmask) {
    for (mode_t mask : {mode_t(0022), mode_t(0077), mode_t(0)}) {
        SCOPED_TRACE(mask);
        LTestRoot root;
        mode_t old = umask(mask);
        const std::string machine = LHivePath(LRegHive::LocalMachine), user = LHivePath(LRegHive::CurrentUser);
        ASSERT_TRUE(LRegSettingsSet(u"S", u"LaunchToken", u"t"));
        ASSERT_TRUE(LRegUserSettingsSet(u"S", u"X", u"1"));
        EXPECT_EQ(ModeOf(machine), 0660u);
        EXPECT_EQ(ModeOf(user), 0600u);

        ASSERT_EQ(chmod(machine.c_str(), 0644), 0);
        ASSERT_EQ(chmod(user.c_str(), 0666), 0);
        char16_t out[260];
        EXPECT_TRUE(LRegSettingsGet(u"S", u"LaunchToken", u"", out));
        EXPECT_TRUE(LRegUserSettingsGet(u"S", u"X", u"", out));
        EXPECT_EQ(ModeOf(machine), 0640u);
        EXPECT_EQ(ModeOf(user), 0600u);
        // A tighter mode chosen by the administrator stays.
        ASSERT_EQ(chmod(machine.c_str(), 0600), 0);
        ASSERT_TRUE(LRegSettingsSet(u"S", u"LaunchToken", u"u"));
        EXPECT_EQ(ModeOf(machine), 0600u);
        umask(old);
    }
}

// Root writing a hive keeps its owner, group and mode; temporaries of a
// writer that died mid-write are cleared by the next writer.
TEST(SettingsHiveFile, WriteByRootKeepsOwnerAndClearsDeadTemporaries) {
    LTestRoot root;
    const std::string machine = LHivePath(LRegHive::LocalMachine);
    ASSERT_TRUE(LRegSettingsSet(u"S", u"A", u"1"));
    std::ofstream(machine + ".tmp99999") << "[S]\nA=half";
    std::ofstream(machine + ".tmpnotmine") << "x";
    ASSERT_TRUE(LRegSettingsSet(u"S", u"B", u"2"));
    EXPECT_FALSE(std::filesystem::exists(machine + ".tmp99999"));
    EXPECT_TRUE(std::filesystem::exists(machine + ".tmpnotmine"));
    for (const auto& e : std::filesystem::directory_iterator(std::filesystem::path(machine).parent_path())) {
        std::string name = e.path().filename().string();
        EXPECT_TRUE(name.find(".tmp") == std::string::npos || name.ends_with(".tmpnotmine")) << name;
    }

    if (geteuid() != 0) GTEST_SKIP() << "the owner part needs root";
    ASSERT_EQ(chown(machine.c_str(), 65534, 65534), 0);
    ASSERT_EQ(chmod(machine.c_str(), 0640), 0);
    ASSERT_TRUE(LRegSettingsSet(u"S", u"C", u"3"));
    struct stat st;
    ASSERT_EQ(stat(machine.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    char16_t out[260];
    EXPECT_TRUE(LRegSettingsGet(u"S", u"C", u"", out));
}

}  // namespace
