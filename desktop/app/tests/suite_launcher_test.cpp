// The launcher of the maker's programs on the headless window layer with
// fixture tables: tabs and the stored choice, featured tasks, this
// program's own tasks, running an installed program, installing a missing
// one through a signed setup served on loopback, the usage values, and the
// addresses it opens (recorded by a stand-in xdg-open).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>

#include "desktop/app/suite_launcher.h"
#include "foundation/lstring.h"
#include "foundation/reg_settings.h"
#include "foundation/system_shell.h"
#include "setup/maker_installed.h"
#include "setup/suite_usage.h"
#include "setup/tests/browser_stand_in.h"
#include "setup/tests/maker_peer.h"
#include "toolkit/tests/modal_driver.h"

namespace {

using Dlg = LSuiteLauncherDlg;

const char kTables[] =
    "program\tPdfTool\tPDF Tool\tpdfsetup\tpdftool\tReads and writes PDF files.\n"
    "program\tClipKeeper\tClip Keeper\tclipsetup\t+clipkeeper\tKeeps what you copied.\n"
    "program\tZipper\tZipper\tzipsetup\tzipper\tPacks files.\n"
    "program\tPorlinex\tPorlinex\tpxsetup\tporlinex\tMirrors your mail.\n"
    "task\tUtilities\tPdfTool\tMerge PDF files\n"
    "task\tUtilities\tPdfTool\tSplit a PDF\n"
    "task\tUtilities\tClipKeeper\tKeep clipboard history\n"
    "task\tUtilities\tZipper\tPack a folder\n"
    "task\tUtilities\tZipper\tUnpack an archive\n"
    "task\tMedia\tPdfTool\tPrint a poster\n"
    "task\tMedia\tZipper\tPack photos\n"
    "task\tMail\tPorlinex\tMirror your mail\n";

std::string LinkValue(int n, const char16_t* name) {
    LString out;
    std::u16string key = std::u16string(LSuiteUsageKey) + u"\\Links\\" + LFromUtf8(std::to_string(n)).c_str();
    if (!LRegQueryString(LRegHive::CurrentUser, key.c_str(), name, out)) return "(none)";
    return LToUtf8(out);
}

std::string UserSetting(const char16_t* name) {
    char16_t out[260] = {0};
    LRegUserSettingsGet(u"Settings", name, u"", out);
    return LToUtf8(out);
}

std::vector<std::u16string> Names(const std::vector<LSuiteProgramNode>& nodes) {
    std::vector<std::u16string> names;
    for (const LSuiteProgramNode& n : nodes) names.push_back(n.program->key);
    return names;
}

std::vector<std::u16string> FeaturedTasks(const Dlg& d) {
    std::vector<std::u16string> tasks;
    for (const LSuiteProgramNode& n : d.featured.nodes)
        for (const LSuiteTaskEntry& e : n.tasks) tasks.push_back(e.task->text);
    return tasks;
}

// A program file that appends a line to a marker when it runs.
void WriteProgram(const std::string& path, const std::string& marker) {
    LTestWriteFile(path, "#!/bin/sh\necho \"$0\" >> '" + marker + "'\n");
    chmod(path.c_str(), 0755);
}

void Click(LHwnd control, const LRect& r) {
    LLParam at = LMakePointParam((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    LSendMessage(control, LWM_MOUSEMOVE, 0, at);
    LSendMessage(control, LWM_LBUTTONDOWN, 1, at);
    LSendMessage(control, LWM_LBUTTONUP, 0, at);
}

class SuiteLauncher : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(LWindowLayerOpen(LBackendKind::Headless));
        ASSERT_TRUE(LParseSuiteTables(kTables, tables_));
        marker_ = root_.Path() + "/ran";
    }
    // Runs the dialog modally and does `inside` while it is open, then
    // closes it as the user would.
    void RunDialog(Dlg& d, const std::function<void(Dlg&)>& inside) {
        d.tables = tables_;
        LTestWhenModalLoopRuns([&] {
            inside(d);
            LSendMessage(d.hwnd, LWM_CLOSE, 0, 0);
        });
        LDialog::RunModalSized(&d, LHwnd::Null, 95, 45);
    }

    LTestRoot root_;
    LSuiteTables tables_;
    std::string marker_;
};

TEST_F(SuiteLauncher, TabsFeaturedTasksAndTheStoredChoice) {
    LRegUserSettingsSet(u"Settings", u"SelectedTab", u"Gone");
    Dlg d(u"");
    RunDialog(d, [](Dlg& d) {
        EXPECT_EQ(LGetWindowText(d.hwnd), u"Vek Software Suite");
        for (int link : {Dlg::kMoreSoftware, Dlg::kNewsletter}) {
            LControlColors colors = LGetControlColors(LGetDlgItem(d.hwnd, link));
            EXPECT_TRUE(colors.has_text);
            EXPECT_EQ(colors.text, 0xC63200u);
        }
        EXPECT_EQ(d.tabs.names, (std::vector<std::u16string>{u"Utilities", u"Media", u"Mail"}));
        // A stored category that no longer exists: the first tab.
        EXPECT_EQ(d.tabs.SelectedName(), u"Utilities");
        EXPECT_EQ(Names(d.programs.nodes), (std::vector<std::u16string>{u"PdfTool", u"ClipKeeper", u"Zipper"}));
        EXPECT_EQ(d.programs.nodes[0].tasks.size(), 2u);
        // Five tasks: three different ones each time, and over many
        // fillings more than one choice of three.
        std::set<std::u16string> seen;
        for (int i = 0; i < 30; ++i) {
            d.FillLists();
            std::vector<std::u16string> tasks = FeaturedTasks(d);
            ASSERT_EQ(tasks.size(), 3u);
            EXPECT_EQ(std::set<std::u16string>(tasks.begin(), tasks.end()).size(), 3u);
            seen.insert(tasks.begin(), tasks.end());
        }
        EXPECT_GT(seen.size(), 3u);
        // Picking a tab (as the strip does) refills both lists: two tasks,
        // both featured.
        d.tabs.Select(1, true);
        EXPECT_EQ(Names(d.programs.nodes), (std::vector<std::u16string>{u"PdfTool", u"Zipper"}));
        std::vector<std::u16string> tasks = FeaturedTasks(d);
        EXPECT_EQ(std::set<std::u16string>(tasks.begin(), tasks.end()),
                  (std::set<std::u16string>{u"Print a poster", u"Pack photos"}));
        LSendMessage(d.tabs.hwnd, LWM_KEYDOWN, LVK_RIGHT, 0);
        EXPECT_EQ(d.tabs.SelectedName(), u"Mail");
        // Opened from a window: this program's own tasks are left out.
        EXPECT_TRUE(d.programs.nodes.empty());
    });
    EXPECT_EQ(UserSetting(u"SelectedTab"), "Mail");

    // The caller's category wins over the stored one, without regard to
    // case; opened without an owner, this program's own tasks are shown.
    // Running it starts the installed program.
    LRegWriteString(LRegHive::LocalMachine, u"Software\\Vek Software\\Porlinex\\Settings", u"Version", u"2");
    WriteProgram(root_.Path() + "/opt/porlinex/porlinex", marker_);
    Dlg own(u"mail");
    own.include_own = true;
    RunDialog(own, [](Dlg& d) {
        EXPECT_EQ(d.tabs.SelectedName(), u"Mail");
        EXPECT_EQ(Names(d.programs.nodes), std::vector<std::u16string>{u"Porlinex"});
        EXPECT_TRUE(d.RunEntry(Dlg::kPrograms, 0, 1));
    });
    EXPECT_TRUE(LTestWaitFor(20000, [&] { return LTestReadFile(marker_) == root_.Path() + "/opt/porlinex/porlinex\n"; }));
}

TEST_F(SuiteLauncher, AnInstalledProgramRunsAndIsCounted) {
    LRegWriteString(LRegHive::LocalMachine, u"Software\\Vek Software\\Zipper\\Settings", u"Version", u"1");
    WriteProgram(root_.Path() + "/opt/porlinex/Vek Software/Zipper/Zipper", marker_);
    Dlg d(u"Utilities");
    RunDialog(d, [&](Dlg& d) {
        ASSERT_EQ(Names(d.programs.nodes)[2], u"Zipper");
        EXPECT_TRUE(d.programs.nodes[2].installed);
        EXPECT_FALSE(d.programs.nodes[0].installed);
        // Its button in the program list: run with no task text.
        Click(d.programs.hwnd, d.programs.nodes[2].button);
        // From the featured list or a task: the task text is counted.
        LSendMessage(d.hwnd, LWM_SUITE_RUN, Dlg::kPrograms, LSuiteEntryParam(2, 1));
        LSendMessage(d.hwnd, LWM_SUITE_RUN, Dlg::kPrograms, LSuiteEntryParam(2, 1));
        // The launch menu remembers the entry; its one command runs it.
        LSendMessage(d.hwnd, LWM_SUITE_MENU, Dlg::kPrograms, LSuiteEntryParam(2, 2));
        LSendMessage(d.hwnd, LWM_COMMAND, Dlg::kLaunch, 0);
        // A click on a featured task of another tab (two tasks: both shown).
        d.tabs.Select(1, true);
        for (const LSuiteProgramNode& n : d.featured.nodes)
            if (n.program->key == u"Zipper") Click(d.featured.hwnd, n.tasks[0].rect);
    });
    const std::string program = root_.Path() + "/opt/porlinex/Vek Software/Zipper/Zipper\n";
    ASSERT_TRUE(LTestWaitFor(20000, [&] { return LTestReadFile(marker_).size() == 5 * program.size(); }));
    EXPECT_EQ(LReadSuiteCounter(u"ar"), 5);
    EXPECT_EQ(LReadSuiteCounter(u"ai"), 0);
    struct {
        int n;
        const char *lf, *lc;
    } links[] = {{1, "", "1"}, {2, "Pack a folder", "2"}, {3, "Unpack an archive", "1"}, {5, "(none)", "(none)"}};
    for (const auto& l : links) {
        SCOPED_TRACE(l.n);
        EXPECT_EQ(LinkValue(l.n, u"lf"), l.lf);
        EXPECT_EQ(LinkValue(l.n, u"lc"), l.lc);
        if (l.lc[0] == '(') continue;
        EXPECT_EQ(LinkValue(l.n, u"lk"), "Zipper");
        EXPECT_EQ(LinkValue(l.n, u"lt"), "Utilities");
    }
    EXPECT_EQ(LinkValue(4, u"lt"), "Media");
    EXPECT_EQ(LinkValue(4, u"lf"), "Pack photos");
}

TEST_F(SuiteLauncher, AMissingProgramIsInstalledFromASignedSetupThenRun) {
    LTestSigner maker;
    maker.Trust();
    LTestFileServer host(root_.Path() + "/served");
    ASSERT_TRUE(host.Ready());
    LRegSettingsSet(u"Maker", u"DownloadHost", LFromUtf8(host.Host()).c_str());
    LRegSettingsSet(u"Maker", u"DownloadHostB", u"127.0.0.1:1");
    LRegSettingsSet(u"Maker", u"ComponentHost", u"127.0.0.1:1");
    LRegSettingsSet(u"Maker", u"ComponentHostB", u"127.0.0.1:1");
    LRegUserSettingsSet(u"Software", u"Probe", u"1");
    // The setup puts the program in the user's folder and writes its
    // Settings section, as a user's installation does.
    const std::string folder = "$PORLINEX_ROOT/home/.local/share/Vek Software/Program Files/ClipKeeper";
    const std::string setup =
        "#!/bin/sh\n"
        "mkdir -p \"" + folder + "\"\n"
        "printf '#!/bin/sh\\necho \"$0 $*\" >> \"%s\"\\n' '" + marker_ + "' > \"" + folder + "/ClipKeeper\"\n"
        "chmod 755 \"" + folder + "/ClipKeeper\"\n"
        "echo \"setup $*\" >> '" + marker_ + "'\n"
        "printf '\\n[Software\\\\Vek Software\\\\ClipKeeper\\\\Settings]\\nInstalled=1\\n' >> "
        "\"$PORLINEX_ROOT/home/.config/porlinex/user.reg\"\n";
    LTestWriteFile(root_.Path() + "/served/download/clipsetup.exe", setup);
    LTestWriteFile(root_.Path() + "/served/download/clipsetup.exe.sig", maker.Sign(setup));

    Dlg d(u"");
    RunDialog(d, [&](Dlg& d) {
        ASSERT_EQ(Names(d.programs.nodes)[1], u"ClipKeeper");
        EXPECT_FALSE(d.programs.nodes[1].installed);
        EXPECT_TRUE(d.RunEntry(Dlg::kPrograms, 1, 1));
    });
    const std::string installed =
        root_.Path() + "/home/.local/share/Vek Software/Program Files/ClipKeeper/ClipKeeper \n";
    ASSERT_TRUE(LTestWaitFor(20000, [&] { return LTestReadFile(marker_).size() > installed.size(); }));
    EXPECT_EQ(LTestReadFile(marker_), "setup -LQUIET -instby suPorlinex\n" + installed);
    EXPECT_EQ(LReadSuiteCounter(u"ai"), 1);
    EXPECT_EQ(LReadSuiteCounter(u"ar"), 0);
    EXPECT_EQ(LinkValue(1, u"lk"), "ClipKeeper");
    EXPECT_EQ(LinkValue(1, u"lf"), "Keep clipboard history");
}

TEST_F(SuiteLauncher, AnUnsignedSetupNeverRunsAndTheUserIsTold) {
    LTestSigner maker, stranger;
    maker.Trust();
    LTestFileServer host(root_.Path() + "/served");
    ASSERT_TRUE(host.Ready());
    for (const char16_t* name : {u"DownloadHost", u"DownloadHostB", u"ComponentHost", u"ComponentHostB"})
        LRegSettingsSet(u"Maker", name, LFromUtf8(host.Host()).c_str());
    const std::string setup = "#!/bin/sh\necho setup >> '" + marker_ + "'\n";
    LTestWriteFile(root_.Path() + "/served/download/pdfsetup.exe", setup);
    LTestWriteFile(root_.Path() + "/served/download/pdfsetup.exe.sig", stranger.Sign(setup));

    // Closes each message box as it comes up (the progress window's waits
    // pump messages too, so the boxes are told apart by their captions).
    static std::vector<std::u16string> boxes;
    boxes.clear();
    Dlg d(u"");
    RunDialog(d, [&](Dlg& d) {
        uintptr_t timer = LSetTimer(LHwnd::Null, 0, 20, [](LHwnd, uint32_t, uintptr_t, uint32_t) {
            LHwnd box = LGetActiveWindow();
            std::u16string title = LGetWindowText(box);
            if (title != u"Error" && title != u"Porlinex") return;
            boxes.push_back(title);
            LSendMessage(box, LWM_CLOSE, 0, 0);
        });
        EXPECT_FALSE(d.RunEntry(Dlg::kPrograms, 0, 0));
        LKillTimer(LHwnd::Null, timer);
    });
    // The download's error, then the launcher's own message.
    EXPECT_EQ(boxes, (std::vector<std::u16string>{u"Error", u"Porlinex"}));
    EXPECT_EQ(LTestReadFile(marker_), "");
    EXPECT_EQ(LReadSuiteCounter(u"ai"), 1);
    EXPECT_FALSE(LIsMakerProgramInstalled(u"PdfTool", false));
}

TEST_F(SuiteLauncher, SearchLinksAndWebPagesOpenOnlyWebAddresses) {
    LTestBrowserStandIn browser(root_.Path() + "/bin");
    Dlg d(u"");
    size_t expected = 0;
    RunDialog(d, [&](Dlg& d) {
        // An empty search shows the balloon and opens nothing.
        d.SetItemText(Dlg::kSearchEdit, u"   ");
        LSendMessage(d.hwnd, LWM_COMMAND, Dlg::kSearch, 0);
        EXPECT_NE(d.balloon.tip, LHwnd::Null);
        // Closed at once: its own loop would otherwise hold the test for
        // its lifetime.
        d.CloseBalloonTip(d.balloon);
        d.SetItemText(Dlg::kSearchEdit, u" pdf & zip ");
        LSendMessage(d.hwnd, LWM_COMMAND, Dlg::kSearch, 0);
        // Clicking a row outside its button visits the program's page.
        LRect row = d.programs.nodes[0].row;
        row.right = d.programs.nodes[0].button.left;
        Click(d.programs.hwnd, row);
        LSendMessage(d.hwnd, LWM_SUITE_VISIT, Dlg::kPrograms, LSuiteEntryParam(1, 0));
        LSendMessage(d.hwnd, LWM_COMMAND, Dlg::kMoreSoftware, 0);
        // The logo: hovering shows the hint, a click opens the home page.
        LSendMessage(d.logo.hwnd, LWM_MOUSEMOVE, 0, LMakePointParam(3, 3));
        LSendMessage(d.logo.hwnd, LWM_LBUTTONUP, 0, LMakePointParam(3, 3));
        LMsg m;
        while (LPeekMessage(&m, true)) LDispatchMessage(m);
        EXPECT_NE(d.hint.tip, LHwnd::Null);
        expected = 5;
    });
    ASSERT_TRUE(LTestWaitFor(20000, [&] {
        std::string r = LTestReadFile(browser.Record());
        return static_cast<size_t>(std::count(r.begin(), r.end(), '\n')) >= expected;
    }));
    std::string opened = LTestReadFile(browser.Record());
    for (const char* address : {"http://search.porlinex.invalid/search?q=pdf%20%26%20zip&site=www2.porlinex.invalid\n",
                                "https://www.porlinex.invalid/pdftool/index.html?ref=veksuite\n",
                                "https://www2.porlinex.invalid/clipkeeper/index.html?ref=veksuite\n",
                                "https://www.porlinex.invalid/software/index.html\n",
                                "https://www.porlinex.invalid/index.html\n"})
        EXPECT_NE(opened.find(address), std::string::npos) << address << " in\n" << opened;
    EXPECT_EQ(std::count(opened.begin(), opened.end(), '\n'), 5);

    struct {
        const char* address;
        bool opened;
    } cases[] = {{"https://example.invalid/", true}, {"HTTP://example.invalid/", true},
                 {"file:///etc/passwd", false},      {"porlinex.desktop", false},
                 {"javascript:alert(1)", false},     {"", false}};
    for (const auto& c : cases) EXPECT_EQ(LOpenWebAddress(LFromUtf8(c.address).View()), c.opened) << c.address;
}

TEST_F(SuiteLauncher, OpeningsAreCountedByOwner) {
    LTestWriteFile(root_.Path() + "/etc/porlinex/launcher.txt", kTables);
    LRegisterClass(u"SuiteOwner", LDefWindowProc);
    LHwnd owner = LCreateWindowEx(0, u"SuiteOwner", u"", LWS_POPUP, 0, 0, 10, 10, LHwnd::Null, 0);
    std::u16string seen;
    auto close = [&] {
        LHwnd dlg = LGetActiveWindow();
        seen = LGetWindowText(dlg) + u"/" + LGetWindowText(LGetDlgItem(dlg, Dlg::kSearch));
        LSendMessage(dlg, LWM_CLOSE, 0, 0);
    };
    LTestWhenModalLoopRuns(close);
    LShowSuiteLauncher(owner, u"");
    EXPECT_EQ(seen, u"Vek Software Suite/Search");
    LTestWhenModalLoopRuns(close);
    LShowSuiteLauncher(LHwnd::Null, u"Media");
    LTestWhenModalLoopRuns(close);
    LShowSuiteLauncher(LHwnd::Null, u"");
    EXPECT_EQ(LReadSuiteCounter(u"oi"), 1);
    EXPECT_EQ(LReadSuiteCounter(u"oe"), 2);
    EXPECT_EQ(UserSetting(u"SelectedTab"), "Media");  // the last closing kept the stored tab
    LDestroyWindow(owner);
}

}  // namespace
