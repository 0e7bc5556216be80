#include "setup/desktop_entries.h"

#include <unistd.h>

#include "host/autostart.h"
#include "platform/root.h"
#include "platform/service_state.h"

namespace {

constexpr const char* kProgramEntry = "/porlinex.desktop";
constexpr const char* kSuiteEntries[] = {"/vek-suite.desktop", "/vek-software.desktop"};

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// True when the entry's text names the program in its Exec line.
bool RunsProgram(const std::string& path, const std::string& program) {
    std::string text;
    FILE* f = std::fopen(path.c_str(), "re");
    if (!f) return false;
    char buf[4096];
    size_t n = std::fread(buf, 1, sizeof buf, f);
    std::fclose(f);
    text.assign(buf, n);
    return text.find("Exec=" + LDesktopExecValue(program, "-suite")) != std::string::npos;
}

}  // namespace

std::string LApplicationsFolder() { return LPlatformRoot() + "/usr/local/share/applications"; }

bool LWriteDesktopEntries(const std::string& program) {
    std::string folder = LApplicationsFolder();
    if (!LPlatformCreateFolderTree(folder, 0755)) return false;
    std::string entry =
        "[Desktop Entry]\nType=Application\nName=Porlinex\nComment=Launch Porlinex\nExec=" +
        LDesktopExecValue(program, nullptr) +
        "\nTerminal=false\nCategories=Network;Email;\nActions=Uninstall;\n\n[Desktop Action Uninstall]\n"
        "Name=Uninstall\nExec=" +
        LDesktopExecValue(program, "-uninstall") + "\n";
    bool ok = LServiceReplaceFile(folder + kProgramEntry, entry, 0644);
    if (!Exists(folder + kSuiteEntries[0]) && !Exists(folder + kSuiteEntries[1])) {
        std::string suite =
            "[Desktop Entry]\nType=Application\nName=Vek Suite\nComment=Open the Vek Software Suite Quick "
            "Launcher\nExec=" +
            LDesktopExecValue(program, "-suite") + "\nTerminal=false\nCategories=Utility;\n";
        LServiceReplaceFile(folder + kSuiteEntries[0], suite, 0644);
    }
    return ok;
}

void LRemoveDesktopEntries(const std::string& program) {
    std::string folder = LApplicationsFolder();
    LServiceRemoveFile(folder + kProgramEntry);
    for (const char* name : kSuiteEntries)
        if (RunsProgram(folder + name, program)) LServiceRemoveFile(folder + name);
}
