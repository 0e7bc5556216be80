// The uninstaller's feedback page on the headless window layer: what the
// reason list shows, which answers Finish accepts, and that the answer
// reaches the maker's report host after an uninstall through the pages.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "host/entry_points.h"
#include "setup/tests/browser_stand_in.h"
#include "setup/tests/report_recorder.h"
#include "setup/uninstall_pages.h"
#include "setup/wizard_host.h"
#include "tests/support/test_root.h"
#include "toolkit/combo_box.h"
#include "toolkit/property_sheet.h"
#include "toolkit/tests/modal_driver.h"

namespace {

using Page = LUninstallFeedbackPage;

class UninstallFeedback : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(LWindowLayerOpen(LBackendKind::Headless));
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
    }

    static LHwnd Sheet() { return LGetActiveWindow(); }
    static LHwnd Current() { return LHwndFromParam(LSendMessage(Sheet(), LPSM_GETCURRENTPAGEHWND, 0, 0)); }
    static LHwnd Item(int id) { return LGetDlgItem(Current(), id); }
    static void Pick(int index) {
        LSendMessage(Item(Page::kReasons), LCB_SETCURSEL, static_cast<LWParam>(index), 0);
        LSendMessage(Current(), LWM_COMMAND, LMakeWParam(Page::kReasons, LCBN_SELCHANGE), LHwndToParam(Item(Page::kReasons)));
    }
    static void Answer(bool tell) {
        LSendMessage(Item(tell ? Page::kYes : Page::kNo), LBM_SETCHECK, LBST_CHECKED, 0);
        LSendMessage(Current(), LWM_COMMAND, tell ? Page::kYes : Page::kNo, 0);
    }
    static std::u16string BalloonText(const Page& page) {
        if (page.balloon.tip == LHwnd::Null) return {};
        char16_t text[260] = {};
        LToolInfo ti;
        ti.tool = page.balloon.target;
        ti.text_out = text;
        LSendMessage(page.balloon.tip, LTTM_GETTEXT, 0, reinterpret_cast<LLParam>(&ti));
        return text;
    }

    LTestRoot root_;
    std::string bin_ = root_.Path() + "/bin";
    LTestBrowserStandIn browser_{bin_};
};

TEST_F(UninstallFeedback, ListShowsTheReasonsAndEachReasonItsOwnQuestion) {
    struct Case {
        int index;
        bool alternative, comment;
        const char16_t* prompt;
    };
    LUninstallWizardState state;
    state.keep_installed = false;
    Page page(state);
    LWizardPageList pages;
    LAddWizardPage(pages, &page, u"Uninstall Software", u"Send Uninstall Comments", 317, 143);
    LTestWhenModalLoopRuns([&] {
        // Leaving is chosen, so telling why is offered first.
        EXPECT_EQ(LSendMessage(Item(Page::kYes), LBM_GETCHECK, 0, 0), LBST_CHECKED);
        LHwnd list = Item(Page::kReasons);
        ASSERT_EQ(LSendMessage(list, LCB_GETCOUNT, 0, 0), 6);
        EXPECT_EQ(LSendMessage(list, LCB_GETCURSEL, 0, 0), 0);
        char16_t text[64];
        LSendMessage(list, LCB_GETLBTEXT, 0, reinterpret_cast<LLParam>(text));
        EXPECT_EQ(std::u16string(text), u"[Click to select reason]");
        LSendMessage(list, LCB_GETLBTEXT, 5, reinterpret_cast<LLParam>(text));
        EXPECT_EQ(std::u16string(text), u"Other");
        for (Case c : {Case{0, false, false, nullptr}, Case{1, true, false, nullptr},
                       Case{2, false, true, u"Please tell us what problems you have had?"}, Case{5, false, true, u""},
                       Case{0, false, false, nullptr}}) {
            SCOPED_TRACE(c.index);
            Pick(c.index);
            EXPECT_EQ(LIsWindowVisible(Item(Page::kAlternative)), c.alternative);
            EXPECT_EQ(LIsWindowVisible(Item(Page::kLink)), c.alternative);
            EXPECT_EQ(LIsWindowVisible(Item(Page::kIcon)), c.alternative);
            EXPECT_EQ(LIsWindowVisible(Item(Page::kComment)), c.comment);
            EXPECT_EQ(LIsWindowVisible(Item(Page::kPrompt)), c.comment);
            if (c.prompt) {
                EXPECT_EQ(LGetWindowText(Item(Page::kPrompt)), c.prompt);
            }
        }
        // Not telling turns the questions off.
        Answer(false);
        EXPECT_FALSE(LIsWindowEnabled(Item(Page::kReasons)));
        Answer(true);
        EXPECT_TRUE(LIsWindowEnabled(Item(Page::kReasons)));
        LPostMessage(Sheet(), LPSM_PRESSBUTTON, LPSBTN_CANCEL, 0);
    });
    EXPECT_FALSE(LRunWizard(pages, nullptr));
}

TEST_F(UninstallFeedback, FinishAcceptsOnlyACompleteAnswer) {
    struct Case {
        const char* what;
        bool tell;
        int reason;
        std::u16string comment;
        const char16_t* balloon;  // null: accepted
        const char* key;          // null: nothing handed on
        std::u16string sent;
    };
    std::u16string longest(300, u'x');
    const Case cases[] = {
        {"not telling", false, 2, u"broken", nullptr, nullptr, u""},
        {"no reason", true, 0, u"", u"Please select your uninstall reason from the drop down list.", nullptr, u""},
        {"alternative, no comment asked", true, 1, u"ignored", nullptr, "NotUsed", u""},
        {"comment too long", true, 2, longest + u"x", u"Your comment cannot exceed 300 characters.", nullptr, u""},
        {"longest comment", true, 2, longest, nullptr, "Problem", longest},
        {"other without a word", true, 5, u"", nullptr, nullptr, u""},
        {"optional comment left out", true, 3, u"", nullptr, "Features", u""},
        {"no antivirus to name", true, 2, u"A VIRUS warning", nullptr, "Problem", u"A VIRUS warning"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LUninstallWizardState state;
        state.keep_installed = false;
        Page page(state);
        LWizardPageList pages;
        LAddWizardPage(pages, &page, u"Uninstall Software", u"Send Uninstall Comments", 317, 143);
        std::u16string balloon;
        LTestWhenModalLoopRuns([&] {
            Pick(c.reason);
            LSendMessage(Item(Page::kComment), LWM_SETTEXT, 0, reinterpret_cast<LLParam>(c.comment.c_str()));
            Answer(c.tell);
            LHwnd sheet = Sheet();
            LSendMessage(sheet, LPSM_PRESSBUTTON, LPSBTN_FINISH, 0);
            balloon = BalloonText(page);
            // Ends a page that stayed; a finished sheet takes no notice.
            LPostMessage(sheet, LPSM_PRESSBUTTON, LPSBTN_CANCEL, 0);
        });
        EXPECT_EQ(LRunWizard(pages, nullptr), c.balloon == nullptr);
        EXPECT_EQ(balloon, c.balloon ? c.balloon : u"");
        EXPECT_EQ(state.feedback_given, c.key != nullptr);
        if (c.key) {
            EXPECT_EQ(state.feedback_key, c.key);
            EXPECT_EQ(state.feedback_comment, c.sent);
        }
    }
}

// The whole uninstall through its pages: the answer reaches the report
// host as a form post.
TEST_F(UninstallFeedback, AnswerReachesTheReportHost) {
    LTestReportRecorder recorder(root_.Path() + "/reports");
    ASSERT_TRUE(recorder.Ready());
    // No user manager on a build machine: systemctl only answers.
    std::ofstream(bin_ + "/systemctl") << "#!/bin/sh\nexit 0\n";
    chmod((bin_ + "/systemctl").c_str(), 0755);
    LTestWhenModalLoopRuns([&] {
        LSendMessage(Item(LUninstallConfirmPage::kUninstall), LBM_SETCHECK, LBST_CHECKED, 0);
        LSendMessage(Current(), LWM_COMMAND, LUninstallConfirmPage::kUninstall, 0);
        LSendMessage(Sheet(), LPSM_PRESSBUTTON, LPSBTN_NEXT, 0);
        LSendMessage(Sheet(), LPSM_PRESSBUTTON, LPSBTN_NEXT, 0);
        EXPECT_EQ(LGetWindowText(LGetDlgItem(Sheet(), LIDC_HEADER_SUBTITLE)), u"Send Uninstall Comments");
        EXPECT_FALSE(LIsWindowVisible(LGetDlgItem(Sheet(), LIDC_BACK)));
        Pick(3);
        LSendMessage(Item(Page::kComment), LWM_SETTEXT, 0, reinterpret_cast<LLParam>(u"No IMAP & no é"));
        LPostMessage(Sheet(), LPSM_PRESSBUTTON, LPSBTN_FINISH, 0);
    });
    LRunUninstall(false);
    ASSERT_TRUE(LTestWaitFor(10000, [&] { return recorder.Requests().size() == 1; }));
    std::string request = recorder.Requests()[0];
    EXPECT_EQ(request.rfind("POST /cgi-bin/report.exe HTTP/1.0\r\n", 0), 0u) << request;
    std::string body = request.substr(request.find("\r\n\r\n") + 4);
    EXPECT_NE(body.find("type=uninstall"), std::string::npos) << body;
    EXPECT_NE(body.find("reason=Features"), std::string::npos) << body;
    EXPECT_NE(body.find("comment=No%20IMAP%20%26%20no%20%C3%A9"), std::string::npos) << body;
}

}  // namespace
