// The uninstaller's pages on the headless window layer: which choices lead
// on, what each one ends with, and that the removal honours the data-files
// choice.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "foundation/reg_settings.h"
#include "host/entry_points.h"
#include "setup/install_folder.h"
#include "setup/tests/browser_stand_in.h"
#include "setup/uninstall_pages.h"
#include "tests/support/test_root.h"
#include "toolkit/property_sheet.h"
#include "toolkit/tests/modal_driver.h"

namespace {

namespace fs = std::filesystem;
using Confirm = LUninstallConfirmPage;

class UninstallPages : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(LWindowLayerOpen(LBackendKind::Headless));
        // Messages are only logged without a display.
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        // No user manager on a build machine: systemctl only records.
        std::ofstream(bin_ + "/systemctl") << "#!/bin/sh\nexit 0\n";
        chmod((bin_ + "/systemctl").c_str(), 0755);
    }

    static LHwnd Sheet() { return LGetActiveWindow(); }
    static LHwnd Page() { return LHwndFromParam(LSendMessage(Sheet(), LPSM_GETCURRENTPAGEHWND, 0, 0)); }
    static LHwnd Item(int id) { return LGetDlgItem(Page(), id); }
    static void Choose(int id) {
        LSendMessage(Item(id), LBM_SETCHECK, LBST_CHECKED, 0);
        LSendMessage(Page(), LWM_COMMAND, id, 0);
    }
    // From the data-files page on: no feedback, then Finish.
    static void FinishWithoutFeedback() {
        LSendMessage(Sheet(), LPSM_PRESSBUTTON, LPSBTN_NEXT, 0);
        Choose(LUninstallFeedbackPage::kNo);
        LPostMessage(Sheet(), LPSM_PRESSBUTTON, LPSBTN_FINISH, 0);
    }
    static int TopInDialogUnits(int id) {
        LRect r = LGetWindowRect(Item(id)), page = LGetWindowRect(Page());
        LRect unit = LMapDialogRect(Page(), {0, 0, 4, 8});
        return ((r.top - page.top) * 8 + unit.bottom / 2) / unit.bottom;
    }

    LTestRoot root_;
    std::string bin_ = root_.Path() + "/bin";
    LTestBrowserStandIn browser_{bin_};
};

TEST_F(UninstallPages, ChoicesOtherThanUninstallFinishAtOnce) {
    struct Case {
        bool kept_setup;
        int choice;
    };
    for (Case c : {Case{false, Confirm::kNothing}, Case{true, Confirm::kNothing},
                   Case{false, Confirm::kStopAutoRun}}) {
        SCOPED_TRACE(c.choice);
        LUninstallWizardState state;
        if (c.kept_setup) state.repair_path = "/nonexistent/porlinexsetup.run";
        LTestWhenModalLoopRuns([&] {
            EXPECT_EQ(LGetWindowText(Sheet()), u"Uninstalling Porlinex v 2.01");
            EXPECT_EQ(LGetWindowText(LGetDlgItem(Sheet(), LIDC_HEADER_TITLE)), u"Uninstall Software");
            // No choice yet: no way on.
            EXPECT_FALSE(LIsWindowEnabled(LGetDlgItem(Sheet(), LIDC_NEXT)));
            // The repair choice is there only with a kept setup program, and
            // the choices below it move down to make room.
            EXPECT_EQ(Item(Confirm::kRepair) != LHwnd::Null, c.kept_setup);
            EXPECT_EQ(TopInDialogUnits(Confirm::kStopAutoRun), c.kept_setup ? 58 : 44);
            EXPECT_EQ(TopInDialogUnits(Confirm::kNothing), c.kept_setup ? 72 : 58);
            Choose(c.choice);
            EXPECT_TRUE(LIsWindowEnabled(LGetDlgItem(Sheet(), LIDC_FINISH)));
            LPostMessage(Sheet(), LPSM_PRESSBUTTON, LPSBTN_FINISH, 0);
        });
        EXPECT_FALSE(LRunUninstallDialogs(state));
        EXPECT_TRUE(state.keep_installed);
    }
}

TEST_F(UninstallPages, RemovalKeepsTheDataFolderUnlessAskedAndSaysItIsDone) {
    for (bool delete_data : {false, true}) {
        SCOPED_TRACE(delete_data);
        fs::create_directories(root_.DataFolder());
        std::ofstream(root_.DataFolder() + "/Porlinex.db") << "mail";
        LRegSettingsSet(u"Settings", u"Marker", u"1");
        LTestWhenModalLoopRuns([&] {
            Choose(Confirm::kUninstall);
            EXPECT_TRUE(LIsWindowEnabled(LGetDlgItem(Sheet(), LIDC_NEXT)));
            LSendMessage(Sheet(), LPSM_PRESSBUTTON, LPSBTN_NEXT, 0);
            EXPECT_EQ(LGetWindowText(LGetDlgItem(Sheet(), LIDC_HEADER_TITLE)), u"Delete Data Files");
            // Nothing to go back to once uninstalling is chosen.
            EXPECT_FALSE(LIsWindowVisible(LGetDlgItem(Sheet(), LIDC_BACK)));
            EXPECT_EQ(LSendMessage(Item(LUninstallDataPage::kDeleteData), LBM_GETCHECK, 0, 0), LBST_UNCHECKED);
            if (delete_data) LSendMessage(Item(LUninstallDataPage::kDeleteData), LBM_SETCHECK, LBST_CHECKED, 0);
            FinishWithoutFeedback();
        });
        LRunUninstall(false);
        EXPECT_EQ(fs::exists(root_.DataFolder() + "/Porlinex.db"), !delete_data);
        char16_t v[260];
        LRegSettingsGet(u"Settings", u"Marker", u"", v);
        EXPECT_EQ(v[0], u'\0') << "the product's settings are removed";
    }
}

TEST_F(UninstallPages, NothingChosenRemovesNothing) {
    fs::create_directories(root_.DataFolder());
    std::ofstream(root_.DataFolder() + "/Porlinex.db") << "mail";
    LRegSettingsSet(u"Settings", u"Marker", u"1");
    LTestWhenModalLoopRuns([&] {
        Choose(Confirm::kNothing);
        LPostMessage(Sheet(), LPSM_PRESSBUTTON, LPSBTN_FINISH, 0);
    });
    LRunUninstall(false);
    EXPECT_TRUE(fs::exists(root_.DataFolder() + "/Porlinex.db"));
    char16_t v[260];
    LRegSettingsGet(u"Settings", u"Marker", u"", v);
    EXPECT_EQ(LToUtf8(v), "1");
}

// Another process runs the installed program: the removal stops before
// anything is removed, and the question's "More Information" opens the
// maker's page on it.
TEST_F(UninstallPages, ProgramInUseStopsTheRemovalAndCanExplain) {
    std::string folder = root_.Path() + "/opt/porlinex";
    fs::create_directories(folder);
    fs::copy_file("/bin/sleep", LInstalledProgramPath(folder));
    LRegSettingsSet(u"Settings", u"InstallerPath", LFromUtf8(folder).c_str());
    LTestProcess user({LInstalledProgramPath(folder), "60"});
    fs::create_directories(root_.DataFolder());
    std::ofstream(root_.DataFolder() + "/Porlinex.db") << "mail";
    std::u16string question;
    LTestWhenModalLoopRuns([&] {
        Choose(Confirm::kUninstall);
        LSendMessage(Sheet(), LPSM_PRESSBUTTON, LPSBTN_NEXT, 0);
        LSendMessage(Item(LUninstallDataPage::kDeleteData), LBM_SETCHECK, LBST_CHECKED, 0);
        // The question comes in its own loop once the pages have closed.
        LTestWhenModalLoopRuns([&] {
            question = LGetWindowText(LGetActiveWindow());
            LPostMessage(LGetActiveWindow(), LWM_COMMAND, LIDYES, 0);
        });
        FinishWithoutFeedback();
    });
    LRunUninstall(false);
    user.Signal(SIGKILL, 10000);
    LForgetInstallFolder();
    EXPECT_EQ(question, u"Uninstall Software");
    EXPECT_TRUE(fs::exists(root_.DataFolder() + "/Porlinex.db"));
    EXPECT_TRUE(fs::exists(LInstalledProgramPath(folder)));
    LTestWaitFor(10000, [&] { return fs::exists(browser_.Record()); });
    EXPECT_NE(LTestReadFile(browser_.Record()).find("/kb/10275.html"), std::string::npos);
}

}  // namespace
