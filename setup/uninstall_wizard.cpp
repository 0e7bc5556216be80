#include <sys/stat.h>

#include "foundation/reg_settings.h"
#include "foundation/lstring.h"
#include "setup/uninstall_feedback.h"
#include "setup/uninstall_pages.h"
#include "setup/wizard_host.h"

bool LRunUninstallDialogs(LUninstallWizardState& state) {
    char16_t kept[260] = {};
    if (state.repair_path.empty() && LRegSettingsGet(u"Software", u"Installer", u"", kept) && kept[0]) {
        std::string path = LToUtf8(kept);
        struct stat st {};
        if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) state.repair_path = path;
    }
    LUninstallConfirmPage confirm(state);
    LUninstallDataPage data(state);
    LUninstallFeedbackPage feedback(state);
    LWizardPageList pages;
    LAddWizardPage(pages, &confirm, u"Uninstall Software", u"Uninstall Confirmation", 317, 143);
    LAddWizardPage(pages, &data, u"Delete Data Files", nullptr, 317, 143);
    LAddWizardPage(pages, &feedback, u"Uninstall Software", u"Send Uninstall Comments", 317, 143);
    if (!LRunWizard(pages, u"Uninstalling Porlinex v 2.01") || state.keep_installed) return false;
    if (state.feedback_given) LSendUninstallFeedback(state.feedback_key, state.feedback_comment);
    return true;
}
