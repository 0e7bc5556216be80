#include "setup/install_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "foundation/reg_settings.h"
#include "platform/root.h"
#include "host/entry_points.h"
#include "setup/setup_message.h"

namespace {

std::mutex g_lock;
std::string g_folder;

}  // namespace

std::string LInstallFolderPath() { return LPlatformRoot() + "/opt/porlinex"; }

std::string LInstalledProgramPath(const std::string& folder) { return folder + "/porlinex"; }

void LForgetInstallFolder() {
    std::lock_guard<std::mutex> g(g_lock);
    g_folder.clear();
}

bool LPrepareInstallFolder(std::string& folder) {
    {
        std::lock_guard<std::mutex> g(g_lock);
        if (!g_folder.empty()) {
            folder = g_folder;
            return true;
        }
    }
    std::string path = LInstallFolderPath();
    LPlatformCreateFolderTree(path.substr(0, path.rfind('/')), 0755);
    // Refused rights show here: the folder cannot be made, or nothing can be
    // made in it.
    std::string test = path + "/testfolder";
    if ((mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) || (mkdir(test.c_str(), 0700) != 0 && errno != EEXIST)) {
        LShowAdministratorMessage();
        return false;
    }
    rmdir(test.c_str());
    // Every user runs the program from here: the setup program's umask (077
    // in a self-extracting archive) must not keep them out.
    chmod(path.c_str(), 0755);
    LRegSettingsSet(u"Settings", u"InstalledByAdmin", u"1");
    std::lock_guard<std::mutex> g(g_lock);
    g_folder = path;
    folder = path;
    return true;
}

bool LGetInstallerPath(std::string& folder) {
    {
        std::lock_guard<std::mutex> g(g_lock);
        if (!g_folder.empty()) {
            folder = g_folder;
            return true;
        }
    }
    char16_t path[260];
    if ((LRegUserSettingsGet(u"Settings", u"InstallerPath", u"", path) && path[0]) ||
        (LRegSettingsGet(u"Settings", u"InstallerPath", u"", path) && path[0])) {
        std::lock_guard<std::mutex> g(g_lock);
        g_folder = LToUtf8(path);
        folder = g_folder;
        return true;
    }
    folder.clear();
    return false;
}
