// save_attachment: copies a cached attachment to a path the AI client names.
// The client's path is not trusted: it must be absolute and plain (no ".",
// "..", empty parts or control characters), it is walked without following
// links, it may not lead into the program's own folders (a page planted in
// the web folder would be served to the signed-in browser), and only a
// regular file is ever replaced.
#include <string>
#include <vector>

#include "foundation/data_folder.h"
#include "foundation/utf8.h"
#include "mcp/tools/mail_rows.h"
#include "mcp/tools/tools.h"
#include "platform/root.h"

namespace {

constexpr size_t kMaxPathBytes = 4095;
constexpr size_t kMaxNameBytes = 255;
constexpr unsigned kNewFolderMode = 0700;
constexpr unsigned kSavedFileMode = 0600;

// Splits a plain absolute path into its folder and file name.
bool SplitDestination(const LString& path, std::string* folder, std::string* name) {
    if (path.IsEmpty() || path.buffer[0] != u'/') return false;
    for (char16_t c : path.View())
        if (c < 0x20 || c == 0x7F) return false;
    std::string utf8 = LToUtf8(path);
    if (utf8.size() > kMaxPathBytes) return false;
    size_t at = 1;
    while (at <= utf8.size()) {
        size_t slash = utf8.find('/', at);
        size_t end = slash == std::string::npos ? utf8.size() : slash;
        std::string part = utf8.substr(at, end - at);
        if (part.empty() || part == "." || part == ".." || part.size() > kMaxNameBytes) return false;
        if (slash == std::string::npos) break;
        at = slash + 1;
    }
    size_t last = utf8.rfind('/');
    *folder = last == 0 ? "/" : utf8.substr(0, last);
    *name = utf8.substr(last + 1);
    return true;
}

// The program's data, per-user data and run folders.
std::vector<std::string> ProtectedPaths() {
    char16_t user[260];
    std::vector<std::string> paths = {LDataFolderPath(), LPlatformKnownFolder(LKnownFolder::RunFolder)};
    if (LCreateUserDataFolder(user)) paths.push_back(LToUtf8(user));
    return paths;
}

// By name, and by what the folders are on disk (so another name for one of
// them, a bind mount say, leads nowhere either).
bool NamesProtectedFolder(const std::string& folder, const std::vector<std::string>& paths) {
    for (const std::string& p : paths)
        if (!p.empty() && (folder == p || folder.compare(0, p.size() + 1, p + "/") == 0)) return true;
    return false;
}

std::vector<LPlatformNodeId> NodeIds(const std::vector<std::string>& paths) {
    std::vector<LPlatformNodeId> ids;
    for (const std::string& p : paths) {
        LPlatformNodeId id;
        if (!p.empty() && LPlatformNodeIdOf(p, &id)) ids.push_back(id);
    }
    return ids;
}

}  // namespace

void LMcpToolSaveAttachment(LMcpAnswer& answer, LAppDatabaseAccount& db, const LMcpArgs& args) {
    char16_t attachment_id[260];
    if (!LMcpGetTextArg(args, "attachment_id", attachment_id) || !attachment_id[0]) {
        LMcpWriteToolError(answer, u"save_attachment requires attachment_id.");
        return;
    }
    LString destination;
    LMcpGetStringArg(args, "destination_path", destination);
    destination.Trim();
    if (destination.IsEmpty()) {
        LMcpWriteToolError(answer, u"save_attachment requires destination_path.");
        return;
    }
    std::string folder, name;
    if (!SplitDestination(destination, &folder, &name)) {
        LMcpWriteToolError(answer, u"save_attachment destination_path must be an absolute local path.");
        return;
    }
    LAppDatabaseCursor c;
    c.QueryF(db,
             u"SELECT a.ID, a.MESSAGE_ID, a.FILENAME, a.CONTENT_TYPE, a.STORAGE_PATH, a.SIZE_BYTES, a.IS_INLINE, "
             u"m.SUBJECT FROM %s.EMAIL_MESSAGE_ATTACHMENTS a INNER JOIN %s.EMAIL_MESSAGES m ON m.ID=a.MESSAGE_ID WHERE "
             u"a.ID='%Q' AND m.IS_DELETED=0 LIMIT 1;",
             u"main", u"main", attachment_id);
    if (!c.HasRow()) {
        LMcpWriteToolError(answer, u"Stored attachment was not found.");
        return;
    }
    LStringA storage;
    c.GetColumnTextA(4, storage);
    LPlatformFd source;
    if (storage.IsEmpty() || !LMcpOpenStoredAttachment(storage.Str(), &source)) {
        LMcpWriteToolError(answer, u"Attachment content is not stored locally.");
        return;
    }
    std::vector<std::string> protected_paths = ProtectedPaths();
    LPlatformFd target;
    LPlatformWalk walk = NamesProtectedFolder(folder, protected_paths)
                             ? LPlatformWalk::Forbidden
                             : LPlatformOpenFolderNoLinks(folder, true, kNewFolderMode, NodeIds(protected_paths), &target);
    if (walk == LPlatformWalk::Forbidden) {
        LMcpWriteToolError(answer, u"save_attachment destination_path must lie outside the Porlinex data and run folders.");
        return;
    }
    if (walk != LPlatformWalk::Ok) {
        LMcpWriteToolError(answer, u"Attachment destination folder could not be created.");
        return;
    }
    if (!LPlatformReplaceFileAt(target, name, source, kSavedFileMode)) {
        LMcpWriteToolError(answer, u"Attachment could not be saved to the destination path.");
        return;
    }
    LStringA text;
    LJsonWriter json(text);
    json.BeginObject();
    json.BeginObjectNamed("saved_attachment");
    LMcpWriteColumn(json, "attachment_id", c, 0);
    LMcpWriteColumn(json, "email_id", c, 1);
    LMcpWriteColumn(json, "filename", c, 2);
    LMcpWriteColumn(json, "content_type", c, 3);
    LMcpWriteColumnInt64(json, "size_bytes", c, 5);
    json.Bool("is_inline", c.GetColumnInt64(6) != 0);
    json.String("destination_path", destination.c_str());
    json.EndObject();
    json.EndObject();
    LString summary;
    summary.Format(u"Saved attachment %s to %s", attachment_id, destination);
    LMcpWriteToolResult(answer, summary, text);
}
