// Setup programs fetched from the maker's hosts and run, and .zip
// components unpacked and registered. The hosts are python3 -m http.server
// peers on free loopback ports; fixtures are signed with a key made per run.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "foundation/lstring.h"
#include "foundation/reg_settings.h"
#include "setup/component_install.h"
#include "setup/installer_download.h"
#include "setup/tests/maker_peer.h"

namespace {

namespace fs = std::filesystem;

class RecordingWait : public LPlainWait {
public:
    void ShowError(const char16_t* text) override { errors.push_back(LToUtf8(text)); }
    std::vector<std::string> errors;
};

// The setup fixture: records its arguments and LQUIET, then writes the
// program's Settings section as an installed program would.
std::string SetupScript(const std::string& marker) {
    return "#!/bin/sh\n"
           "echo \"$* LQUIET=$LQUIET\" > '" + marker + "'\n"
           "printf '\\n[Software\\\\Vek Software\\\\Porlinex\\\\Settings]\\nInstalled=1\\n' >> "
           "\"$PORLINEX_ROOT/home/.config/porlinex/user.reg\"\n";
}

class InstallerDownloadTest : public ::testing::Test {
protected:
    void SetUp() override {
        signer_.Trust();
        a_ = std::make_unique<LTestFileServer>(root_.Path() + "/a");
        b_ = std::make_unique<LTestFileServer>(root_.Path() + "/b");
        ASSERT_TRUE(a_->Ready() && b_->Ready());
        LRegSettingsSet(u"Maker", u"DownloadHost", LFromUtf8(a_->Host()).c_str());
        LRegSettingsSet(u"Maker", u"DownloadHostB", LFromUtf8(b_->Host()).c_str());
        // Nothing listens on port 1: the component hosts fail at once.
        LRegSettingsSet(u"Maker", u"ComponentHost", u"127.0.0.1:1");
        LRegSettingsSet(u"Maker", u"ComponentHostB", u"127.0.0.1:1");
        // The fixture's own settings write needs the hive to exist.
        LRegUserSettingsSet(u"Software", u"Probe", u"1");
        marker_ = root_.Path() + "/marker";
        script_ = SetupScript(marker_);
    }
    void Serve(const std::string& host, const std::string& bytes, const std::string& signature) {
        LTestWriteFile(root_.Path() + "/" + host + "/download/pxsetup.exe", bytes);
        LTestWriteFile(root_.Path() + "/" + host + "/download/pxsetup.exe.sig", signature);
    }

    LTestSigner signer_;
    LTestRoot root_;
    std::unique_ptr<LTestFileServer> a_, b_;
    std::string marker_, script_;
    RecordingWait wait_;
};

TEST_F(InstallerDownloadTest, BadSignatureOnHostAFallsBackToHostB) {
    Serve("a", script_ + "echo tampered\n", signer_.Sign(script_));
    Serve("b", script_, signer_.Sign(script_));
    EXPECT_EQ(LDownloadAndRunInstaller(wait_, "pxsetup", "Porlinex", true, "vc", nullptr, true), 0);
    EXPECT_EQ(LTestReadFile(marker_), "-LQUIET -instby vcPorlinex LQUIET=1\n");
    EXPECT_TRUE(wait_.errors.empty());
    // This process's own LQUIET is as it was (unset).
    EXPECT_EQ(std::getenv("LQUIET"), nullptr);
}

TEST_F(InstallerDownloadTest, NothingRunsWhenNoSourceVerifies) {
    Serve("a", script_, signer_.Sign(script_ + " "));
    Serve("b", "", signer_.Sign(""));
    EXPECT_EQ(LDownloadAndRunInstaller(wait_, "pxsetup", "Porlinex", true, "vc", nullptr, false), 2);
    EXPECT_FALSE(fs::exists(marker_));
    EXPECT_EQ(wait_.errors,
              std::vector<std::string>{
                  "Cannot verify the install-on-demand component signature. Please contact Vek support."});
}

TEST(InstallerSources, OrderFollowsTheAlternateHostFlag) {
    LTestRoot root;
    LRegSettingsSet(u"Maker", u"DownloadHost", u"a");
    LRegSettingsSet(u"Maker", u"DownloadHostB", u"b");
    LRegSettingsSet(u"Maker", u"ComponentHost", u"c");
    LRegSettingsSet(u"Maker", u"ComponentHostB", u"d");
    EXPECT_EQ(LInstallerSourceUrls("pxsetup", "Porlinex", true),
              (std::vector<std::string>{"http://a/download/pxsetup.exe", "http://b/download/pxsetup.exe",
                                        "http://c/components/porlinexsetup64.exe",
                                        "http://d/components/porlinexsetup64.exe"}));
    EXPECT_EQ(LInstallerSourceUrls("pxsetup", "Porlinex", false)[0], "http://b/download/pxsetup.exe");
}

TEST(ComponentInstall, ZipInCapitalsIsUnpackedAndRegistered) {
    LTestRoot root;
    const std::string zip = root.Path() + "/Widget.ZIP";
    LTestProcess python({"python3", "-c",
                         "import sys, zipfile\n"
                         "with zipfile.ZipFile(sys.argv[1], 'w') as z: z.writestr('lib/w.so', 'x')\n",
                         zip});
    ASSERT_EQ(python.Wait(20000), 0);
    ASSERT_EQ(LInstallComponentFile(zip, "co", true), 0);
    char16_t path[260] = {0};
    ASSERT_TRUE(LGetComponentPath(u"Widget", path));
    EXPECT_EQ(LToUtf8(path), root.Path() + "/opt/porlinex/Vek Software/Components/Shared/Widget");
    EXPECT_EQ(LTestReadFile(LToUtf8(path) + "/lib/w.so"), "x");
}

}  // namespace
