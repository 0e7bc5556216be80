#include "setup/maker_programs.h"

#include <sys/stat.h>
#include <unistd.h>

#include "foundation/lstring.h"
#include "foundation/reg_settings.h"
#include "platform/root.h"
#include "setup/install_folder.h"

namespace {

bool KeyExists(const std::u16string& path) {
    LRegKey key;
    return key.Open(LRegHive::LocalMachine, path.c_str()) || key.Open(LRegHive::CurrentUser, path.c_str());
}

bool Executable(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// A key is one path segment: no separators, not "." or "..", not hidden.
bool SafeKey(const std::string& key) {
    return !key.empty() && key.size() < 128 && key[0] != '.' && key.find('/') == std::string::npos &&
           key.find('\\') == std::string::npos && key.find('\0') == std::string::npos;
}

}  // namespace

bool LIsMakerProgramInstalled(const std::u16string& key, bool vekOnly) {
    if (KeyExists(u"Software\\Vek Software\\" + key + u"\\Settings")) return true;
    return !vekOnly && KeyExists(u"Software\\Vek Dalmor\\" + key + u"\\Settings");
}

bool LFindMakerProgram(bool vekOnly, const std::u16string& key, std::string& path) {
    path.clear();
    const std::string name = LToUtf8(key.c_str());
    if (!SafeKey(name)) return false;
    if (LHiveNamesEqual(key, u"Porlinex")) {
        std::string own = LInstalledProgramPath(LInstallFolderPath());
        if (Executable(own)) path = own;
        return !path.empty();
    }
    const std::string machine = LPlatformRoot() + "/opt/";
    const std::string user = LPlatformKnownFolder(LKnownFolder::UserAppData) + "/";
    const std::string candidates[] = {
        machine + "Vek Software/" + name + "/" + name,
        user + "Vek Software/Program Files/" + name + "/" + name,
        machine + "Vek Dalmor/" + name + "/" + name,
        user + "Vek Dalmor/Program Files/" + name + "/" + name,
    };
    for (int i = 0; i < (vekOnly ? 2 : 4); ++i) {
        if (Executable(candidates[i])) {
            path = candidates[i];
            return true;
        }
    }
    return false;
}
