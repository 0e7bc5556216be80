#include <string>

#include "foundation/files_path.h"
#include "foundation/string_map.h"
#include "foundation/log.h"
#include "mail/store/attachment_cache.h"
#include "mail/store/mail_ids.h"
#include "mail/store/message_store.h"
#include "platform/file.h"

namespace {

// Writes the bytes under a temporary name; false (and no file) when not all
// of them were written.
bool WriteTemporary(const std::string& temporary, const void* data, uint64_t n) {
    bool written = false;
    {
        LPlatformFile f;
        written = f.Open(temporary.c_str(), LFileAccessWrite, LFileShareNone, LFileCreateAlways) &&
                  (n == 0 || f.Write(data, n));
    }
    if (!written) {
        LPlatformDeleteFile(temporary.c_str());
        LLogErrorF("Unable to write the cached attachment %s", temporary.c_str());
    }
    return written;
}

// Caches one part's bytes and gives the path its row names. Inside a batch
// the file keeps its temporary name until the batch commits.
bool CacheBytes(const char16_t* row_id, const char16_t* attachment_id, const char16_t* file_name, const void* data,
                uint64_t n, LEmailStoreBatch* batch, LString& storage_path) {
    if (!LEmailAttachmentCachePath(row_id, attachment_id, file_name, storage_path)) {
        LLogErrorF("Unable to make the cache folder of message %s", LToUtf8(row_id).c_str());
        return false;
    }
    std::string final_path = LToUtf8(storage_path);
    std::string temporary = LEmailAttachmentTemporaryPath(final_path, attachment_id);
    if (!WriteTemporary(temporary, data, n)) return false;
    if (batch) {
        batch->AddCacheFile(temporary, final_path);
        return true;
    }
    if (LPlatformMoveFile(temporary.c_str(), final_path.c_str())) return true;
    LPlatformDeleteFile(temporary.c_str());
    return false;
}

bool InsertRow(LAppDatabaseAccount& db, const char16_t* id, const char16_t* row_id, int part, const char16_t* name,
               const char16_t* type, const char16_t* content_id, uint64_t size, const LString& path) {
    LString part_id;
    part_id.Format(u"%d", part);
    return db.ExecF(u"INSERT INTO %s.EMAIL_MESSAGE_ATTACHMENTS (ID, MESSAGE_ID, PART_ID, FILENAME, CONTENT_TYPE, "
                    u"CONTENT_ID, SIZE_BYTES, STORAGE_PATH, IS_INLINE) VALUES ('%Q', '%Q', '%Q', '%Q', '%Q', '%Q', "
                    u"%llu, '%Q', %d);",
                    u"main", id, row_id, part_id.c_str(), name, type, content_id,
                    static_cast<unsigned long long>(size), path.c_str(), *content_id ? 1 : 0);
}

// The file name of an attached message: its subject made a valid name, else
// "attached-message"; ".eml" when it has no extension.
void AttachedMessageName(const EMLMimeMessage& m, LString& name) {
    LString subject;
    m.GetHeader(u"subject", subject);
    char16_t valid[260] = {};
    name.Clear();
    if (subject.IsEmpty() || !LMakeValidFileName(subject.c_str(), valid))
        name.Append(u"attached-message");
    else
        name.Append(valid);
    char16_t extension[260];
    LGetFileExtension(extension, name.c_str());
    if (!extension[0]) name.Append(u".eml");
}

}  // namespace

bool LEmailAttachmentNewId(LAppDatabaseAccount& db, char16_t out[11]) {
    return LEmailNewRowId(db, u"EMAIL_MESSAGE_ATTACHMENTS", out);
}

void LEmailAttachmentContentType(const char16_t* file_name, bool attached_message, LString& type) {
    type.Clear();
    if (attached_message) {
        type.Append(u"message/rfc822");
        return;
    }
    char16_t extension[260];
    LGetFileExtension(extension, file_name ? file_name : u"");
    if (LCompareNoCase(extension, LTextLength(extension), u".txt", 4) == 0)
        type.Append(u"text/plain");
    else
        type.Append(LGetMimeTypeFromExtension(extension));
}

bool LEmailStoreAttachments(LAppDatabaseAccount& db, const char16_t* row_id, const EMLMimeMessage& message,
                            LEmailStoreBatch* batch) {
    if (!row_id || !*row_id) return false;
    int part = 1;
    bool has_attachments = false;
    for (const EMLMimeAttachment* a = message.attachments; a; a = a->next, ++part) {
        char16_t id[11];
        if (!LEmailAttachmentNewId(db, id)) return false;
        // The type the part declared; only a part without one is typed by
        // its name.
        LString type;
        if (a->contentType[0])
            type.Append(a->contentType);
        else
            LEmailAttachmentContentType(a->fileName, false, type);
        uint64_t size = a->size > 0 ? static_cast<uint64_t>(a->size) : 0;
        LString path;
        if (!CacheBytes(row_id, id, a->fileName, a->data.block, size, batch, path)) return false;
        if (!InsertRow(db, id, row_id, part, a->fileName, type.c_str(), a->contentId, size, path)) return false;
        if (!a->contentId[0]) has_attachments = true;
    }
    for (const EMLMimeMessage* m = message.embedded; m; m = m->next, ++part) {
        char16_t id[11];
        if (!LEmailAttachmentNewId(db, id)) return false;
        LString name;
        AttachedMessageName(*m, name);
        LString path;
        if (!CacheBytes(row_id, id, name.c_str(), m->raw.c_str(), m->raw.length, batch, path)) return false;
        if (!InsertRow(db, id, row_id, part, name.c_str(), u"message/rfc822", u"", m->raw.length, path))
            return false;
        has_attachments = true;
    }
    // A new row starts with HAS_ATTACHMENTS 0.
    return !has_attachments ||
           db.ExecF(u"UPDATE %s.EMAIL_MESSAGES SET HAS_ATTACHMENTS=1 WHERE ID='%Q';", u"main", row_id);
}
