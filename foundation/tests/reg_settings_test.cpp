#include "foundation/reg_settings.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/installation_id.h"
#include "foundation/utf8.h"
#include "tests/support/test_root.h"

namespace {

class RegSettings : public ::testing::Test {
protected:
    LTestRoot root;
    char16_t out[260];
};

TEST_F(RegSettings, FixedReadersTakeAtMost259Characters) {
    std::u16string fits(259, u'x'), too_long(260, u'y');
    ASSERT_TRUE(LRegSettingsSet(u"Len", u"Fits", fits.c_str()));
    ASSERT_TRUE(LRegSettingsSet(u"Len", u"TooLong", too_long.c_str()));
    EXPECT_TRUE(LRegSettingsGet(u"Len", u"Fits", u"d", out));
    EXPECT_EQ(std::u16string(out), fits);
    EXPECT_FALSE(LRegSettingsGet(u"Len", u"TooLong", u"d", out));
    EXPECT_EQ(std::u16string(out), u"d");
    EXPECT_TRUE(LRegSettingsExists(u"Len", u"TooLong"));
    LString whole;
    EXPECT_TRUE(LRegQueryString(LRegHive::LocalMachine, u"Software\\Vek Software\\Porlinex\\Len", u"TooLong", whole));
    EXPECT_EQ(std::u16string(whole.View()), too_long);
}

TEST_F(RegSettings, MissingValuesAndKeysGiveTheDefault) {
    EXPECT_FALSE(LRegSettingsGet(u"Nothing", u"Here", u"dflt", out));
    EXPECT_EQ(std::u16string(out), u"dflt");
    EXPECT_FALSE(LRegSettingsExists(u"Nothing", u"Here"));
    EXPECT_FALSE(LRegUserSettingsGet(u"MainWindow", u"X", u"7", out));
    EXPECT_EQ(std::u16string(out), u"7");
    EXPECT_FALSE(LRegUserWindowHeightExists());
    LString s;
    EXPECT_FALSE(LRegQueryString(LRegHive::CurrentUser, u"No\\Key", u"x", s));
}

TEST_F(RegSettings, MachineAndUserHivesAreSeparate) {
    ASSERT_TRUE(LRegSettingsSet(u"WebServer", u"Port", u"8098"));
    ASSERT_TRUE(LRegUserSettingsSet(u"WebServer", u"Port", u"1"));
    EXPECT_TRUE(LRegSettingsGet(u"webserver", u"PORT", u"", out));
    EXPECT_EQ(std::u16string(out), u"8098");
    EXPECT_TRUE(LRegUserSettingsGet(u"WebServer", u"Port", u"", out));
    EXPECT_EQ(std::u16string(out), u"1");
    EXPECT_NE(LTestReadFile(root.Path() + "/etc/porlinex/machine.reg")
                  .find("[Software\\Vek Software\\Porlinex\\WebServer]\nPort=8098\n"),
              std::string::npos);
    EXPECT_NE(LTestReadFile(root.Path() + "/home/.config/porlinex/user.reg").find("Port=1\n"), std::string::npos);
}

TEST_F(RegSettings, DeleteFallsBackToTheEncryptedTwin) {
    const char16_t* key = u"Software\\Vek Software\\Porlinex\\Email";
    ASSERT_TRUE(LRegWriteBinary(LRegHive::LocalMachine, key, u"_Password", "\x01\x02", 2));
    ASSERT_TRUE(LRegWriteString(LRegHive::LocalMachine, key, u"User", u"me"));
    LRegSettingsDelete(u"Email", u"Password");
    LByteBuffer raw;
    EXPECT_FALSE(LRegQueryBinary(LRegHive::LocalMachine, key, u"_Password", raw));
    // A plain value goes first and its twin stays.
    ASSERT_TRUE(LRegWriteBinary(LRegHive::LocalMachine, key, u"_User", "\x03", 1));
    LRegSettingsDelete(u"Email", u"User");
    EXPECT_FALSE(LRegSettingsGet(u"Email", u"User", u"", out));
    EXPECT_TRUE(LRegQueryBinary(LRegHive::LocalMachine, key, u"_User", raw));
}

TEST_F(RegSettings, UserSettingsDeleteAndWindowPlacement) {
    ASSERT_TRUE(LRegUserSettingsSet(u"Settings", u"Token", u"t"));
    LRegUserSettingsDelete(u"Token");
    EXPECT_FALSE(LRegUserSettingsGet(u"Settings", u"Token", u"", out));
    LSaveWindowPlacement({true, 10, 20, 110, 70}, u"MainWindow");
    EXPECT_TRUE(LRegUserWindowHeightExists());
    struct {
        const char16_t* name;
        const char16_t* value;
    } want[] = {{u"Maximized", u"1"}, {u"X", u"10"}, {u"Y", u"20"}, {u"Width", u"100"}, {u"Height", u"50"}};
    for (const auto& w : want) {
        EXPECT_TRUE(LRegUserSettingsGet(u"MainWindow", w.name, u"", out));
        EXPECT_EQ(std::u16string(out), w.value);
    }
}

TEST_F(RegSettings, SubkeyEnumeratorWalksEachSubkeyOnce) {
    const char16_t* base = u"Software\\Vek Software\\Porlinex\\Accounts";
    for (const char16_t* k : {u"\\one", u"\\two\\deeper", u"\\TWO", u"\\three"}) {
        std::u16string path = std::u16string(base) + k;
        ASSERT_TRUE(LRegWriteString(LRegHive::LocalMachine, path.c_str(), u"v", u"1"));
    }
    LRegSettingsKey key;
    LRegSettingsKeyInit(key, u"Accounts");
    EXPECT_EQ(std::u16string(key.path), base);
    std::vector<std::u16string> seen;
    for (LRegSubkeyEnum e(key); e.currentPath[0]; e.Next()) {
        seen.emplace_back(e.currentName);
        EXPECT_EQ(std::u16string(e.currentPath), std::u16string(base) + u"\\" + e.currentName);
    }
    EXPECT_EQ(seen, (std::vector<std::u16string>{u"one", u"two", u"three"}));
    LRegSettingsKeyInit(key, u"Missing");
    LRegSubkeyEnum none(key);
    EXPECT_EQ(none.currentPath[0], 0);
}

TEST_F(RegSettings, AppPathPrefersTheMachineHive) {
    const char16_t* key = u"software\\microsoft\\windows\\currentversion\\app paths\\tool.exe";
    EXPECT_FALSE(LRegGetAppPath(u"tool.exe", out));
    ASSERT_TRUE(LRegWriteString(LRegHive::CurrentUser, key, u"", u"/user/tool"));
    EXPECT_TRUE(LRegGetAppPath(u"tool.exe", out));
    EXPECT_EQ(std::u16string(out), u"/user/tool");
    ASSERT_TRUE(LRegWriteString(LRegHive::LocalMachine, key, u"", u"/machine/tool"));
    EXPECT_TRUE(LRegGetAppPath(u"tool.exe", out));
    EXPECT_EQ(std::u16string(out), u"/machine/tool");
}

TEST_F(RegSettings, ComponentPathMustExist) {
    const char16_t* key = u"Software\\WOW6432Node\\Vek Software\\Components\\7zip";
    EXPECT_FALSE(LGetComponentPath(u"7zip", out));
    ASSERT_TRUE(LRegWriteString(LRegHive::LocalMachine, key, u"Path", u"/nonexistent/7z"));
    EXPECT_FALSE(LGetComponentPath(u"7zip", out));
    std::u16string real = LFromUtf8(root.Path()).View().data();
    ASSERT_TRUE(LRegWriteString(LRegHive::LocalMachine, key, u"Path", real.c_str()));
    EXPECT_TRUE(LGetComponentPath(u"7zip", out));
}

TEST(InstallationId, TextFromAddressAndTick) {
    const uint8_t mac[6] = {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};
    char16_t a[260], b[260];
    LInstallationIdText(mac, 0x00ABCD00, a);
    EXPECT_EQ(std::u16string(a).size(), 11u);
    for (char16_t* p = a; *p; ++p) EXPECT_TRUE(*p != u'+' && *p != u'/');
    // The 64-bit value 0x001a2b3c4d5eabcd, least significant byte first, in
    // base64 without fill.
    EXPECT_EQ(std::u16string(a), u"zateTTwrGgA");
    LInstallationIdText(mac, 0x00ABCE00, b);
    EXPECT_NE(std::u16string(a), std::u16string(b));
}

TEST_F(RegSettings, InstallationIdIsMadeOnceAndKept) {
    char16_t first[260], again[260];
    LGetInstallationId(first);
    EXPECT_EQ(std::u16string(first).size(), 11u);
    LGetInstallationId(again);
    EXPECT_EQ(std::u16string(first), std::u16string(again));
    EXPECT_TRUE(LRegSettingsGet(u"Software", u"IID", u"", out));
    EXPECT_EQ(std::u16string(out), std::u16string(first));
}

}  // namespace
