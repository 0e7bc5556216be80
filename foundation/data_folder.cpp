#include "foundation/data_folder.h"

#include "foundation/lstring.h"
#include "foundation/utf8.h"
#include "platform/root.h"

std::string LDataFolderPath() {
    std::string base = LPlatformKnownFolder(LKnownFolder::CommonAppData);
    LPlatformCreateFolderTree(base, 0755);
    std::string maker = base + "/Vek Software";
    LPlatformCreateFolderTree(maker, LPlatformSharedFolderMode);
    std::string data = maker + "/Porlinex";
    LPlatformCreateFolderTree(data, LPlatformSharedFolderMode);
    return data;
}

std::string LDataSubfolderPath(const char* name) {
    std::string p = LDataFolderPath() + "/" + name;
    LPlatformCreateFolderTree(p, LPlatformSharedFolderMode);
    return p;
}

bool LGetDataFolder(char16_t out[260]) {
    std::string p = LDataFolderPath();
    LUTF8ToWideBuf(out, p.c_str());
    return !p.empty();
}

bool LGetDataSubfolder(const char16_t* name, char16_t out[260]) {
    std::string p = LDataSubfolderPath(LToUtf8(name).c_str());
    LUTF8ToWideBuf(out, p.c_str());
    return !p.empty();
}

char16_t* LPathCombine(char16_t out[260], const char16_t* folder, const char16_t* name, const char16_t* suffix) {
    size_t n = 0;
    for (const char16_t* p = folder; p && *p && n < 258; ++p) out[n++] = *p;
    if (n > 0 && out[n - 1] != u'/' && out[n - 1] != u'\\') out[n++] = u'/';
    for (const char16_t* p = name; p && *p && n < 259; ++p) out[n++] = *p;
    for (const char16_t* p = suffix; p && *p && n < 259; ++p) out[n++] = *p;
    out[n] = 0;
    return out;
}
