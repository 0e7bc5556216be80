#include "web/http/access_policy.h"

#include <cctype>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/file.h"
#include "platform/folder_acl.h"
#include "platform/system_info.h"

namespace {

// Windows keeps account names to a few hundred characters; a list is a
// handful of people. Both bounds keep one request's work small.
constexpr size_t kMaxName = 259;
constexpr size_t kMaxNames = 256;
// The group that holds the ordinary users of a Debian machine.
constexpr const char* kAllUsersGroup = "users";

bool ValidName(std::string_view name) {
    if (name.size() > kMaxName) return false;
    for (char c : name)
        if (static_cast<unsigned char>(c) < 32 || std::strchr("*/:<>?|\"", c)) return false;
    size_t slash = name.find('\\');
    return slash != std::string_view::npos && slash != 0 && slash + 1 != name.size() &&
           name.find('\\', slash + 1) == std::string_view::npos;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> names;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        names.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return names;
}

bool SameNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// The machine's name as an account prefix: its first label, as Windows
// shows a computer name.
std::string ComputerName() {
    std::string host = LPlatformHostName();
    return host.substr(0, host.find('.'));
}

// The local account of "HOST\user", when HOST names this machine.
bool AccountOf(const std::string& name, uint32_t& uid) {
    size_t slash = name.find('\\');
    std::string_view host = std::string_view(name).substr(0, slash);
    std::string full = LPlatformHostName();
    if (!SameNoCase(host, ComputerName()) && !SameNoCase(host, full)) return false;
    return LPlatformUserId(name.substr(slash + 1).c_str(), uid);
}

}  // namespace

bool LAccessTableEnsure(LAppDatabaseAccount& db) {
    if (!db.handle) return false;
    db.EnsureTable(u"PORLINEX_ACCESS",
                   u"CREATE TABLE IF NOT EXISTS %s.PORLINEX_ACCESS (ID INTEGER PRIMARY KEY, ALL_USERS INTEGER NOT NULL, "
                   u"USERS TEXT NOT NULL);");
    return db.TableExistsInSchema(u"main", u"PORLINEX_ACCESS");
}

bool LAccessNormalizeUsers(const std::string& text, std::string& out) {
    out.clear();
    size_t count = 0;
    for (size_t i = 0; i < text.size();) {
        size_t start = i;
        while (i < text.size() && text[i] != '\r' && text[i] != '\n') ++i;
        std::string_view name(text.data() + start, i - start);
        if (!name.empty()) {
            if (!ValidName(name) || ++count > kMaxNames) return false;
            if (!out.empty()) out += '\n';
            out.append(name);
        }
        if (i >= text.size()) break;
        ++i;  // the line break
        if (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    }
    return true;
}

std::string LComputerUserName() {
    std::string computer = ComputerName(), user = LPlatformEffectiveUserName();
    if (computer.empty() || user.empty() || computer.size() > kMaxName || user.size() > kMaxName) return std::string();
    return computer + "\\" + user;
}

bool LAccessApplyPolicy(const std::string& folder, bool all_users, const std::string& revoke,
                        const std::string& grant, std::string* error) {
    std::string ignored;
    std::string& why = error ? *error : ignored;
    why.clear();
    if (folder.empty()) return false;
    LPlatformAclChange change;
    uint32_t id;
    for (const std::string& name : Lines(revoke))
        if (AccountOf(name, id)) change.revoke_users.push_back(id);
    std::vector<std::pair<std::string, uint32_t>> granted;
    if (!all_users) {
        for (const std::string& name : Lines(grant)) {
            if (!AccountOf(name, id)) {
                why = name + " is not an account of this machine";
                return false;
            }
            change.grant_users.push_back(id);
            granted.emplace_back(name, id);
        }
    }
    if (LPlatformGroupId(kAllUsersGroup, change.group))
        change.group_action = all_users ? LPlatformAclChange::GroupGrant : LPlatformAclChange::GroupRevoke;
    bool ok = LPlatformAclApplyTree(folder, change, {"Crypt"});
    // Entries on the data folder alone reach nobody while the maker's folder
    // above it, which the program made closed to others, stops them: each
    // granted account may pass through it, and no more.
    for (const std::string& above : LPlatformClosedAncestors(folder)) ok = LPlatformAclApplySearch(above, change) && ok;
    if (!ok) return false;
    // What the lists give, checked the way the kernel will check the account.
    const std::string db = folder + "/main.db";
    LPlatformFileInfo db_info;
    bool has_db = LPlatformGetFileInfo(db.c_str(), &db_info, false);
    for (const auto& [name, uid] : granted) {
        std::string blocked;
        if (!LPlatformUserCanUse(uid, folder, 7, &blocked) || (has_db && !LPlatformUserCanUse(uid, db, 6, &blocked))) {
            why = name + " still cannot reach " + (blocked.empty() ? folder : blocked);
            return false;
        }
    }
    return true;
}
