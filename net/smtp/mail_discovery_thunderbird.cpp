#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/utf8.h"
#include "net/smtp/mail_discovery.h"
#include "net/smtp/mail_discovery_ini.h"
#include "platform/regular_file.h"

namespace {

// A preference line is user_pref("name", "value"); the value is what follows
// the name and any blanks, quotes and commas, up to the next quote. The name
// must end where the quoted name ends, so "...id1.useremail" is not found in
// a line of "...id1.useremail2".
bool PrefValue(const std::string& prefsText, const std::string& name, std::string* value) {
    size_t pos = 0;
    while (pos < prefsText.size()) {
        size_t end = prefsText.find('\n', pos);
        if (end == std::string::npos) end = prefsText.size();
        std::string_view line(prefsText.data() + pos, end - pos);
        pos = end + 1;
        size_t quote = line.find('"');
        if (quote == std::string_view::npos) continue;
        std::string_view after = line.substr(quote + 1);
        if (after.substr(0, name.size()) != name) continue;
        after.remove_prefix(name.size());
        if (after.empty() || (after[0] != '"' && after[0] != ' ' && after[0] != ',')) continue;
        size_t start = after.find_first_not_of(" \t\",");
        if (start == std::string_view::npos) start = after.size();
        after.remove_prefix(start);
        *value = std::string(after.substr(0, after.find('"')));
        return true;
    }
    return false;
}

std::string PrefValueOr(const std::string& prefsText, const std::string& name) {
    std::string v;
    PrefValue(prefsText, name, &v);
    return v;
}

std::vector<std::string> CommaList(const std::string& text) {
    std::vector<std::string> items;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(',', start);
        if (end == std::string::npos) end = text.size();
        std::string item = text.substr(start, end - start);
        size_t b = item.find_first_not_of(" \t");
        size_t e = item.find_last_not_of(" \t");
        if (b != std::string::npos) items.push_back(item.substr(b, e - b + 1));
        start = end + 1;
    }
    return items;
}

// prefs.js of a profile with many accounts runs to a few megabytes.
constexpr uint64_t kPrefsMaxBytes = 16u << 20;

bool ReadWhole(const std::string& path, std::string* text) {
    return LPlatformReadRegularFile(path, kPrefsMaxBytes, *text) == LPlatformRegularRead::Ok;
}

bool StartsNoCase(const std::string& s, const char* prefix) {
    return strncasecmp(s.c_str(), prefix, std::strlen(prefix)) == 0;
}

// A profile section's "Default" flag: a number, not 0.
bool MarkedDefault(const LMailIniFile::Section& s) {
    std::string v;
    if (!LMailIniFile::GetIn(s, "Default", &v) || v.empty()) return false;
    for (char c : v)
        if (c < '0' || c > '9') return false;
    return v.find_first_not_of('0') != std::string::npos;
}

// The default profile's folder. Since Thunderbird 68 an [Install<hash>]
// section's Default names the profile in use (its Path); before, and
// without one, the first profile section marked Default (which must have a
// Path), else the first section with a Path.
bool ProfileFolder(const std::string& folder, std::string* profile) {
    LMailIniFile ini;
    if (!ini.Load(folder + "/profiles.ini")) return false;
    const LMailIniFile::Section* chosen = nullptr;
    std::string path, v;
    for (const auto& s : ini.Sections()) {
        if (!StartsNoCase(s.name, "Install") || !LMailIniFile::GetIn(s, "Default", &v) || v.empty()) continue;
        path = v;
        for (const auto& p : ini.Sections())
            if (StartsNoCase(p.name, "Profile") && LMailIniFile::GetIn(p, "Path", &v) && v == path) chosen = &p;
        if (!chosen) {
            *profile = path[0] == '/' ? path : folder + "/" + path;
            return true;
        }
        break;
    }
    for (const auto& s : ini.Sections()) {
        if (chosen) break;
        if (!StartsNoCase(s.name, "Install") && MarkedDefault(s)) {
            if (!LMailIniFile::GetIn(s, "Path", &path)) return false;
            chosen = &s;
        }
    }
    if (!chosen) {
        for (const auto& s : ini.Sections()) {
            if (!StartsNoCase(s.name, "Install") && LMailIniFile::GetIn(s, "Path", &path)) {
                chosen = &s;
                break;
            }
        }
    }
    if (!chosen || path.empty()) return false;
    // Linux profiles carry IsRelative=0 when Path is a full path.
    bool relative = !LMailIniFile::GetIn(*chosen, "IsRelative", &v) || std::atoi(v.c_str()) != 0;
    *profile = relative && path[0] != '/' ? folder + "/" + path : path;
    return true;
}

}  // namespace

bool LDefaultMailAccountThunderbirdIn(const std::string& folder, char16_t server[260], char16_t address[260]) {
    server[0] = 0;
    address[0] = 0;
    std::string profile, prefs;
    if (!ProfileFolder(folder, &profile) || !ReadWhole(profile + "/prefs.js", &prefs)) return false;

    std::string identity, email;
    for (const std::string& account : CommaList(PrefValueOr(prefs, "mail.accountmanager.defaultaccount"))) {
        for (const std::string& id : CommaList(PrefValueOr(prefs, "mail.account." + account + ".identities"))) {
            identity = id;
            if (PrefValue(prefs, "mail.identity." + id + ".useremail", &email) && !email.empty()) break;
            email.clear();
        }
        if (!email.empty()) break;
    }
    LUTF8ToWideBuf(address, email.c_str());

    std::string serverId = PrefValueOr(prefs, "mail.smtp.defaultserver");
    if (serverId.empty() && !identity.empty()) serverId = PrefValueOr(prefs, "mail.identity." + identity + ".smtpServer");
    std::string host;
    if (serverId.empty() || !PrefValue(prefs, "mail.smtpserver." + serverId + ".hostname", &host)) return false;
    LUTF8ToWideBuf(server, host.c_str());
    return true;
}

bool LDefaultMailAccountThunderbird(char16_t server[260], char16_t address[260]) {
    std::string home = LDefaultMailUserHome();
    std::string handler = LDefaultMailtoHandler();
    // Flatpak and Snap keep the profile inside the package's own home.
    if (handler == "org.mozilla.Thunderbird.desktop" || handler == "net.thunderbird.Thunderbird.desktop") {
        std::string id = handler.substr(0, handler.size() - 8);
        if (LDefaultMailAccountThunderbirdIn(home + "/.var/app/" + id + "/.thunderbird", server, address)) return true;
    } else if (handler == "thunderbird_thunderbird.desktop") {
        if (LDefaultMailAccountThunderbirdIn(home + "/snap/thunderbird/common/.thunderbird", server, address))
            return true;
    }
    return LDefaultMailAccountThunderbirdIn(home + "/.thunderbird", server, address);
}
