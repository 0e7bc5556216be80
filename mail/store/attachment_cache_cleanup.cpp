#include <set>
#include <string>
#include <vector>

#include "foundation/log.h"
#include "mail/store/attachment_cache.h"
#include "mail/store/message_store.h"
#include "platform/file.h"

namespace {

std::vector<std::string> Entries(const std::string& folder, bool folders) {
    std::vector<std::string> names;
    LPlatformFolderReader reader;
    if (!reader.Open(folder.c_str())) return names;
    const char* name = nullptr;
    bool is_folder = false, is_link = false;
    while (reader.Next(&name, &is_folder, &is_link))
        if (!is_link && is_folder == folders) names.emplace_back(name);
    return names;
}

// The files of one message's folder that no attachment row names.
int CleanMessageFolder(LAppDatabaseAccount& db, const std::string& root, const std::string& message_id) {
    const std::string folder = root + message_id;
    std::set<std::string> kept;
    {
        LAppDatabaseCursor c;
        c.QueryF(db,
                 u"SELECT STORAGE_PATH FROM %s.EMAIL_MESSAGE_ATTACHMENTS WHERE MESSAGE_ID='%Q' AND "
                 u"COALESCE(STORAGE_PATH, '')<>'';",
                 u"main", LFromUtf8(message_id).c_str());
        for (; c.HasRow(); c.Step()) {
            LStringA path;
            c.GetColumnTextA(0, path);
            kept.insert(path.Str());
        }
    }
    int removed = 0;
    for (const std::string& name : Entries(folder, false)) {
        std::string path = folder + "/" + name;
        if (kept.count(path)) continue;
        if (LPlatformDeleteFile(path.c_str())) ++removed;
    }
    LPlatformRemoveFolder(folder.c_str());  // only when nothing is left in it
    return removed;
}

}  // namespace

void LEmailAttachmentCacheCleanup(LAppDatabaseAccount& db) {
    const std::string root = LEmailAttachmentCacheRoot();
    if (root.empty() || !db.handle) return;
    int removed = 0;
    for (const std::string& message_id : Entries(root, true)) {
        std::u16string id(LFromUtf8(message_id).View());
        // Only the folders this cache makes are looked into.
        if (LEmailAttachmentCacheFolderName(id.c_str())) removed += CleanMessageFolder(db, root, message_id);
    }
    if (removed) LLogInfoF("Removed %d cached attachment files left without their message", removed);
}
