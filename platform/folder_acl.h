#pragma once
// Access lists on the data folder in place of Windows DACLs: POSIX ACLs
// (libacl) with named-user entries for listed users and a named-group entry
// for "all users", never world bits. Also the account lookups that turn the
// names of the access policy into ids.
#include <cstdint>
#include <string>
#include <vector>

struct LPlatformAclChange {
    // Named-user entries taken away, then given (read and write; search on
    // folders and on files the owner may run).
    std::vector<uint32_t> revoke_users;
    std::vector<uint32_t> grant_users;
    // The named-group entry of `group`: left alone, given, or taken away.
    enum GroupAction { GroupLeave = 0, GroupGrant = 1, GroupRevoke = 2 };
    GroupAction group_action = GroupLeave;
    uint32_t group = 0;
};

// Applies the change to the folder and everything below it: access entries
// on every folder, regular file and socket, default entries on folders so that what
// is made later inherits them. Links are never followed (nor changed) and
// other kinds of file are left alone; entries named in `skip`, directly
// inside the folder, keep the access they have. False when any object could
// not be changed or the tree is deeper than 32 levels (the rest is still
// done).
bool LPlatformAclApplyTree(const std::string& folder, const LPlatformAclChange& change,
                           const std::vector<std::string>& skip);

// The change on one folder alone, as search-only entries on its access
// list (no default entries): the way through a folder above the data folder
// without the right to list or change it. Links are not followed.
bool LPlatformAclApplySearch(const std::string& folder, const LPlatformAclChange& change);

// The folders above `folder`, nearest first, that the program made for it:
// up to the first one that has another owner or group than `folder`, is a
// link, or lets others pass (a system folder such as /var/lib).
std::vector<std::string> LPlatformClosedAncestors(const std::string& folder);

// Whether the account uid may pass every folder on the way to the path and
// use the path itself as `want` says (4 read, 2 write, 1 search; summed),
// by the kernel's rules for mode bits and access lists (root may do all).
// When not, *blocked names the first place that stops it (empty when the
// account or the path cannot be looked up).
bool LPlatformUserCanUse(uint32_t uid, const std::string& path, int want, std::string* blocked);

// Whether the object's access list has a named-user entry that lets uid
// write (the mask included).
bool LPlatformAclUserCanWrite(const std::string& path, uint32_t uid);

// Takes every extended entry off an open folder: its access list is its
// mode bits again and it has no default entries, so nothing made inside it
// inherits a named user.
bool LPlatformAclResetFolder(int folder_fd);

// Local accounts: false when the name is unknown.
bool LPlatformUserId(const char* name, uint32_t& uid);
bool LPlatformGroupId(const char* name, uint32_t& gid);
// The name of the account the process runs as; empty when it has none.
std::string LPlatformEffectiveUserName();
bool LPlatformIsSuperUser();
