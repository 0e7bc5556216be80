#include "setup/maker_programs.h"

#include "platform/file.h"
#include "platform/root.h"

bool LIsPlainProgramName(const std::string& name) {
    if (name.empty() || name.size() > 100 || name[0] == '.') return false;
    for (char c : name) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                  c == '_' || c == '-' || c == ' ';
        if (!ok) return false;
    }
    return true;
}

bool LFindMakerProgram(bool vekOnly, const std::string& name, std::string& path) {
    // The name comes from the maker's files: it must never climb out of
    // the program folders.
    if (!LIsPlainProgramName(name)) return false;
    const std::string machine = LPlatformRoot() + "/opt/porlinex";
    const std::string user = LPlatformKnownFolder(LKnownFolder::UserAppData);
    const std::string places[] = {machine + "/Vek Software/", user + "/Vek Software/Program Files/",
                                  machine + "/Vek Dalmor/", user + "/Vek Dalmor/Program Files/"};
    for (size_t i = 0; i < (vekOnly ? 2u : 4u); ++i) {
        std::string candidate = places[i] + name + "/" + name;
        LPlatformFileInfo info;
        if (LPlatformGetFileInfo(candidate.c_str(), &info, true) && info.exists && !info.is_folder) {
            path = candidate;
            return true;
        }
    }
    return false;
}
