#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "foundation/lstring.h"
#include "net/smtp/mail_discovery.h"
#include "net/smtp/mail_discovery_ini.h"
#include "tests/support/test_root.h"

namespace {

class MailDiscoveryTest : public ::testing::Test {
protected:
    void Write(const std::string& relative, const std::string& text) {
        std::string path = root_.Path() + "/" + relative;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }
    void SetHandler(const std::string& desktopId) {
        Write("home/.config/mimeapps.list",
              "[Added Associations]\ntext/html=firefox.desktop;\n\n[Default Applications]\n"
              "x-scheme-handler/mailto=" + desktopId + ";other.desktop;\n");
    }
    // One account with two identities, of which only the second has an
    // address, and a server named by the identity.
    void WriteProfile(const std::string& folder, const std::string& profilesIni, const std::string& profile,
                      bool defaultServer) {
        Write(folder + "/profiles.ini", profilesIni);
        std::string prefs =
            "// Mozilla User Preferences\n"
            "user_pref(\"mail.account.account1.identities\", \"id1,id2\");\n"
            "user_pref(\"mail.account.account10.identities\", \"id9\");\n"
            "user_pref(\"mail.accountmanager.accounts\", \"account1,account2\");\n"
            "user_pref(\"mail.accountmanager.defaultaccount\", \"account1\");\n"
            "user_pref(\"mail.identity.id1.fullName\", \"Ann\");\n"
            "user_pref(\"mail.identity.id2.useremail2\", \"wrong@example.org\");\n"
            "user_pref(\"mail.identity.id2.useremail\", \"ann@example.org\");\n"
            "user_pref(\"mail.identity.id2.smtpServer\", \"smtp2\");\n"
            "user_pref(\"mail.smtpserver.smtp1.hostname\", \"smtp.default.example\");\n"
            "user_pref(\"mail.smtpserver.smtp2.hostname\", \"smtp.identity.example\");\n";
        if (defaultServer) prefs += "user_pref(\"mail.smtp.defaultserver\", \"smtp1\");\n";
        Write(folder + "/" + profile + "/prefs.js", prefs);
    }
    bool Find(std::string* server, std::string* address) {
        char16_t s[260], a[260];
        bool ok = LDefaultMailAccountFind(s, a);
        *server = LToUtf8(s);
        *address = LToUtf8(a);
        return ok;
    }
    LTestRoot root_;
};

TEST_F(MailDiscoveryTest, NoHandlerGivesFalseAndEmptyOutputs) {
    std::string server = "x", address = "x";
    EXPECT_FALSE(Find(&server, &address));
    EXPECT_EQ(server, "");
    EXPECT_EQ(address, "");
    EXPECT_EQ(LDefaultMailtoHandler(), "");
}

TEST_F(MailDiscoveryTest, ThunderbirdDefaultProfile) {
    SetHandler("thunderbird.desktop");
    WriteProfile("home/.thunderbird",
                 "[General]\nStartWithLastProfile=1\n\n[Profile1]\nName=old\nIsRelative=1\nPath=old.profile\n\n"
                 "[Profile0]\nName=default\nIsRelative=1\nPath=abcd.default-release\nDefault=1\n\n"
                 "[InstallFDC34C9F024745EB]\nDefault=abcd.default-release\nLocked=1\n",
                 "abcd.default-release", true);
    std::string server, address;
    EXPECT_TRUE(Find(&server, &address));
    EXPECT_EQ(server, "smtp.default.example");
    EXPECT_EQ(address, "ann@example.org");
}

TEST_F(MailDiscoveryTest, ThunderbirdWithoutDefaultUsesFirstPathAndIdentityServer) {
    SetHandler("org.mozilla.Thunderbird.desktop");
    WriteProfile("home/.var/app/org.mozilla.Thunderbird/.thunderbird",
                 "[General]\nStartWithLastProfile=1\n\n[Profile0]\nName=p\nIsRelative=1\nPath=p.first\n",
                 "p.first", false);
    std::string server, address;
    EXPECT_TRUE(Find(&server, &address));
    EXPECT_EQ(server, "smtp.identity.example");
    EXPECT_EQ(address, "ann@example.org");
}

TEST_F(MailDiscoveryTest, AbsoluteProfilePath) {
    SetHandler("thunderbird.desktop");
    std::string absolute = root_.Path() + "/elsewhere/profile";
    WriteProfile("home/.thunderbird", "[Profile0]\nIsRelative=0\nPath=" + absolute + "\nDefault=1\n",
                 "../../elsewhere/profile", true);
    std::string server, address;
    EXPECT_TRUE(Find(&server, &address));
    EXPECT_EQ(server, "smtp.default.example");
}

TEST_F(MailDiscoveryTest, DefaultProfileWithoutPathFails) {
    SetHandler("thunderbird.desktop");
    WriteProfile("home/.thunderbird", "[Profile0]\nPath=a\n\n[Profile1]\nDefault=1\n", "a", true);
    std::string server, address;
    EXPECT_FALSE(Find(&server, &address));
}

TEST_F(MailDiscoveryTest, OtherClientsAreNotRead) {
    SetHandler("org.gnome.Evolution.desktop");
    WriteProfile("home/.thunderbird", "[Profile0]\nPath=a\nDefault=1\n", "a", true);
    std::string server, address;
    EXPECT_FALSE(Find(&server, &address));
    EXPECT_EQ(LDefaultMailtoHandler(), "org.gnome.Evolution.desktop");
    EXPECT_EQ(LMailClientNameOfDesktopEntry("thunderbird_thunderbird.desktop"), u"Mozilla Thunderbird");
}

TEST_F(MailDiscoveryTest, SystemListIsReadWhenTheUserHasNone) {
    Write("usr/share/applications/mimeapps.list", "[Default Applications]\nx-scheme-handler/mailto=thunderbird.desktop\n");
    EXPECT_EQ(LDefaultMailtoHandler(), "thunderbird.desktop");
}

}  // namespace

namespace {

// The [Install...] section names the profile in use, even when another
// profile is marked Default and the folder's name begins with a digit.
TEST_F(MailDiscoveryTest, InstallSectionNamesTheProfileInUse) {
    SetHandler("thunderbird.desktop");
    WriteProfile("home/.thunderbird",
                 "[Install4F96D1932A9F858E]\nDefault=1xyz.default-release\nLocked=1\n\n"
                 "[Profile1]\nName=old\nIsRelative=1\nPath=0old.default\nDefault=1\n\n"
                 "[Profile0]\nName=default-release\nIsRelative=1\nPath=1xyz.default-release\n\n"
                 "[General]\nStartWithLastProfile=1\nVersion=2\n",
                 "1xyz.default-release", true);
    std::string server, address;
    EXPECT_TRUE(Find(&server, &address));
    EXPECT_EQ(server, "smtp.default.example");
    EXPECT_EQ(address, "ann@example.org");
}

// Files that are not regular files are skipped at once: a link to
// /dev/zero never ends and a FIFO blocks its reader.
TEST_F(MailDiscoveryTest, FilesThatAreNotRegularAreSkipped) {
    SetHandler("thunderbird.desktop");
    WriteProfile("home/.thunderbird", "[Profile0]\nPath=p\nDefault=1\n", "p", true);
    std::string prefs = root_.Path() + "/home/.thunderbird/p/prefs.js";
    std::string ini = root_.Path() + "/home/.thunderbird/profiles.ini";
    std::string server, address;
    ASSERT_TRUE(Find(&server, &address));

    std::filesystem::remove(prefs);
    std::filesystem::create_symlink("/dev/zero", prefs);
    EXPECT_FALSE(Find(&server, &address));

    std::filesystem::remove(ini);
    ASSERT_EQ(mkfifo(ini.c_str(), 0600), 0);
    EXPECT_FALSE(Find(&server, &address));

    std::filesystem::remove(ini);
    std::ofstream(ini, std::ios::binary) << std::string(LMailIniMaxBytes + 1, '#');
    EXPECT_FALSE(Find(&server, &address));

    std::string mimeapps = root_.Path() + "/home/.config/mimeapps.list";
    std::filesystem::remove(mimeapps);
    std::filesystem::create_symlink("/dev/zero", mimeapps);
    EXPECT_EQ(LDefaultMailtoHandler(), "");
}

}  // namespace
