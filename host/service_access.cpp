#include "host/service_access.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include "foundation/log.h"
#include "foundation/lstring.h"
#include "foundation/reg_settings.h"
#include "host/entry_points.h"
#include "platform/folder_acl.h"
#include "platform/root.h"
#include "platform/service_state.h"

namespace {

constexpr const char16_t* kSection = u"Service";
// Bounds for what is read from the account files: a hostile or broken file
// must not make the service read without end.
constexpr size_t kMaxLines = 100000;

std::vector<std::vector<std::string>> ReadColonFile(const std::string& path) {
    std::vector<std::vector<std::string>> rows;
    std::ifstream in(path);
    std::string line;
    while (rows.size() < kMaxLines && std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> fields;
        std::stringstream ss(line);
        std::string f;
        while (std::getline(ss, f, ':')) fields.push_back(f);
        if (line.back() == ':') fields.emplace_back();
        rows.push_back(std::move(fields));
    }
    return rows;
}

void UidRange(uint32_t& low, uint32_t& high) {
    low = 1000;
    high = 60000;
    std::ifstream in(LPlatformRoot() + "/etc/login.defs");
    std::string key;
    unsigned long value;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        if (!(ls >> key >> value)) continue;
        if (key == "UID_MIN") low = static_cast<uint32_t>(value);
        if (key == "UID_MAX") high = static_cast<uint32_t>(value);
    }
}

bool LoginShell(const std::string& shell) {
    if (shell.empty()) return true;  // the system's default shell
    for (const char* none : {"/nologin", "/false", "/sync", "/shutdown", "/halt"})
        if (shell.size() >= std::strlen(none) && shell.compare(shell.size() - std::strlen(none), std::string::npos, none) == 0)
            return false;
    return true;
}

std::vector<std::string> Split(const std::string& text, char sep) {
    std::vector<std::string> out;
    std::stringstream ss(text);
    std::string item;
    while (std::getline(ss, item, sep))
        if (!item.empty()) out.push_back(item);
    return out;
}

std::string Setting(const char16_t* name, const char16_t* def) {
    char16_t out[260] = {0};
    LRegSettingsGet(kSection, name, def, out);
    return LToUtf8(out);
}

// A JavaScript string literal of a user name (names come from the account
// files, which an administrator controls, but stay data all the same).
std::string JsString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        if (c < 0x20) continue;
        out += static_cast<char>(c);
    }
    return out + "\"";
}

bool WritePolkitRule(const std::vector<std::string>& allowed) {
    std::string list;
    for (const std::string& name : allowed) list += (list.empty() ? "" : ", ") + JsString(name);
    std::string text =
        "// Written by porlinex -setaccess: the users who may start and stop the Porlinex service.\n"
        "polkit.addRule(function(action, subject) {\n"
        "    if (action.id == \"org.freedesktop.systemd1.manage-units\" &&\n"
        "        action.lookup(\"unit\") == \"PorlinexService.service\" &&\n"
        "        (action.lookup(\"verb\") == \"start\" || action.lookup(\"verb\") == \"stop\" ||\n"
        "         action.lookup(\"verb\") == \"restart\") &&\n"
        "        [" + list + "].indexOf(subject.user) >= 0) {\n"
        "        return polkit.Result.YES;\n"
        "    }\n"
        "});\n";
    std::string path = LServicePolkitRulePath();
    return LPlatformCreateFolderTree(path.substr(0, path.rfind('/')), 0755) && LServiceReplaceFile(path, text, 0644);
}

}  // namespace

std::string LServiceGrantedText() {
    // Read whole: a list of many names is longer than a settings field.
    LString text;
    LRegQueryString(LRegHive::LocalMachine, u"Software\\Vek Software\\Porlinex\\Service", u"Granted", text);
    return LToUtf8(text);
}

std::string LServicePolkitRulePath() { return LPlatformRoot() + "/etc/polkit-1/rules.d/50-porlinex.rules"; }

std::vector<LLocalUser> LListLocalUsers() {
    uint32_t low, high;
    UidRange(low, high);
    std::set<std::string> admins;
    std::set<uint32_t> admin_gids;
    for (const auto& g : ReadColonFile(LPlatformRoot() + "/etc/group")) {
        if (g.size() < 3 || (g[0] != "sudo" && g[0] != "wheel" && g[0] != "admin")) continue;
        admin_gids.insert(static_cast<uint32_t>(std::strtoul(g[2].c_str(), nullptr, 10)));
        if (g.size() > 3)
            for (const std::string& m : Split(g[3], ',')) admins.insert(m);
    }
    std::vector<LLocalUser> users;
    for (const auto& p : ReadColonFile(LPlatformRoot() + "/etc/passwd")) {
        if (p.size() < 7 || p[0].empty()) continue;
        char* end = nullptr;
        unsigned long uid = std::strtoul(p[2].c_str(), &end, 10);
        if (end == p[2].c_str() || *end || uid < low || uid > high || !LoginShell(p[6])) continue;
        uint32_t gid = static_cast<uint32_t>(std::strtoul(p[3].c_str(), nullptr, 10));
        LLocalUser u;
        u.name = p[0];
        u.uid = static_cast<uint32_t>(uid);
        u.admin = admins.count(u.name) > 0 || admin_gids.count(gid) > 0;
        users.push_back(std::move(u));
    }
    return users;
}

bool LServiceApplyAccess() {
    std::string access = Setting(u"Access", u"1");
    if (access.empty()) access = "1";
    std::vector<LLocalUser> users = LListLocalUsers();
    if (access == "2")
        for (const std::string& name : Split(LServiceGrantedText(), ';'))
            for (LLocalUser& u : users)
                if (u.name == name) u.granted = true;

    LPlatformAclChange change;
    std::vector<std::string> allowed;
    for (const LLocalUser& u : users) {
        // "All users" are every listed account: never the world bits.
        bool allow = access == "1" || u.admin || (access == "2" && u.granted);
        (allow ? change.grant_users : change.revoke_users).push_back(u.uid);
        if (allow) allowed.push_back(u.name);
    }
    bool ok = true;
    // Each object on its own: one that fails leaves the others done, and
    // says which it was.
    auto done = [&ok](bool result, const std::string& what) {
        if (!result) LLogErrorF("Cannot apply who may use the service to %s: %s.", what.c_str(), std::strerror(errno));
        ok = result && ok;
    };
    std::string run = LPlatformKnownFolder(LKnownFolder::RunFolder);
    done(LPlatformCreateFolderTree(run, 0755) && LPlatformAclApplyTree(run, change, {}), run);
    std::string hive = LPlatformKnownFolder(LKnownFolder::MachineHive);
    std::string hive_folder = hive.substr(0, hive.rfind('/'));
    done(LPlatformCreateFolderTree(hive_folder, 0755) && LPlatformAclApplyTree(hive_folder, change, {}), hive_folder);
    done(WritePolkitRule(allowed), LServicePolkitRulePath());
    return ok;
}
