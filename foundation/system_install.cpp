#include "foundation/system_install.h"

#include <mutex>

#include "foundation/reg_settings.h"
#include "foundation/utf8.h"

bool LEnsureZlibComponent(LTaskProgress*, char16_t out[260]) {
    out[0] = 0;
    return false;
}

bool LGetInstallerPath(char16_t out[260]) {
    static std::mutex lock;
    static char16_t known[260] = {0};
    std::lock_guard<std::mutex> g(lock);
    if (!known[0]) {
        char16_t path[260];
        if ((LRegSettingsGet(u"Settings", u"InstallerPath", u"", path) && path[0]) ||
            (LRegUserSettingsGet(u"Settings", u"InstallerPath", u"", path) && path[0])) {
            LCopyField(known, path);
        }
    }
    LCopyField(out, known);
    return known[0] != 0;
}
