#include "setup/maker_installed.h"

#include "foundation/reg_settings.h"

namespace {

bool KeyExists(const std::u16string& path) {
    LRegKey key;
    return key.Open(LRegHive::LocalMachine, path.c_str()) || key.Open(LRegHive::CurrentUser, path.c_str());
}

}  // namespace

bool LIsMakerProgramInstalled(const std::u16string& key, bool vekOnly) {
    if (KeyExists(u"Software\\Vek Software\\" + key + u"\\Settings")) return true;
    return !vekOnly && KeyExists(u"Software\\Vek Dalmor\\" + key + u"\\Settings");
}
