#include "engine/site_files.h"

#include <cerrno>
#include <cstring>
#include <string_view>

#include "foundation/log.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/hive_file.h"
#include "platform/regular_file.h"
#include "platform/root.h"

namespace {

bool SameContent(const std::string& path, std::string_view ours) {
    std::string have;
    // Reading at most our size bounds what a stray large file costs; a
    // longer file differs anyway.
    return LPlatformReadRegularFile(path, ours.size(), have) == LPlatformRegularRead::Ok && have == ours;
}

}  // namespace

bool LWebSiteFilesInstall(const std::string& folder) {
    bool all = true;
    for (const LWebSiteFile& f : LWebSiteFilesBuiltIn()) {
        const std::string path = folder + "/" + f.name;
        const std::string_view ours(reinterpret_cast<const char*>(f.bytes), f.size);
        if (SameContent(path, ours)) continue;
        if (!LPlatformReplaceFile(path, ours, LPlatformSharedFileMode)) {
            LLogErrorF("Web: cannot write the interface file %s: %s", path.c_str(), std::strerror(errno));
            all = false;
            continue;
        }
        const std::string gz = path + ".gz";
        if (!LPlatformDeleteFile(gz.c_str()) && LPlatformLastError() != LErrorFileNotFound) {
            LLogErrorF("Web: cannot remove the old compressed copy %s: %s", gz.c_str(), std::strerror(errno));
            all = false;
        }
    }
    return all;
}
