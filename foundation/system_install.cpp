#include "foundation/system_install.h"

#include <dlfcn.h>
#include <link.h>

#include <mutex>

#include "foundation/lstring.h"
#include "foundation/reg_settings.h"
#include "foundation/utf8.h"

namespace {

// Where the system's zlib, the one the zlib loader falls back to, is
// loaded from; false when it cannot be loaded.
bool SystemZlibPath(char16_t out[260]) {
    void* library = dlopen("libz.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!library) return false;
    link_map* map = nullptr;
    bool found = dlinfo(library, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name && map->l_name[0];
    if (found) LCopyField(out, LFromUtf8(map->l_name).c_str());
    dlclose(library);
    return found;
}

}  // namespace

bool LEnsureZlibComponent(LTaskProgress* progress, char16_t out[260]) {
    out[0] = 0;
    // The zlib loader prefers a registered component, then the system's.
    if (LGetComponentPath(u"zlib1x64", out) || SystemZlibPath(out)) return true;
    out[0] = 0;
    if (progress)
        progress->ShowError(u"An install-on-demand component could not be installed automatically. Please speak to "
                            u"your Porlinex administrator.");
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
