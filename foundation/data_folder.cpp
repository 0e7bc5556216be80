#include "foundation/data_folder.h"

#include "foundation/lstring.h"
#include "foundation/utf8.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/root.h"

namespace {

constexpr const char* kMaker = "Vek Software";
constexpr const char* kProduct = "Porlinex";

bool IsFolder(const std::string& path) {
    LPlatformFileInfo info;
    return LPlatformGetFileInfo(path.c_str(), &info, true) && info.is_folder;
}

// Creates one level when missing and opens it to the group; true when the
// folder exists afterwards.
bool EnsureShared(const std::string& path) {
    if (IsFolder(path)) return true;
    if (LPlatformCreateFolder(path.c_str(), LPlatformSharedFolderMode)) return true;
    return LPlatformLastError() == LErrorAlreadyExists && IsFolder(path);
}

bool ToField(const std::string& path, bool ok, char16_t out[260]) {
    LUTF8ToWideBuf(out, ok ? path.c_str() : "");
    return ok;
}

}  // namespace

std::string LDataFolderPath() {
    const std::string base = LPlatformKnownFolder(LKnownFolder::CommonAppData);
    const std::string maker = base + "/" + kMaker;
    const std::string data = maker + "/" + kProduct;
    // Asked for on every request and log line: one look when it is there.
    if (IsFolder(data)) return data;
    // Only the program's own two levels are shared; a missing base (a fresh
    // test root) is an ordinary folder.
    if (!IsFolder(base)) LPlatformCreateFolderTree(base, 0755);
    return EnsureShared(maker) && EnsureShared(data) ? data : std::string();
}

std::string LDataSubfolderPath(const char* name) {
    std::string data = LDataFolderPath();
    if (data.empty() || !name || !*name) return data;
    std::string sub = data + "/" + name;
    return EnsureShared(sub) ? sub : std::string();
}

bool LGetDataFolder(char16_t out[260]) {
    std::string p = LDataFolderPath();
    return ToField(p, !p.empty(), out);
}

bool LGetDataSubfolder(const char16_t* name, char16_t out[260]) {
    std::string p = LDataSubfolderPath(LToUtf8(name ? name : u"").c_str());
    return ToField(p, !p.empty(), out);
}

void LGetUserAppDataFolder(char16_t out[260]) {
    LUTF8ToWideBuf(out, LPlatformKnownFolder(LKnownFolder::UserAppData).c_str());
}

bool LCreateUserDataFolder(char16_t out[260]) {
    const std::string base = LPlatformKnownFolder(LKnownFolder::UserAppData);
    const std::string folder = base + "/" + kMaker + "/" + kProduct;
    bool ok = LPlatformCreateFolderTree(folder, 0700);
    return ToField(folder, ok, out);
}

bool LGrantEveryoneFullAccess(const char16_t* path) {
    LUTF8FromWide p(path ? path : u"");
    LPlatformFileInfo info;
    if (!LPlatformGetFileInfo(p.text, &info, false) || info.is_link) return false;
    return LPlatformSetMode(p.text, info.is_folder ? LPlatformSharedFolderMode : LPlatformSharedFileMode);
}

void LTightenDataFolder() {
    const std::string maker = LPlatformKnownFolder(LKnownFolder::CommonAppData) + "/" + kMaker;
    const std::string data = maker + "/" + kProduct;
    // The maker's level only names the data folder and must let the group
    // of allowed users pass (systemd makes it 0755 with the data folder);
    // only nobody else may put another folder in its place.
    LPlatformRemoveWriteForOthers(maker.c_str());
    LPlatformTightenMode(data.c_str());
    LPlatformFolderReader entries;
    if (!entries.Open(data.c_str())) return;
    const char* name;
    bool is_folder, is_link;
    while (entries.Next(&name, &is_folder, &is_link)) {
        if (!is_link) LPlatformTightenMode((data + "/" + name).c_str());
    }
}
