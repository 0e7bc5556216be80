// The closing prompts on the headless window layer: which pages open (seen
// by a recording xdg-open), the thanks page's host and its one showing, the
// survey's scheduling under an injected clock, the thanks-for-using days,
// the rating prompt, the survey's own choices and the recent-release dialog.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/date_time.h"
#include "foundation/named_mutex.h"
#include "foundation/reg_settings.h"
#include "foundation/system_shell.h"
#include "foundation/system_version.h"
#include "foundation/time_source.h"
#include "setup/closing_prompts.h"
#include "setup/comment_report.h"
#include "setup/install_folder.h"
#include "setup/like_survey.h"
#include "setup/rating_prompt.h"
#include "setup/scheduled_tasks.h"
#include "setup/tests/browser_stand_in.h"
#include "setup/tests/fake_systemctl.h"
#include "setup/tests/machine_values.h"
#include "tests/support/test_root.h"
#include "toolkit/message_box.h"
#include "toolkit/property_sheet.h"
#include "toolkit/tests/modal_driver.h"

namespace {

namespace fs = std::filesystem;

time_t g_now = 0;
time_t InjectedNow() { return g_now; }

constexpr auto& Set = LTestSetMachineValue;
constexpr auto& Get = LTestMachineValue;
constexpr auto& VmPiece = LTestVmPiece;

// One installation under a fresh root: a recording browser and systemctl,
// a fixed installation ID, and the "FG5h" split test off unless asked.
class ClosingPrompts : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(LWindowLayerOpen(LBackendKind::Headless));
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        Set(u"Software", u"IID", "abcdefghijk");
        Set(u"Software", u"SVar", "FG5t");
        LForgetInstallFolder();
    }
    void TearDown() override {
        LSetNowFuncForTests(nullptr);
        LForgetInstallFolder();
    }

    // The pages opened so far (the marker page left out); waits (bounded)
    // until there are n.
    std::vector<std::string> Opened(size_t n = 0) {
        std::vector<std::string> pages;
        LTestWaitFor(10000, [&] {
            pages.clear();
            markers_seen_ = 0;
            std::istringstream in(LTestReadFile(browser_.Record()));
            for (std::string line; std::getline(in, line);) {
                if (line.find(kMarker) != std::string::npos) ++markers_seen_;
                else pages.push_back(line);
            }
            return pages.size() >= n;
        });
        return pages;
    }
    // Opens a page that is known to open and waits for it: whatever was
    // asked before it has had its chance to show up too.
    std::vector<std::string> OpenedAfterMarker() {
        Opened();
        size_t markers = markers_seen_ + 1;
        LOpenSuggestionPage();
        std::vector<std::string> pages;
        LTestWaitFor(10000, [&] {
            pages = Opened();
            return markers_seen_ >= markers;
        });
        return pages;
    }
    void Install() {
        fs::create_directories(root_.Path() + "/opt/porlinex");
        Set(u"Settings", u"InstallerPath", root_.Path() + "/opt/porlinex");
    }

    static LHwnd Sheet() { return LGetActiveWindow(); }
    static LHwnd Page() { return LHwndFromParam(LSendMessage(Sheet(), LPSM_GETCURRENTPAGEHWND, 0, 0)); }
    static LHwnd Item(int id) { return LGetDlgItem(Page(), id); }
    static void Click(LHwnd h) { LSendMessage(h, LBM_CLICK, 0, 0); }

    static constexpr const char* kMarker = "/suggestions/index.html?";
    LTestRoot root_;
    LTestBrowserStandIn browser_{root_.Path() + "/bin"};
    LTestFakeSystemctl systemctl_{root_.Path() + "/sbin"};
    size_t markers_seen_ = 0;
};

TEST_F(ClosingPrompts, PagesReachTheBrowserOnlyAsWebAddresses) {
    struct Case {
        const char16_t* url;
        bool opened;
    };
    const Case cases[] = {
        {u"https://www.example.org/a?b=c", true},
        {u"http://www.example.org/", true},
        {u"file:///etc/passwd", false},
        {u"/usr/share/applications/evil.desktop", false},
        {u"https://www.example.org/a b", false},
        {u"https://www.example.org/\nfile:///x", false},
        {u"javascript:alert(1)", false},
        {u"https://", false},
        {u"", false},
    };
    for (const Case& c : cases) EXPECT_EQ(LOpenWebAddress(c.url), c.opened) << LToUtf8(c.url);
    Opened(2);  // both, however the openers' processes are scheduled
    std::vector<std::string> opened = OpenedAfterMarker();
    std::sort(opened.begin(), opened.end());
    EXPECT_EQ(opened, (std::vector<std::string>{"http://www.example.org/", "https://www.example.org/a?b=c"}));
}

TEST_F(ClosingPrompts, ThanksPageOpensOnceOnTheRightHost) {
    struct Case {
        const char* refdata;
        const char* domain;
        const char* host;
    };
    const Case cases[] = {
        {"", "", "www.porlinex.invalid"},
        {"ref=news&refdate=20260101", "", "secure.porlinex.invalid"},
        {"x=1&refdate=2026&ref=news", "dl.example.org", "secure.porlinex.invalid"},
        {"ref=news", "dl.example.org:8080", "dl.example.org:8080"},
        {"ref=&refdate=2026", "", "www.porlinex.invalid"},
        // A stored domain that is not a host name is not used.
        {"", "evil.example/x?", "www.porlinex.invalid"},
        {"", "file:", "www.porlinex.invalid"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.refdata + std::string(" / ") + c.domain);
        LRegSettingsDelete(u"Settings", u"Thanks");
        Set(u"Software", u"RefData", c.refdata);
        Set(u"Software", u"InstallerDomain", c.domain);
        size_t before = Opened().size();
        LShowThanksPage();
        std::vector<std::string> opened = Opened(before + 1);
        ASSERT_EQ(opened.size(), before + 1);
        EXPECT_EQ(opened.back().rfind(std::string("https://") + c.host + "/software/thanks.html?software=Porlinex", 0),
                  0u)
            << opened.back();
        EXPECT_EQ(Get(u"Settings", u"Thanks"), "1");
    }

    // The pieces after the common query; then never again.
    LRegSettingsDelete(u"Settings", u"Thanks");
    Set(u"Software", u"RefData", "ref=a&refdate=b");
    Set(u"Settings", u"FirstRunDurationSeconds", "42");
    Set(u"Settings", u"FirstRunActive10sec", "7");
    size_t before = Opened().size();
    LShowThanksPage();
    std::string url = Opened(before + 1).back();
    const std::string tail = "&secsfr=42&active10s=7&refdata=ref%3Da%26refdate%3Db";
    EXPECT_EQ(url.substr(url.size() - tail.size()), tail) << url;
    LShowThanksPage();
    LShowThanksPage();
    EXPECT_EQ(OpenedAfterMarker().size(), before + 1);
}

TEST_F(ClosingPrompts, SplitTestSchedulesTheSurveyByTheSecondOfTheThanksPage) {
    Install();
    Set(u"Software", u"SVar", "FG5h");
    time_t build = 0;
    ASSERT_TRUE(LGetBuildDate(&build));
    // Within three weeks of the build every second second counts, later
    // every tenth; the half (or tenth) being even makes it soon.
    const time_t young = (build + 1000) / 20 * 20, settled = (build + 30 * 86400) / 20 * 20;
    struct Case {
        time_t now;
        int delay;  // 0: nothing scheduled
    };
    const Case cases[] = {
        {young + 1, 0}, {young, 45}, {young + 2, 172800}, {settled + 4, 0}, {settled, 45}, {settled + 10, 172800},
    };
    LSetNowFuncForTests(InjectedNow);
    const std::string timer = LUserUnitFolder() + "/porlinex-LikeSurvey.timer";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.now - build);
        g_now = c.now;
        LRegSettingsDelete(u"Settings", u"Thanks");
        LRegSettingsDelete(u"Software", u"ShowSurveyNow");
        fs::remove(timer);
        LShowThanksPage();
        EXPECT_EQ(fs::exists(timer), c.delay != 0);
        if (c.delay) {
            EXPECT_NE(LTestReadFile(timer).find("OnCalendar=" + LSystemdLocalTime(c.now + c.delay) + "\n"),
                      std::string::npos)
                << LTestReadFile(timer);
            EXPECT_NE(LTestReadFile(LUserUnitFolder() + "/porlinex-LikeSurvey.service").find("-surveysched"),
                      std::string::npos);
        }
        EXPECT_EQ(Get(u"Software", u"ShowSurveyNow"), c.delay == 45 ? "1" : "");
    }

    // Not installed: nothing to run later.
    LForgetInstallFolder();
    LRegSettingsDelete(u"Settings", u"InstallerPath");
    fs::remove(timer);
    LScheduleSurvey(true);
    EXPECT_FALSE(fs::exists(timer));
    EXPECT_EQ(Get(u"Software", u"ShowSurveyNow"), "");
}

TEST_F(ClosingPrompts, ThanksForUsingOpensAtHalfAYearAndAtAYear) {
    const time_t now = 1893456000;
    g_now = now;
    LSetNowFuncForTests(InjectedNow);
    struct Step {
        int days;  // since the first installation; -1: not known
        bool opened;
        const char* stored;
    };
    // One installation growing older, in order.
    const Step steps[] = {{-1, false, ""},   {179, false, ""},  {200, true, "200"}, {250, false, "200"},
                          {364, false, "200"}, {366, true, "366"}, {400, false, "366"}, {800, false, "366"}};
    for (const Step& s : steps) {
        SCOPED_TRACE(s.days);
        if (s.days >= 0) Set(u"Settings", u"InstallDateFirst", std::to_string(now - s.days * 86400LL));
        size_t before = Opened().size();
        EXPECT_EQ(LShowLongTermThanks(), s.opened);
        EXPECT_EQ(Get(u"Settings", u"LongTermDays"), s.stored);
        if (s.opened) {
            std::string url = Opened(before + 1).back();
            EXPECT_EQ(url.rfind("https://www.porlinex.invalid/software/thanksforusing.html?software=Porlinex", 0), 0u);
            EXPECT_NE(url.find("&days=" + std::to_string(s.days) + "&runs="), std::string::npos) << url;
        }
    }
}

TEST_F(ClosingPrompts, RatingOpensItsPageWithTheChosenRating) {
    struct Case {
        int item;  // the choice's radio item, or LIDCANCEL
        int rating;
    };
    const Case cases[] = {{200, 1}, {201, 2}, {203, 4}, {204, 0}, {LIDCANCEL, 0}};
    Set(u"Software", u"Ref", "news&x=1");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.item);
        LTestWhenModalLoopRuns([&] {
            LHwnd dialog = LGetActiveWindow();
            EXPECT_EQ(LGetWindowText(dialog), u"Rate Porlinex");
            EXPECT_EQ(LGetWindowText(LGetDlgItem(dialog, 204)), u"I don't want to tell you");
            // A second start finds the prompt through the chain window.
            LHwnd chain = LFindWindowOfClass(u"VekSoftware_InstanceChain");
            EXPECT_EQ(LGetWindowText(chain), u"Porlinex");
            EXPECT_EQ(LHwndFromParam(LGetWindowLongPtr(chain, LGWLP_USERDATA)), dialog);
            if (c.item != LIDCANCEL) Click(LGetDlgItem(dialog, c.item));
            LPostMessage(dialog, LWM_COMMAND, c.item == LIDCANCEL ? LIDCANCEL : LIDOK, 0);
        });
        size_t before = Opened().size();
        LShowRatingPrompt();
        EXPECT_EQ(LFindWindowOfClass(u"VekSoftware_InstanceChain"), LHwnd::Null);
        // The opener runs as its own process: a page asked for before the
        // marker may still arrive after it, so an expected page is waited for.
        std::vector<std::string> opened = c.rating ? Opened(before + 1) : OpenedAfterMarker();
        ASSERT_EQ(opened.size(), before + (c.rating ? 1 : 0));
        if (!c.rating) continue;
        EXPECT_EQ(opened.back(), "https://www.porlinex.invalid/software/rateit.html?software=Porlinex&appname=Porlinex"
                                 "&version=2.01&rating=" +
                                     std::to_string(c.rating) + "&os=Win" + VmPiece() +
                                     "&lang=en&appbits=64&base=email&domain=porlinex&ref=news%26x%3D1&instby=dl"
                                     "&iid=abcdefghijk&svar=FG5t");
    }
}

TEST_F(ClosingPrompts, EighthClosingRatesThenHidesTheWindow) {
    LWindow main;
    main.hwnd = LCreateWindowEx(0, u"Static", u"Porlinex", LWS_POPUP | LWS_VISIBLE, 0, 0, 100, 100, LHwnd::Null, 0);
    Set(u"Settings", u"Runs", "8");
    LTestWhenModalLoopRuns([&] {
        EXPECT_EQ(LGetWindowText(LGetActiveWindow()), u"Rate Porlinex");
        LPostMessage(LGetActiveWindow(), LWM_COMMAND, LIDCANCEL, 0);
    });
    LShowClosingPrompts(&main);
    EXPECT_FALSE(LIsWindowVisible(main.hwnd));
    EXPECT_EQ(Get(u"Settings", u"Runs"), "9");
    // The first closing also thanks the user.
    EXPECT_EQ(Get(u"Settings", u"Thanks"), "1");
    LDestroyWindow(main.hwnd);
}

TEST_F(ClosingPrompts, SurveyAskedAtAClosingOffersAskingNextTime) {
    Set(u"Software", u"ShowSurvey", "1");
    Set(u"Settings", u"Runs", "8");
    LTestWhenModalLoopRuns([&] {
        EXPECT_EQ(LGetWindowText(Sheet()), u"Rate Porlinex");
        EXPECT_EQ(LGetWindowText(LGetDlgItem(Sheet(), LIDC_HEADER_TITLE)), u"You recently downloaded the program Porlinex");
        EXPECT_EQ(Item(LLikeSurveyChoicePage::kRunAgain), LHwnd::Null);
        EXPECT_EQ(Get(u"Software", u"ShowSurveyNow"), "");
        EXPECT_FALSE(LIsWindowVisible(LGetDlgItem(Sheet(), LIDCANCEL)));
        EXPECT_EQ(LGetWindowText(LGetDlgItem(Sheet(), LIDC_FINISH)), u"Ask Me Later");
        Click(Item(LLikeSurveyChoicePage::kAskNext));
    });
    LShowClosingPrompts(nullptr);
    EXPECT_EQ(Get(u"Software", u"ShowSurvey"), "");
    // A closing that shows the survey is not counted and shows no rating.
    EXPECT_EQ(Get(u"Settings", u"Runs"), "8");
    EXPECT_NE(systemctl_.Calls().find("disable --now porlinex-LikeSurvey.timer"), std::string::npos);
}

TEST_F(ClosingPrompts, SurveyChoicesDecideWhatHappensNext) {
    // "Run it again now" asks the host to start the program.
    LTestWhenModalLoopRuns([&] { Click(Item(LLikeSurveyChoicePage::kRunAgain)); });
    EXPECT_TRUE(LShowLikeSurvey());
    EXPECT_EQ(Get(u"Software", u"ShowSurvey"), "");

    // "Ask Me Later" finishes: the survey comes back at the next closing.
    LTestWhenModalLoopRuns([&] { LPostMessage(Sheet(), LPSM_PRESSBUTTON, LPSBTN_FINISH, 0); });
    EXPECT_FALSE(LShowLikeSurvey());
    EXPECT_EQ(Get(u"Software", u"ShowSurvey"), "1");

    // The second page names its buttons for what they do; declining there
    // sends nothing and does not ask again.
    LRegSettingsDelete(u"Software", u"ShowSurvey");
    LTestWhenModalLoopRuns([&] {
        Click(Item(LLikeSurveyChoicePage::kDisliked));
        LTestWhenModalLoopRuns([&] {
            EXPECT_NE(Item(LLikeSurveyCommentPage::kComment), LHwnd::Null);
            EXPECT_EQ(LGetWindowText(LGetDlgItem(Sheet(), LIDC_FINISH)), u"Submit");
            EXPECT_EQ(LGetWindowText(LGetDlgItem(Sheet(), LIDCANCEL)), u"I don't want to tell you");
            EXPECT_TRUE(LIsWindowVisible(LGetDlgItem(Sheet(), LIDCANCEL)));
            LSetWindowText(Item(LLikeSurveyCommentPage::kComment), u"a comment that is long enough");
            LPostMessage(Sheet(), LPSM_PRESSBUTTON, LPSBTN_CANCEL, 0);
        });
    });
    EXPECT_FALSE(LShowLikeSurvey());
    EXPECT_EQ(Get(u"Software", u"ShowSurvey"), "");
}

TEST_F(ClosingPrompts, SurveyStaysAwayWhileTheUninstallerRuns) {
    char path[4096];
    ASSERT_TRUE(LNamedMutex::LockFilePath(u"VekSoftware_InstanceUninst", path));
    LLockFile uninstaller;
    ASSERT_TRUE(uninstaller.Open(path));
    ASSERT_EQ(uninstaller.TryLock(), 0);
    EXPECT_TRUE(LIsUninstallerRunning());
    // Nothing is shown: a dialog here would wait for ever.
    EXPECT_FALSE(LShowLikeSurvey());
    EXPECT_NE(systemctl_.Calls().find("disable --now porlinex-LikeSurvey.timer"), std::string::npos);
    uninstaller.Close();
    EXPECT_FALSE(LIsUninstallerRunning());
}

TEST_F(ClosingPrompts, CommentKeepsAmpersandsEqualsAndPercents) {
    const std::string vm = LIsVirtualMachineByBios() || LIsVirtualMachineByCpuid() ? "&vm=1" : "";
    EXPECT_EQ(LCommentReportForm(LString(u"a&b=c%d 100 \u00e9")),
              "software=Porlinex&version=2.01&report=COMMENT&text=COMMENT-a%26b%3Dc%25d%20100%20%C3%A9&language=en"
              "&platform=Win" +
                  vm);
    // An endless comment is cut, not sent whole.
    std::u16string big(1 << 20, u'x');
    EXPECT_LT(LCommentReportForm(LString(big.c_str())).size(), 40000u);
}

TEST_F(ClosingPrompts, RecentReleaseOffersRevertingOnlyToAnExistingSetup) {
    const std::string setup = root_.Path() + "/porlinex-2.00.run";
    struct Case {
        std::string previous;
        bool revert;
    };
    for (const Case& c : {Case{"", false}, Case{root_.Path() + "/gone.run", false}, Case{setup, true}}) {
        SCOPED_TRACE(c.previous);
        if (c.revert) std::ofstream(setup) << "#!/bin/sh\n";
        Set(u"Software", u"PreviousInstaller", c.previous);
        LTestWhenModalLoopRuns([&] {
            LHwnd dialog = LGetActiveWindow();
            EXPECT_EQ(LGetWindowText(dialog), u"Porlinex - v 2.01 Beta");
            EXPECT_NE(LGetDlgItem(dialog, 201), LHwnd::Null);
            EXPECT_EQ(LGetDlgItem(dialog, 202) != LHwnd::Null, c.revert);
            LPostMessage(dialog, LWM_COMMAND, LIDCANCEL, 0);
        });
        LShowBetaReleaseDialog(LHwnd::Null);
    }
    // "Report a Problem" opens the bug page with the two queries whole.
    LTestWhenModalLoopRuns([&] { LPostMessage(LGetActiveWindow(), LWM_COMMAND, LIDOK, 0); });
    size_t before = Opened().size();
    LShowBetaReleaseDialog(LHwnd::Null);
    std::string url = Opened(before + 1).back();
    EXPECT_EQ(url.rfind("https://www.porlinex.invalid/software/bug.html?software=Porlinex&version=2.01"
                        "&iid=abcdefghijk&data=osver%3D10.0%200%26",
                        0),
              0u)
        << url;
    EXPECT_NE(url.find("&appbits=64"), std::string::npos);
}

}  // namespace
