#pragma once
// Who may use the background service: administrators only (Access 0), all
// users (1), or administrators and chosen users (2, the names in Granted),
// kept in the machine hive's "Service" section. The choice becomes named
// ACL entries on the run folder (the service socket and its lock and state
// files), on the machine hive's folder and files, and a polkit rule that
// lets the same users start and stop the unit. A user's own data folder is
// never opened to others.
#include <cstdint>
#include <string>
#include <vector>

struct LLocalUser {
    std::string name;
    uint32_t uid = 0;
    bool granted = false;
    bool admin = false;
};

// The local accounts of the password database (the root's etc/passwd): a
// uid within login.defs' UID_MIN..UID_MAX (1000..60000 by default) and a
// login shell. Administrators are members of sudo, wheel or admin.
std::vector<LLocalUser> LListLocalUsers();

// Applies the stored choice; false when some object could not be changed
// (the others are still done).
bool LServiceApplyAccess();

std::string LServicePolkitRulePath();
// The stored "Granted" names, each followed by ";", whole.
std::string LServiceGrantedText();
