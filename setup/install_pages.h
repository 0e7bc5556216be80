#pragma once
// The installer's two pages and what they share: the worker the licence
// page starts and the status the installing page records when it ends.
#include <memory>

#include "setup/installer_language.h"
#include "setup/shutdown_block.h"
#include "toolkit/window.h"

class LInstallWorker;

struct LInstallerWizardState {
    LInstallWorker* worker = nullptr;
    bool started = false;
    int status = -1;  // -1: nothing recorded
    bool language_page = false;  // the language page comes first
};

// Offers the installer in the user's language; continuing goes on in
// English.
class LLanguagePage : public LPropertyPage {
public:
    LLanguagePage(LInstallerWizardState& state, const LLanguageChoice& choice) : state_(state), choice_(choice) {}
    void OnInitDialog() override;
    void OnActivate() override;
    void OnDeactivate() override;
    void OnCommand(int id, int code) override;
    bool OnCancel() override;

    static constexpr int kQuestion = 3001, kDownload = 3002, kContinue = 3003;

private:
    // True when the other installer was started.
    bool DownloadAndStart();
    LInstallerWizardState& state_;
    LLanguageChoice choice_;
    bool leaving_ = false;
};

class LLicencePage : public LPropertyPage {
public:
    explicit LLicencePage(LInstallerWizardState& state) : state_(state) {}
    void OnInitDialog() override;
    void OnActivate() override;
    void OnCommand(int id, int code) override;
    bool OnOk() override;
    bool OnCancel() override;

    static constexpr int kIntro = 1001, kTerms = 1002, kAccept = 1003, kDecline = 1004;

private:
    bool Accepted();
    void ShowButtons();
    LInstallerWizardState& state_;
    bool leaving_ = false;
};

class LInstallingPage : public LPropertyPage {
public:
    explicit LInstallingPage(LInstallerWizardState& state) : state_(state) {}
    void OnInitDialog() override;
    void OnActivate() override;
    void OnDeactivate() override;
    bool OnCancel() override { return false; }  // the worker cannot be stopped half way
    LResult HandleMessage(uint32_t msg, LWParam w, LLParam l) override;

private:
    void Poll();
    LInstallerWizardState& state_;
    // Held from the page's activation until the worker has ended.
    std::unique_ptr<LShutdownBlock> shutdown_block_;
};
