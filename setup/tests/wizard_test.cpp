// The installer's pages on the headless window layer: the wizard host's
// buttons, declining the terms, Escape, and accepting through to the
// installing page's own Finish.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "setup/install_pages.h"
#include "setup/install_run_once.h"
#include "setup/install_worker.h"
#include "setup/installer_wizard.h"
#include "setup/tests/browser_stand_in.h"
#include "setup/wizard_host.h"
#include "tests/support/test_root.h"
#include "toolkit/property_sheet.h"
#include "toolkit/tests/modal_driver.h"

namespace {

namespace fs = std::filesystem;

class Wizard : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(LWindowLayerOpen(LBackendKind::Headless));
        // Messages are only logged without a display.
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
    }

    static LHwnd Sheet() { return LGetActiveWindow(); }
    static LHwnd Button(int id) { return LGetDlgItem(Sheet(), id); }
    static LHwnd Page() { return LHwndFromParam(LSendMessage(Sheet(), LPSM_GETCURRENTPAGEHWND, 0, 0)); }
    static bool Ended(LHwnd sheet) { return !LIsWindow(sheet) || !LIsWindowVisible(sheet); }
    // The browser starts on its own; wait (bounded) for its record.
    std::string Opened(bool wait = false) {
        if (wait) LTestWaitFor(10000, [&] { return fs::exists(browser_.Record()); });
        return LTestReadFile(browser_.Record());
    }

    LTestRoot root_;
    LTestBrowserStandIn browser_{root_.Path() + "/bin"};
};

struct Plain : LPropertyPage {};

TEST_F(Wizard, HostGivesFirstMiddleAndLastPagesTheirButtons) {
    struct Case {
        size_t pages;
        uint32_t first, middle, last;
    };
    for (Case c : {Case{1, LPSWIZB_FINISH, 0, LPSWIZB_FINISH}, Case{2, LPSWIZB_NEXT, 0, LPSWIZB_BACK | LPSWIZB_FINISH},
                   Case{3, LPSWIZB_NEXT, LPSWIZB_BACK | LPSWIZB_NEXT, LPSWIZB_BACK | LPSWIZB_FINISH}}) {
        SCOPED_TRACE(c.pages);
        std::vector<Plain> pages(c.pages);
        LWizardPageList list;
        for (auto& p : pages) LAddWizardPage(list, &p, u"Title", nullptr, 325, 166);
        EXPECT_EQ(list.width, 325);
        LTestWhenModalLoopRuns([&] {
            EXPECT_EQ(LGetWindowText(Sheet()), u"Porlinex");
            EXPECT_EQ(pages.front().wizard_buttons, c.first);
            if (c.pages == 3) {
                EXPECT_EQ(pages[1].wizard_buttons, c.middle);
            }
            EXPECT_EQ(pages.back().wizard_buttons, c.last);
            if (c.pages == 1) {
                // A single page shows only Finish, and it works.
                EXPECT_TRUE(LIsWindowVisible(Button(LIDC_FINISH)));
                EXPECT_TRUE(LIsWindowEnabled(Button(LIDC_FINISH)));
                EXPECT_FALSE(LIsWindowVisible(Button(LIDC_NEXT)));
                EXPECT_FALSE(LIsWindowEnabled(Button(LIDC_BACK)));
                LPostMessage(Sheet(), LWM_COMMAND, LIDC_FINISH, 0);
            } else {
                LPostMessage(Sheet(), LWM_COMMAND, LIDCANCEL, 0);
            }
        });
        EXPECT_EQ(LRunWizard(list, nullptr), c.pages == 1);
    }
    LWizardPageList empty;
    EXPECT_FALSE(LRunWizard(empty, u"None"));
}

TEST_F(Wizard, DecliningAsksAndDontInstallEndsWithoutInstalling) {
    LInstallWorker worker;
    worker.data_path = root_.Path() + "/missing.instdata";
    LHwnd sheet = LHwnd::Null;
    int back_answers = 0;
    LTestWhenModalLoopRuns([&] {
        sheet = Sheet();
        // The caption follows the installation's split-test choice.
        std::u16string caption = LGetWindowText(sheet);
        EXPECT_TRUE(caption == u"Installing Porlinex v 2.01" || caption == u"Running Porlinex v 2.01");
        EXPECT_TRUE(fs::exists(LInstallRunOncePath()));
        LHwnd page = Page();
        EXPECT_EQ(LSendMessage(LGetDlgItem(page, LLicencePage::kAccept), LBM_GETCHECK, 0, 0), LBST_CHECKED);
        EXPECT_EQ(LGetWindowText(Button(LIDC_HEADER_TITLE)), u"Porlinex by Vek Software");
        EXPECT_EQ(LGetWindowText(Button(LIDC_NEXT)), u"    Next >    ");
        EXPECT_TRUE(LIsWindowVisible(Button(LIDC_NEXT)));
        EXPECT_FALSE(LIsWindowVisible(Button(LIDCANCEL)));
        EXPECT_FALSE(LIsWindowVisible(Button(LIDC_BACK)));
        // Escape reaches the sheet as its Cancel command: nothing happens.
        LSendMessage(sheet, LWM_COMMAND, LIDCANCEL, 0);
        EXPECT_FALSE(Ended(sheet));
        EXPECT_EQ(Page(), page);

        LSendMessage(LGetDlgItem(page, LLicencePage::kAccept), LBM_SETCHECK, 0, 0);
        LSendMessage(LGetDlgItem(page, LLicencePage::kDecline), LBM_SETCHECK, LBST_CHECKED, 0);
        LSendMessage(page, LWM_COMMAND, LLicencePage::kDecline, 0);
        EXPECT_TRUE(LIsWindowVisible(Button(LIDC_FINISH)));
        EXPECT_TRUE(LIsWindowEnabled(Button(LIDC_FINISH)));
        EXPECT_FALSE(LIsWindowVisible(Button(LIDC_NEXT)));

        // The question: "Back" first keeps the page, "Don't Install" ends.
        LTestWhenModalLoopRuns([&] {
            LHwnd box = LGetActiveWindow();
            EXPECT_EQ(LGetWindowText(box), u"Exit Setup");
            EXPECT_EQ(LGetWindowText(LGetDlgItem(box, LIDCANCEL)), u"Back");
            ++back_answers;
            LTestWhenModalLoopRuns([&] {
                LHwnd again = LGetActiveWindow();
                EXPECT_EQ(LGetWindowText(LGetDlgItem(again, LIDOK)), u"Don't Install");
                LPostMessage(again, LWM_COMMAND, LIDOK, 0);
            });
            LPostMessage(box, LWM_COMMAND, LIDCANCEL, 0);
            LPostMessage(sheet, LPSM_PRESSBUTTON, LPSBTN_FINISH, 0);
        });
        LPostMessage(sheet, LPSM_PRESSBUTTON, LPSBTN_FINISH, 0);
    });
    EXPECT_EQ(LRunInstallerWizard(worker, "/tmp/porlinex-setup.run"), 2);
    EXPECT_EQ(back_answers, 1);
    EXPECT_FALSE(worker.IsRunning());
    EXPECT_FALSE(fs::exists(LInstallRunOncePath()));
    EXPECT_NE(Opened(true).find("/general/eulaconfirm.html?software=Porlinex&appname=Porlinex&version=2.01"),
              std::string::npos)
        << Opened();
}

TEST_F(Wizard, AcceptingStartsTheWorkerAndTheInstallingPageFinishes) {
    LInstallWorker worker;
    worker.data_path = root_.Path() + "/missing.instdata";
    LTestWhenModalLoopRuns([&] {
        LHwnd sheet = Sheet();
        LSendMessage(sheet, LPSM_PRESSBUTTON, LPSBTN_NEXT, 0);
        EXPECT_NE(Page(), LHwnd::Null);
        EXPECT_EQ(LGetWindowText(LGetDlgItem(Page(), 2001)), u"Please wait...");
        EXPECT_EQ(LGetWindowText(Button(LIDC_HEADER_TITLE)), u"Installing Porlinex");
        // The page sits below the header.
        EXPECT_GT(LGetWindowRect(Page()).top, LGetWindowRect(Button(LIDC_HEADER_TITLE)).top);
        EXPECT_FALSE(LIsWindowVisible(Button(LIDCANCEL)));
        EXPECT_FALSE(LIsWindowVisible(Button(LIDC_BACK)));
        // Nothing stops the installation half way, Escape included.
        LSendMessage(sheet, LWM_COMMAND, LIDCANCEL, 0);
        EXPECT_FALSE(Ended(sheet));
    });
    // The page waits for the worker, whose status (no data file) is the result.
    EXPECT_EQ(LRunInstallerWizard(worker, "/tmp/porlinex-setup.run"), 5);
    EXPECT_FALSE(fs::exists(LInstallRunOncePath()));
    EXPECT_TRUE(Opened().empty());
}

}  // namespace
