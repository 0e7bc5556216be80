#include "setup/installer_download.h"

#include <algorithm>
#include <cctype>

#include "foundation/reg_settings.h"
#include "setup/component_install.h"
#include "setup/maker_hosts.h"
#include "setup/on_demand_component.h"
#include "setup/temp_folder.h"
#include "setup/verified_download.h"

namespace {

constexpr int kSettingsWaitSeconds = 30;

bool SettingsWritten(const std::string& programName, bool alternateHost) {
    std::string key = std::string(alternateHost ? "Software\\Vek Software\\" : "Software\\Vek Dalmor\\") + programName +
                      "\\Settings";
    LRegKey k;
    return k.Open(LRegHive::CurrentUser, LFromUtf8(key).c_str());
}

}  // namespace

std::vector<std::string> LInstallerSourceUrls(const std::string& localName, const std::string& programName,
                                              bool alternateHost) {
    std::string a = "http://" + LGetMakerDownloadHost() + "/download/" + localName + ".exe";
    std::string b = "http://" + LGetMakerDownloadHostB() + "/download/" + localName + ".exe";
    std::string remote = programName;
    std::transform(remote.begin(), remote.end(), remote.begin(), [](unsigned char c) { return std::tolower(c); });
    remote += "setup64.exe";
    std::vector<std::string> urls = alternateHost ? std::vector<std::string>{a, b} : std::vector<std::string>{b, a};
    urls.push_back(LComponentUrl(LGetMakerComponentHost(), remote));
    urls.push_back(LComponentUrl(LGetMakerComponentHostB(), remote));
    return urls;
}

int LDownloadAndRunInstaller(LTaskProgress& progress, const std::string& localName, const std::string& programName,
                             bool alternateHost, const char* by, const char16_t* display, bool quiet) {
    if (progress.IsStopRequested()) return 1;
    progress.SetStatusText(u"Downloading Installer", 0);
    LString line;
    line.Format(u"%s...", display ? display : LFromUtf8(localName).c_str());
    progress.SetStatusText(line.c_str(), 1);
    // The folder stays until the setup program has had its time: a script
    // is opened by its interpreter after the start, by path.
    LSetupTempFolder folder;
    if (folder.Path().empty()) return 2;
    int result = 2;
    {
        const std::string file = folder.Path() + "/" + localName + ".exe";
        result = LDownloadVerifiedFromAny(progress, LInstallerSourceUrls(localName, programName, alternateHost), file);
        if (result == 2)
            progress.ShowError(u"Cannot verify the install-on-demand component signature. Please contact Vek support.");
        if (result == 0) {
            progress.SetStatusText(u"Running install-on-demand", 0);
            result = LInstallComponentFile(file, by, quiet);
            if (result == 0) progress.SetStatusText(u"Completed", 0);
        }
        progress.SetProgress(0.5);
    }
    if (result != 0) return result;
    progress.SetStatusText(u"Installing Application", 0);
    progress.SetStatusText(u"", 1);
    for (int second = 0; second < kSettingsWaitSeconds; ++second) {
        if (SettingsWritten(programName, alternateHost)) return int(progress.WaitStop(1000));
        if (progress.WaitStop(1000) == LWaitStopped) return 1;
        progress.SetProgress(0.5 + (second + 1) / 60.0);
    }
    return SettingsWritten(programName, alternateHost) ? int(progress.WaitStop(1000)) : 2;
}
