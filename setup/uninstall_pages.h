#pragma once
// The uninstaller's pages: what to do (uninstall, repair, stop running at
// log-on, nothing), whether the data files go too, and why the user leaves.
#include <string>

#include "toolkit/window.h"

struct LUninstallWizardState {
    bool keep_installed = true;  // false only once "Uninstall Porlinex" is confirmed
    bool delete_data_files = false;
    std::string repair_path;  // the kept setup program; empty when there is none
    // The feedback page's answer: sent only when given.
    bool feedback_given = false;
    std::string feedback_key;
    std::u16string feedback_comment;
};

class LUninstallConfirmPage : public LPropertyPage {
public:
    explicit LUninstallConfirmPage(LUninstallWizardState& state) : state_(state) {}
    void OnInitDialog() override;
    void OnActivate() override;
    void OnCommand(int id, int code) override;
    bool OnOk() override;

    static constexpr int kPrompt = 1001, kUninstall = 1002, kRepair = 1003, kStopAutoRun = 1004, kNothing = 1005;

private:
    int Chosen();
    void ShowButtons();
    LUninstallWizardState& state_;
};

class LUninstallDataPage : public LPropertyPage {
public:
    explicit LUninstallDataPage(LUninstallWizardState& state) : state_(state) {}
    void OnInitDialog() override;
    void OnActivate() override;
    bool OnOk() override;

    static constexpr int kPrompt = 1001, kDeleteData = 1002;

private:
    LUninstallWizardState& state_;
};

class LUninstallFeedbackPage : public LPropertyPage {
public:
    explicit LUninstallFeedbackPage(LUninstallWizardState& state) : state_(state) {}
    void OnInitDialog() override;
    void OnActivate() override;
    void OnCommand(int id, int code) override;
    bool OnOk() override;

    static constexpr int kIntro = 107, kNo = 110, kYes = 111, kReasons = 112, kComment = 113, kPrompt = 114,
                         kAlternative = 115, kLink = 116, kIcon = 400;
    static constexpr int kMaxComment = 300;

private:
    void ShowForReason();
    void EnableForChoice();
    LUninstallWizardState& state_;
};

// Shows the pages; true when the user chose to uninstall and finished, with
// the data-files choice in state.
bool LRunUninstallDialogs(LUninstallWizardState& state);
