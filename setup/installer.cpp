// The installer mode of the program: one installer at a time, the install
// worker, and the start of the installed program for the desktop user.
#include <cstdlib>

#include "foundation/log.h"
#include "foundation/reg_settings.h"
#include "foundation/system_cmdline.h"
#include "host/entry_points.h"
#include "setup/after_install.h"
#include "setup/command_counts.h"
#include "setup/desktop_user.h"
#include "setup/install_data.h"
#include "setup/install_folder.h"
#include "setup/install_worker.h"
#include "setup/installer_instance.h"
#include "setup/installer_wizard.h"
#include "setup/setup_message.h"
#include "toolkit/window_layer.h"

int LRunInstaller(bool bootstrap) {
    LInstallerInstance instance;
    if (!instance.Claim()) return 2;
    if (!bootstrap) LRegSettingsDelete(u"Software", u"InstallerDomain");
    const char* q = std::getenv("LQUIET");
    bool quiet = q && *q;
    LRegSettingsDelete(u"Software", u"SVar");
    LDeleteCommandCounts();
    LSecureProductKey();
    LInstallWorker worker;
    if (!bootstrap && !quiet) {
        // The pages need a display; the tests open a headless one first.
        if (!LWindowLayerIsOpen() && !LDesktopOpenDisplay()) return 2;
        instance.Answer();
        char16_t setup_program[260] = {};
        LCmdLineGetSwitchValue(u"-installer", setup_program);
        int result = LRunInstallerWizard(worker, LToUtf8(setup_program));
        if (result != LInstallStatusDone) return result;
    } else {
        // A refused rights test has shown its message already.
        if (!worker.Start()) return LInstallStatusNoFolder;
        int status = worker.Wait();
        if (status != LInstallStatusDone) {
            if (!bootstrap) LShowInstallError(status);
            return status;
        }
    }
    if (!quiet) {
        std::string folder;
        LGetInstallerPath(folder);
        LRunAsDesktopUser(LInstalledProgramPath(folder), {});
    }
    LScheduleTasksAsDesktopUser();
    return 0;
}
