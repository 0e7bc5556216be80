#include "setup/update_download.h"

#include <string>

#include "desktop/toolkit/message_box.h"
#include "foundation/wait.h"
#include "host/entry_points.h"
#include "setup/installer_download.h"
#include "setup/startup_version_check.h"

namespace {

// The accepted installer names; the first one's base name is the file name.
constexpr const char* kInstallerNames = "pxsetup.exe,pxsetup.exe";

std::string LocalInstallerName() {
    std::string first(kInstallerNames);
    first = first.substr(0, first.find(','));
    size_t dot = first.find('.');
    return dot == std::string::npos ? std::string() : first.substr(0, dot);
}

}  // namespace

int LDownloadUpdate() {
    std::string local = LocalInstallerName();
    if (local.empty()) return 2;
    LPlainWait progress;
    int result = LDownloadAndRunInstaller(progress, local, "Porlinex", true, "vc", nullptr, false);
    if (result == 2)
        LMessageBox(LHwnd::Null,
                    u"The installer could not be downloaded. Please check your internet connection and firewall "
                    u"settings and try again later.",
                    u"Error", LMB_OK | LMB_ICONERROR);
    return result;
}

bool LCheckVersionAtStartup(bool) {
    LPlainWait progress;
    return LCheckVersionAtStartupWith(
        progress, LCurrentStartupFacts(),
        [] {
            return LAskYesNoCustom(LHwnd::Null,
                                   u"New features and bug fixes have been added to Porlinex.\r\n\r\nClick Update to "
                                   u"download and install the new version.",
                                   u"Updated Version Available", u"Update", u"Maybe later");
        },
        [] { return LDownloadUpdate(); });
}
