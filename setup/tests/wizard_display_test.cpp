// The interactive installer as a user meets it: the real program started
// with -installer on a virtual display, driven with the keyboard and mouse.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <filesystem>

#include "setup/install_run_once.h"
#include "setup/tests/browser_stand_in.h"
#include "setup/tests/display_driver.h"
#include "tests/support/test_display.h"
#include "tests/support/test_root.h"

namespace {

namespace fs = std::filesystem;

class WizardOnDisplay : public ::testing::Test {
protected:
    void SetUp() override {
        LTestDisplay& d = LTestDisplay::Shared();
        ASSERT_TRUE(d.Ok()) << d.Error();
        setenv("DISPLAY", d.Display().c_str(), 1);
    }

    static std::string Window(const std::string& name) { return LTestFindWindow(name); }
    static void Click(const std::string& role, const std::string& name) { LTestClickItem(role, name); }

    LTestRoot root_;
    LTestBrowserStandIn browser_{root_.Path() + "/bin"};
};

TEST_F(WizardOnDisplay, EscapeKeepsItDecliningEndsWithTwo) {
    LTestProcess installer({LTestProgramPath(), "-installer", root_.Path() + "/porlinex-setup.run", "-instdata",
                            root_.Path() + "/missing.instdata"});
    std::string wizard = Window("^(Installing|Running) Porlinex v 2\\.01$");
    ASSERT_FALSE(wizard.empty());
    EXPECT_TRUE(fs::exists(LInstallRunOncePath()));
    LTestRunCapture({"xdotool", "key", "--window", wizard, "Escape"}, 10000);
    // Still there to decline after Escape.
    Click("radio button", "I do not accept the license terms");
    Click("push button", "Finish");
    ASSERT_FALSE(Window("^Exit Setup$").empty());
    Click("push button", "Don't Install");
    EXPECT_EQ(installer.Wait(30000), 2);
    EXPECT_FALSE(fs::exists(LInstallRunOncePath()));
    EXPECT_TRUE(LTestWaitFor(10000, [&] { return fs::exists(browser_.Record()); }));
    EXPECT_NE(LTestReadFile(browser_.Record()).find("eulaconfirm.html"), std::string::npos);
}

// A second installer started while the wizard is up shows the first one's
// wizard again (here: maps it after it was taken off the screen) and ends
// with 2, starting no wizard of its own.
TEST_F(WizardOnDisplay, SecondInstallerBringsTheFirstForward) {
    std::vector<std::string> argv{LTestProgramPath(), "-installer", root_.Path() + "/porlinex-setup.run", "-instdata",
                                  root_.Path() + "/missing.instdata"};
    LTestProcess first(argv);
    std::string wizard = Window("^(Installing|Running) Porlinex v 2\\.01$");
    ASSERT_FALSE(wizard.empty());
    LTestRunCapture({"xdotool", "windowunmap", "--sync", wizard}, 10000);
    ASSERT_TRUE(LTestWaitFor(10000, [&] {
        return LTestRunCapture({"xdotool", "search", "--onlyvisible", "--name", "Porlinex v 2"}, 5000).empty();
    }));
    LTestProcess second(argv);
    EXPECT_EQ(second.Wait(30000), 2);
    EXPECT_EQ(Window("^(Installing|Running) Porlinex v 2\\.01$"), wizard);
    first.Signal(SIGTERM, 10000);
}

// The uninstaller's pages on screen: a page left behind takes its controls
// with it (they would lie over the next page's and take its clicks), and
// cancelling removes nothing.
TEST_F(WizardOnDisplay, UninstallPagesShowOnlyTheCurrentPagesControls) {
    // No user manager on a build machine: systemctl only answers.
    std::ofstream(root_.Path() + "/bin/systemctl") << "#!/bin/sh\nexit 0\n";
    chmod((root_.Path() + "/bin/systemctl").c_str(), 0755);
    LTestProcess uninstaller({LTestProgramPath(), "-uninstall"});
    ASSERT_FALSE(Window("^Uninstalling Porlinex v 2\\.01$").empty());
    Click("radio button", "Uninstall Porlinex");
    Click("push button", "&?Next >");
    Click("check box", "Delete data files");
    Click("push button", "&?Next >");
    Click("combo box", "\\[Click to select reason\\]");
    std::string tree = LTestRunCapture({"/usr/bin/python3",
                                        std::string(PORLINEX_SOURCE_DIR) + "/toolkit/tests/testdata/atspi_tree.py",
                                        "porlinex"},
                                       20000);
    for (const char* gone : {"Nothing (I do not want to uninstall)", "Delete data files"})
        EXPECT_EQ(tree.find(gone), std::string::npos) << gone;
    Click("push button", "Cancel");
    uninstaller.Wait(30000);
}

}  // namespace
