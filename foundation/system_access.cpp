#include "foundation/system_access.h"

#include "foundation/utf8.h"
#include "platform/file.h"
#include "platform/root.h"

namespace {

bool SetFolderMode(const char16_t* path, unsigned mode) {
    if (!path || !*path) return false;
    LUTF8FromWide p(path);
    LPlatformFileInfo info;
    if (!LPlatformGetFileInfo(p.text, &info, false) || !info.is_folder) return false;
    return LPlatformSetMode(p.text, mode);
}

}  // namespace

bool LSetFolderAccessForEveryone(const char16_t* path, bool grant_everyone, const char16_t*, const char16_t*) {
    return SetFolderMode(path, grant_everyone ? LPlatformSharedFolderMode : 0700);
}

bool LProtectFolderWithSddl(const char16_t* path, bool allow_users) {
    return SetFolderMode(path, allow_users ? 0750 : 0700);
}
