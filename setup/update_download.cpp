#include "setup/update_download.h"

#include <string>

#include "host/entry_points.h"
#include "setup/installer_download.h"
#include "setup/startup_version_check.h"
#include "setup/update_dialogs.h"
#include "toolkit/message_box.h"
#include "toolkit/progress_dialog.h"
#include "toolkit/window_layer.h"

namespace {

// The accepted installer names; the first one's base name is the file name.
constexpr const char* kInstallerNames = "pxsetup.exe,pxsetup.exe";

std::string LocalInstallerName() {
    std::string first(kInstallerNames);
    first = first.substr(0, first.find(','));
    size_t dot = first.find('.');
    return dot == std::string::npos ? std::string() : first.substr(0, dot);
}

int DownloadUnder(const char16_t* title, const char16_t* display, bool reportFailure) {
    std::string local = LocalInstallerName();
    if (local.empty()) return 2;
    LProgressDialog window(title);
    if (!window.Show(LHwnd::Null)) return 2;
    LTaskProgress& progress = *window.Progress();
    int result = LDownloadAndRunInstaller(progress, local, "Porlinex", true, "vc", display, false);
    if (result == 2 && reportFailure)
        progress.ShowError(u"The installer could not be downloaded. Please check your internet connection and "
                           u"firewall settings and try again later.");
    window.Close(LHwnd::Null);
    return result;
}

}  // namespace

int LDownloadUpdate() { return DownloadUnder(u"Downloading Update", nullptr, true); }

void LDownloadVersionUpgrade() { DownloadUnder(u"Version Upgrade", u"Porlinex", false); }

bool LCheckVersionAtStartup(bool) {
    LStartupSteps steps;
    // Without a display nothing can be shown: the start goes on and the
    // desktop says why it cannot run.
    steps.getNewer = [](double& version) { return LDesktopOpenDisplay() ? LGetNewerVersionWithWindow(version) : 2; };
    steps.askUpdate = [] {
        return LAskYesNoCustom(LHwnd::Null,
                               u"New features and bug fixes have been added to Porlinex.\r\n\r\nClick Update to "
                               u"download and install the new version.",
                               u"Updated Version Available", u"Update", u"Maybe later");
    };
    steps.downloadUpdate = [] { return LDownloadUpdate(); };
    return LCheckVersionAtStartupWith(LCurrentStartupFacts(), steps);
}
