#include "setup/installer_wizard.h"

#include <vector>

#include "setup/install_pages.h"
#include "setup/installer_language.h"
#include "setup/install_run_once.h"
#include "setup/install_worker.h"
#include "setup/split_test.h"
#include "setup/wizard_host.h"

int LRunInstallerWizard(LInstallWorker& worker, const std::string& setup_program) {
    LWriteInstallRunOnce(setup_program);
    LInstallerWizardState state;
    state.worker = &worker;
    std::vector<LOtherLanguageInstaller> rows = LOtherLanguageInstallers();
    LLanguageChoice choice = LFindOtherLanguageInstaller(LInstallerLanguage(), rows);
    state.language_page = choice.row != nullptr;
    LLanguagePage language(state, choice);
    LLicencePage licence(state);
    LInstallingPage installing(state);
    LWizardPageList pages;
    if (state.language_page) LAddWizardPage(pages, &language, u"Language Selection", nullptr, 325, 166);
    LAddWizardPage(pages, &licence, u"Porlinex by Vek Software", u"", 325, 166);
    LAddWizardPage(pages, &installing, u"Installing Porlinex", nullptr, 325, 166);
    LRunWizard(pages, LSplitTestIsOn("Vhub") ? u"Running Porlinex v 2.01" : u"Installing Porlinex v 2.01");
    if (state.started) {
        // The installing page may have ended early; the worker ends on its own.
        int status = worker.Wait();
        if (state.status < 0) state.status = status;
        if (state.status == 0) return 0;
    }
    LDeleteInstallRunOnce();
    return state.status > 0 ? state.status : 2;
}
