#include "foundation/folder.h"

#include <string>

#include "foundation/files.h"
#include "foundation/utf8.h"
#include "platform/file.h"

namespace {

enum class DeleteMode { Plain, Retry, Force };

uint64_t FolderSize(const std::string& folder) {
    uint64_t total = 0;
    LPlatformFolderReader reader;
    if (!reader.Open(folder.c_str())) return 0;
    const char* name;
    bool is_folder, is_link;
    while (reader.Next(&name, &is_folder, &is_link)) {
        std::string path = folder + "/" + name;
        if (is_link) continue;
        if (is_folder) {
            total += FolderSize(path);
        } else {
            LPlatformFileInfo info;
            if (LPlatformGetFileInfo(path.c_str(), &info, false)) total += info.size;
        }
    }
    return total;
}

bool DeleteEntry(const std::string& path, DeleteMode mode, uint32_t budget) {
    if (mode != DeleteMode::Retry) return LPlatformDeleteFile(path.c_str());
    LWideFromUTF8 wide(path.c_str());
    return LDeleteFileRetry(wide.text, budget);
}

bool RemoveFolder(const std::string& path, DeleteMode mode, uint32_t budget) {
    LRetryBudget retry(mode == DeleteMode::Retry ? budget : 0);
    while (!LPlatformRemoveFolder(path.c_str())) {
        uint32_t err = LPlatformLastError();
        if (!retry.PauseAfter(err)) {
            LPlatformSetLastError(err);
            return false;
        }
    }
    return true;
}

bool DeleteTree(const std::string& folder, DeleteMode mode, uint32_t budget) {
    if (mode == DeleteMode::Force) LPlatformMakeFolderWritable(folder.c_str());
    {
        LPlatformFolderReader reader;
        if (!reader.Open(folder.c_str())) return false;
        const char* name;
        bool is_folder, is_link;
        while (reader.Next(&name, &is_folder, &is_link)) {
            std::string path = folder + "/" + name;
            // A link (to a folder or not) is an entry of this tree; what it
            // points at is never touched.
            if (is_folder && !is_link) {
                DeleteTree(path, mode, budget);
            } else {
                DeleteEntry(path, mode, budget);
            }
        }
    }
    return RemoveFolder(folder, mode, budget);
}

std::string Utf8(const char16_t* path) { return LToUtf8(path ? path : u""); }

}  // namespace

uint64_t LGetFolderSize(const char16_t* folder) {
    if (!folder || !*folder) return 0;
    return FolderSize(Utf8(folder));
}

bool LCreateDirectoryTree(const char16_t* path) {
    std::string p = Utf8(path);
    if (p.empty()) return false;
    size_t slash = p.find_last_of('/');
    if (slash != std::string::npos) {
        std::string parent = slash == 0 ? std::string("/") : p.substr(0, slash);
        LPlatformFileInfo info;
        if (!LPlatformGetFileInfo(parent.c_str(), &info, true)) {
            LWideFromUTF8 wide(parent.c_str());
            LCreateDirectoryTree(wide.text);
        }
    }
    return LPlatformCreateFolder(p.c_str(), LPlatformDefaultFolderMode);
}

bool LDeleteFolderTree(const char16_t* path) { return DeleteTree(Utf8(path), DeleteMode::Plain, 0); }

bool LDeleteFolderTreeRetry(const char16_t* path, uint32_t budget_ms) {
    return DeleteTree(Utf8(path), DeleteMode::Retry, budget_ms);
}

bool LDeleteFolderTreeForce(const char16_t* path) { return DeleteTree(Utf8(path), DeleteMode::Force, 0); }

bool LDeleteFolderFiles(const char16_t* path) {
    std::string folder = Utf8(path);
    {
        LPlatformFolderReader reader;
        if (!reader.Open(folder.c_str())) return false;
        const char* name;
        bool is_folder, is_link;
        while (reader.Next(&name, &is_folder, &is_link)) {
            if (!is_folder || is_link) LPlatformDeleteFile((folder + "/" + name).c_str());
        }
    }
    return LPlatformRemoveFolder(folder.c_str());
}
