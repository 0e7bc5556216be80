#include "setup/shared_components_removal.h"

#include <unistd.h>

#include <string>

#include "platform/root.h"
#include "setup/after_install.h"
#include "setup/remove_tree.h"

namespace {

struct Maker {
    const char16_t* key;
    const char* folder;
};
constexpr Maker kMakers[] = {{u"Vek Software", "Vek Software"}, {u"Vek Dalmor", "Vek Dalmor"}};

}  // namespace

void LRemoveSharedComponents() {
    for (bool machine : {true, false})
        for (const Maker& m : kMakers) {
            // Registrations are written below WOW6432Node (where they are
            // read), so both places go.
            LDeleteKeyTree(machine, std::u16string(u"Software\\") + m.key + u"\\Components");
            LDeleteKeyTree(machine, std::u16string(u"Software\\WOW6432Node\\") + m.key + u"\\Components");
        }
    const std::string bases[] = {LPlatformRoot() + "/opt/porlinex", LPlatformKnownFolder(LKnownFolder::UserAppData)};
    for (const std::string& base : bases)
        for (const Maker& m : kMakers) {
            std::string folder = base + "/" + m.folder;
            LRemoveTreeNoFollow(folder + "/Components");
            rmdir(folder.c_str());  // only when empty
        }
}
