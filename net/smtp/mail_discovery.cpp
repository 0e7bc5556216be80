#include "net/smtp/mail_discovery.h"

#include <strings.h>

#include <cstdlib>

#include "foundation/lstring.h"
#include "net/smtp/mail_discovery_ini.h"
#include "platform/root.h"

namespace {

std::string ParentFolder(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string EnvOr(const char* name, const std::string& fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::string(v) : fallback;
}

// The mimeapps.list files in the order of precedence: the user's own, then
// the system's, as xdg-mime reads them.
std::vector<std::string> MimeAppsFiles() {
    std::string root = LPlatformRoot();
    bool rooted = std::getenv("PORLINEX_ROOT") && *std::getenv("PORLINEX_ROOT");
    // The user's config folder is the one that holds our own user hive.
    std::string userConfig = ParentFolder(ParentFolder(LPlatformKnownFolder(LKnownFolder::UserHive)));
    std::string userData = LPlatformKnownFolder(LKnownFolder::UserAppData);
    std::vector<std::string> files{userConfig + "/mimeapps.list"};
    std::string configDirs = rooted ? root + "/etc/xdg" : EnvOr("XDG_CONFIG_DIRS", "/etc/xdg");
    std::string dataDirs = rooted ? root + "/usr/local/share:" + root + "/usr/share"
                                  : EnvOr("XDG_DATA_DIRS", "/usr/local/share:/usr/share");
    auto addEach = [&files](const std::string& list, const char* suffix) {
        size_t start = 0;
        while (start <= list.size()) {
            size_t end = list.find(':', start);
            if (end == std::string::npos) end = list.size();
            if (end > start) files.push_back(list.substr(start, end - start) + suffix);
            start = end + 1;
        }
    };
    addEach(configDirs, "/mimeapps.list");
    files.push_back(userData + "/applications/mimeapps.list");
    addEach(dataDirs, "/applications/mimeapps.list");
    return files;
}

std::string FirstEntry(const std::string& list) {
    size_t end = list.find(';');
    std::string first = list.substr(0, end);
    while (!first.empty() && (first.back() == ' ' || first.back() == '\t')) first.pop_back();
    return first;
}

bool ContainsNoCase(const std::string& text, const char* part) {
    std::string lower;
    for (char c : text) lower += char(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return lower.find(part) != std::string::npos;
}

}  // namespace

std::string LDefaultMailUserHome() {
    const char* r = std::getenv("PORLINEX_ROOT");
    if (r && *r) return LPlatformRoot() + "/home";
    return EnvOr("HOME", "/root");
}

std::string LDefaultMailtoHandler() {
    for (const char* section : {"Default Applications", "Added Associations"}) {
        for (const std::string& path : MimeAppsFiles()) {
            LMailIniFile ini;
            std::string value;
            if (!ini.Load(path) || !ini.Get(section, "x-scheme-handler/mailto", &value)) continue;
            std::string first = FirstEntry(value);
            if (!first.empty()) return first;
        }
    }
    return "";
}

std::u16string LMailClientNameOfDesktopEntry(const std::string& desktopId) {
    if (ContainsNoCase(desktopId, "thunderbird")) return u"Mozilla Thunderbird";
    LString wide;
    wide.SetUtf8(desktopId.c_str());
    return std::u16string(wide.View());
}

bool LDefaultMailAccountFind(char16_t server[260], char16_t address[260]) {
    server[0] = 0;
    address[0] = 0;
    std::string handler = LDefaultMailtoHandler();
    if (handler.empty()) return false;
    std::string name = LToUtf8(LMailClientNameOfDesktopEntry(handler).c_str());
    const char* n = name.c_str();
    if (strcasecmp(n, "Windows Mail") == 0) return LDefaultMailAccountWindowsMail(server, address);
    if (strcasecmp(n, "Outlook Express") == 0) return LDefaultMailAccountOutlookExpress(server, address);
    if (strcasecmp(n, "Microsoft Outlook") == 0)
        return LDefaultMailAccountOutlook(server, address) || LDefaultMailAccountOutlookMapi(server, address);
    if (strcasecmp(n, "Mozilla Thunderbird") == 0) return LDefaultMailAccountThunderbird(server, address);
    if (strcasecmp(n, "Eudora") == 0) return LDefaultMailAccountEudora(server, address);
    return false;
}

static bool NotOnLinux(char16_t server[260], char16_t address[260]) {
    server[0] = 0;
    address[0] = 0;
    return false;
}

// These clients keep their accounts in the Windows registry or in files of
// Windows-only folders; none of them exists on Linux.
bool LDefaultMailAccountWindowsMail(char16_t server[260], char16_t address[260]) { return NotOnLinux(server, address); }
bool LDefaultMailAccountOutlookExpress(char16_t server[260], char16_t address[260]) { return NotOnLinux(server, address); }
bool LDefaultMailAccountOutlook(char16_t server[260], char16_t address[260]) { return NotOnLinux(server, address); }
bool LDefaultMailAccountOutlookMapi(char16_t server[260], char16_t address[260]) { return NotOnLinux(server, address); }
bool LDefaultMailAccountEudora(char16_t server[260], char16_t address[260]) { return NotOnLinux(server, address); }
