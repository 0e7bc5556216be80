#include "host/autostart.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "foundation/log.h"
#include "host/entry_points.h"
#include "platform/root.h"
#include "platform/service_state.h"

namespace {

constexpr const char* kLogonEntry = "/porlinex.desktop";
constexpr const char* kStartupEntry = "/porlinex-runonstartup.desktop";

std::string Parent(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// An Exec argument in double quotes: inside them `"`, `` ` ``, `$` and `\`
// take a backslash; "%" is doubled as a field code would otherwise start.
std::string QuoteExecArgument(const std::string& arg) {
    std::string out = "\"";
    for (char c : arg) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
        if (c == '%') out += '%';
        out += c;
    }
    return out + "\"";
}

// The value is a string of the desktop file: its own escapes come on top
// of the Exec quoting.
std::string EscapeValue(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    return out;
}

bool EntryIsSet(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "re");
    if (!f) return false;
    char line[8192];
    bool set = false;
    while (!set && std::fgets(line, sizeof line, f)) set = std::strncmp(line, "Exec=", 5) == 0 && line[5] > ' ';
    std::fclose(f);
    return set;
}

bool WriteEntry(const std::string& folder, const char* name, const std::string& text) {
    if (!LPlatformCreateFolderTree(folder, 0755)) return false;
    return LServiceReplaceFile(folder + name, text, 0644);
}

bool RemoveEntry(const std::string& path) {
    if (LServiceRemoveFile(path)) return true;
    LLogErrorF("Unable to remove the autostart entry %s: %s. Remove it as its owner (for the machine's entry: "
               "sudo porlinex -setautorun X0).",
               path.c_str(), std::strerror(errno));
    return false;
}

}  // namespace

std::string LAutostartMachineFolder() { return LPlatformRoot() + "/etc/xdg/autostart"; }

std::string LAutostartUserFolder() {
    // The user's configuration folder is the one the user hive lives in.
    return Parent(Parent(LPlatformKnownFolder(LKnownFolder::UserHive))) + "/autostart";
}

std::string LDesktopExecValue(const std::string& program, const char* argument) {
    std::string line = QuoteExecArgument(program);
    if (argument && *argument) line += std::string(" ") + argument;
    return EscapeValue(line);
}

std::string LAutostartEntryText(const std::string& program, const char* argument) {
    return "[Desktop Entry]\nType=Application\nName=Porlinex\nComment=Local mail mirror\nExec=" +
           LDesktopExecValue(program, argument) + "\nTerminal=false\nNoDisplay=true\n";
}

bool LRunOnStartupIsSet() { return EntryIsSet(LAutostartMachineFolder() + kLogonEntry); }
bool LRunOnStartupIsSetForUser() { return EntryIsSet(LAutostartUserFolder() + kLogonEntry); }

bool LRunOnStartupSet(const std::string& program) {
    std::string text = LAutostartEntryText(program, "-logon");
    if (WriteEntry(LAutostartMachineFolder(), kLogonEntry, text)) return true;
    if (WriteEntry(LAutostartUserFolder(), kLogonEntry, text)) return true;
    LLogErrorF("Unable to write the autostart entry %s%s: %s.", LAutostartUserFolder().c_str(), kLogonEntry,
               std::strerror(errno));
    return false;
}

bool LRunOnStartupRemove() {
    std::string user = LAutostartUserFolder() + kLogonEntry;
    struct stat st;
    if (lstat(user.c_str(), &st) == 0) return RemoveEntry(user);
    return RemoveEntry(LAutostartMachineFolder() + kLogonEntry);
}

void LRunOnStartupDelete() { LRunOnStartupRemove(); }

void LRunOnStartupWriteUser(const std::string& program) {
    if (!WriteEntry(LAutostartUserFolder(), kStartupEntry, LAutostartEntryText(program, "-runonstartup")))
        LLogErrorF("Unable to write the autostart entry %s%s.", LAutostartUserFolder().c_str(), kStartupEntry);
}
