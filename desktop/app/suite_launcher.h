#pragma once
// The launcher of the maker's other programs: category tabs, the programs
// that serve the selected category with a button to run (or install and
// run) each, three featured tasks picked at random, a search of the
// maker's site and links to its pages. Its tables come from the launcher
// file (setup/launcher_tables.h); how it is used is counted in the user's
// "SuiteUsage" section.
#include <ctime>
#include <string>
#include <vector>

#include "desktop/app/suite_launcher_lists.h"
#include "setup/launcher_tables.h"
#include "toolkit/window.h"

class LSuiteLauncherDlg : public LDialog, public LSuiteListOwner {
public:
    // Item ids.
    enum {
        kPrograms = 104, kSeparator = 105, kFeatured = 106, kTabs = 107, kSearchIcon = 112, kSearchEdit = 113,
        kSearch = 114, kMoreSoftware = 121, kNewsletter = 124, kLogo = 128,
    };
    // Commands.
    enum { kLaunch = 1001, kMenu = 5011, kTabChanged = 5012, kLogoClick = 5020, kLogoHover = 5021 };

    // category: the tab to open on (empty: the last one chosen).
    explicit LSuiteLauncherDlg(const std::u16string& category);
    ~LSuiteLauncherDlg() override;

    void OnInitDialog() override;
    bool OnCancel() override;
    bool OnOk() override { return false; }
    void OnCommand(int id, int code) override;
    void OnHelp() override;
    void SetListTip(int item, const std::u16string& text) override;

    void FillTabs();
    void FillLists();
    void AddTask(std::vector<LSuiteProgramNode>& list, const LSuiteTask& task);
    // Runs the program, installing it first when it is missing; false when
    // it was not started (cancelled, or the message was shown).
    bool RunProgram(const LSuiteProgramNode& node, const std::u16string& task);
    void ShowLaunchMenu(int list, int node, int task_plus_one);
    // Entry of a list by the private messages' parameters; false when none.
    bool RunEntry(int list, int node, int task_plus_one);
    void VisitEntry(int list, int node);

    LSuiteTables tables;
    bool include_own = false;  // opened without an owner window
    bool closing = false;
    time_t opened = 0;
    LSuiteTabStrip tabs;
    LSuiteProgramList programs;
    LSuiteSeparator separator;
    LSuiteFeaturedList featured;
    LSuiteLogo logo;
    LHwnd tooltip = LHwnd::Null;
    LHwnd chain = LHwnd::Null;
    LTrackingTip hint;
    // What the launch menu runs.
    int menu_list = 0, menu_node = -1, menu_task = 0;

private:
    void OnClose();
    void LayOut();
    void Search();

    std::u16string category_;
    LFont font_;
};

// Counts the opening (oi with an owner, oe without) and runs the launcher.
void LShowSuiteLauncher(LHwnd owner, const std::u16string& category);
