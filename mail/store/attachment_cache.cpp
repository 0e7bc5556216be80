#include "mail/store/attachment_cache.h"

#include "foundation/data_folder.h"
#include "foundation/files_path.h"
#include "foundation/lstring.h"
#include "mail/store/message_store.h"
#include "platform/file.h"

namespace {

// The most bytes one name may have on the file systems the cache lives on.
constexpr size_t kMaxNameBytes = 255;

bool EnsureFolder(const std::string& path) {
    LPlatformFileInfo info;
    if (LPlatformGetFileInfo(path.c_str(), &info, false) && info.exists) return info.is_folder && !info.is_link;
    LPlatformCreateFolder(path.c_str(), LPlatformDefaultFolderMode);
    return LPlatformGetFileInfo(path.c_str(), &info, false) && info.exists && info.is_folder && !info.is_link;
}

// Cut to at most n bytes, never inside a UTF-8 sequence.
void CutUtf8(std::string& s, size_t n) {
    if (s.size() <= n) return;
    size_t end = n;
    while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) --end;
    s.resize(end);
}

}  // namespace

std::string LEmailAttachmentCacheRoot() {
    char16_t folder[260];
    if (!LCreateUserDataFolder(folder)) return {};
    std::string root = LToUtf8(folder) + "/CachedAttachments";
    if (!EnsureFolder(root)) return {};
    return root + "/";
}

bool LEmailAttachmentCacheFolderName(const char16_t* message_id) {
    if (!message_id || !*message_id) return false;
    size_t n = 0;
    for (const char16_t* p = message_id; *p; ++p, ++n) {
        char16_t c = *p;
        if (!((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9'))) return false;
    }
    return n <= 64;
}

std::string LEmailAttachmentTemporaryPath(const std::string& final_path, const char16_t* attachment_id) {
    size_t slash = final_path.rfind('/');
    return final_path.substr(0, slash + 1) + LToUtf8(attachment_id) + LEmailAttachmentTemporarySuffix;
}

bool LEmailAttachmentCachePath(const char16_t* message_id, const char16_t* attachment_id, const char16_t* file_name,
                               LString& path) {
    path.Clear();
    // Both IDs become names in the path: only plain ones are taken.
    if (!LEmailAttachmentCacheFolderName(attachment_id) || !LEmailAttachmentCacheFolderName(message_id))
        return false;
    std::string root = LEmailAttachmentCacheRoot();
    if (root.empty()) return false;
    std::string folder = root + LToUtf8(message_id);
    if (!EnsureFolder(folder)) return false;
    char16_t valid[260] = {};
    if (!file_name || !*file_name || !LMakeValidFileName(file_name, valid)) {
        std::u16string_view fallback = u"attachment.bin";
        fallback.copy(valid, fallback.size());
        valid[fallback.size()] = 0;
    }
    // The attachment ID comes first, so the name never begins with "."; the
    // hyphen tells it from a temporary name.
    std::string name = LToUtf8(attachment_id) + "-" + LToUtf8(valid);
    CutUtf8(name, kMaxNameBytes);
    std::string full = folder + "/" + name;
    path = LFromUtf8(full);
    return true;
}
