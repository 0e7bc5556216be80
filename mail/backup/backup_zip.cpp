// Packing old month folders. The archive is made under a temporary name,
// tested by 7-Zip and only then given its final name; the month folder goes
// only after that, so a crash or a stop at any point leaves the folder, and
// never a damaged archive that a later round would take as done.
#include <set>
#include <string>

#include "foundation/child_process.h"
#include "foundation/date_time.h"
#include "foundation/folder.h"
#include "foundation/log.h"
#include "mail/backup/email_backup.h"
#include "platform/file.h"

namespace {

bool Exists(const std::string& path) {
    LPlatformFileInfo info;
    return LPlatformGetFileInfo(path.c_str(), &info, false) && info.exists;
}

bool ZipMonth(LTaskProgress& progress, const std::string& base, const std::string& month) {
    std::string archive = base + "/" + month + ".zip", tmp = archive + ".tmp";
    LPlatformDeleteFile(tmp.c_str());
    uint32_t status = 0;
    if (!LZipPathWith7Zip(LFromUtf8(tmp).c_str(), LFromUtf8(base + "/" + month).c_str(), LFromUtf8(base).c_str(),
                          &status, &progress) ||
        progress.IsStopRequested()) {
        LPlatformDeleteFile(tmp.c_str());
        return false;
    }
    uint32_t tested = 2;
    LRun7Zip(&tested, &progress, {"t", "-tzip", tmp}, nullptr, base);
    if (tested != 0 || progress.IsStopRequested() || !LPlatformMoveFile(tmp.c_str(), archive.c_str())) {
        LLogErrorF("Backup: the archive of %s did not pass its test and was not kept", month.c_str());
        LPlatformDeleteFile(tmp.c_str());
        return false;
    }
    return true;
}

}  // namespace

void LEmailBackupZipOldMonths(LTaskProgress& progress, const char16_t* folder, int months, time_t now) {
    time_t cut_time = 0;
    if (months <= 0 || !LAddMonths(now, &cut_time, -months)) return;
    struct tm tm {};
    localtime_r(&cut_time, &tm);
    char cut[32];
    snprintf(cut, sizeof cut, "%.4d-%.2d", tm.tm_year + 1900, tm.tm_mon + 1);
    std::string base = LToUtf8(folder);
    std::set<std::string> old;
    LPlatformFolderReader reader;
    if (!reader.Open(base.c_str())) return;
    const char* name;
    bool is_folder, is_link;
    while (reader.Next(&name, &is_folder, &is_link))
        if (is_folder && !is_link && LEmailBackupIsMonthName(name) && std::string(name) < cut) old.insert(name);
    reader.Close();
    for (const std::string& month : old) {
        if (progress.IsStopRequested()) return;
        if (Exists(base + "/" + month + ".zip")) continue;
        if (ZipMonth(progress, base, month) && !progress.IsStopRequested())
            LDeleteFolderTreeForce(LFromUtf8(base + "/" + month).c_str());
    }
}
