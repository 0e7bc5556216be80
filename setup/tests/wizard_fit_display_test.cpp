// The installer's and the uninstaller's pages on the test display take the
// size their layout gave them: long texts wrap inside the page rather than
// widen the wizard beyond its buttons, or beyond the screen.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <regex>

#include "setup/tests/browser_stand_in.h"
#include "setup/tests/display_driver.h"
#include "tests/support/test_display.h"
#include "tests/support/test_root.h"

namespace {

// The window is no wider than its rightmost control's right edge (the
// layout's width less its margin) plus a margin, and stays on the screen.
void ExpectFitsItsControls(const std::string& window) {
    std::string info = LTestRunCapture({"xwininfo", "-id", window}, 10000);
    auto field = [&](const char* key) {
        size_t p = info.find(key);
        return p == std::string::npos ? -1 : std::atoi(info.c_str() + p + std::strlen(key));
    };
    int left = field("Absolute upper-left X:"), width = field("Width:");
    std::string tree = LTestAccessibleTree();
    std::regex control("\"role\": \"(push button|radio button|check box|combo box|label)\", \"name\": \"[^\"]*\", "
                       "\"x\": (-?\\d+), \"y\": -?\\d+, \"width\": (\\d+)");
    int right = 0;
    for (std::sregex_iterator i(tree.begin(), tree.end(), control), end; i != end; ++i)
        right = std::max(right, std::stoi((*i)[2]) + std::stoi((*i)[3]) - left);
    ASSERT_GT(right, 0) << tree;
    EXPECT_LE(width, right + 30) << info << tree;
    EXPECT_LE(left + width, 1280) << info;
}

class WizardFit : public ::testing::Test {
protected:
    void SetUp() override {
        LTestDisplay& d = LTestDisplay::Shared();
        ASSERT_TRUE(d.Ok()) << d.Error();
    }
    LTestRoot root_;
    LTestBrowserStandIn browser_{root_.Path() + "/bin"};
};

TEST_F(WizardFit, LicencePageIsNoWiderThanItsLayout) {
    LTestProcess installer({LTestProgramPath(), "-installer", root_.Path() + "/porlinex-setup.run", "-instdata",
                            root_.Path() + "/missing.instdata"});
    std::string wizard = LTestFindWindow("^(Installing|Running) Porlinex v 2\\.01$");
    ASSERT_FALSE(wizard.empty());
    int x = 0, y = 0;
    ASSERT_TRUE(LTestFindItem("radio button", "I accept the license terms", x, y));
    ExpectFitsItsControls(wizard);
    installer.Signal(SIGTERM, 10000);
}

TEST_F(WizardFit, UninstallFeedbackPageIsNoWiderThanItsLayout) {
    // No user manager on a build machine: systemctl only answers.
    std::ofstream(root_.Path() + "/bin/systemctl") << "#!/bin/sh\nexit 0\n";
    chmod((root_.Path() + "/bin/systemctl").c_str(), 0755);
    LTestProcess uninstaller({LTestProgramPath(), "-uninstall"});
    std::string wizard = LTestFindWindow("^Uninstalling Porlinex v 2\\.01$");
    ASSERT_FALSE(wizard.empty());
    LTestClickItem("radio button", "Uninstall Porlinex");
    LTestClickItem("push button", "Next >");
    LTestClickItem("check box", "Delete data files");
    LTestClickItem("push button", "Next >");
    int x = 0, y = 0;
    ASSERT_TRUE(LTestFindItem("combo box", "\\[Click to select reason\\]", x, y));
    ExpectFitsItsControls(wizard);
    LTestClickItem("push button", "Cancel");
    uninstaller.Wait(30000);
}

}  // namespace
