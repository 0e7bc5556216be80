#include "platform/folder_acl.h"

#include <acl/libacl.h>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/acl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <utility>

namespace {

constexpr int kMaxDepth = 32;

struct AclFree {
    void operator()(void* p) const { acl_free(p); }
};
using AclHolder = std::unique_ptr<struct __acl_ext, AclFree>;

// The id of a named entry, or -1 for the other kinds.
int64_t Qualifier(acl_entry_t e) {
    void* q = acl_get_qualifier(e);
    if (!q) return -1;
    int64_t id = *static_cast<uid_t*>(q);
    acl_free(q);
    return id;
}

bool Listed(const std::vector<uint32_t>& ids, int64_t id) {
    return id >= 0 && std::find(ids.begin(), ids.end(), static_cast<uint32_t>(id)) != ids.end();
}

// Whether the change takes this entry away (granted users are taken away
// too and given again with the rights they should have).
bool Drops(acl_entry_t e, const LPlatformAclChange& c) {
    acl_tag_t tag;
    if (acl_get_tag_type(e, &tag) != 0) return false;
    if (tag == ACL_USER) {
        int64_t id = Qualifier(e);
        return Listed(c.revoke_users, id) || Listed(c.grant_users, id);
    }
    if (tag == ACL_GROUP) return c.group_action != LPlatformAclChange::GroupLeave && Qualifier(e) == c.group;
    return false;
}

// What a granted entry allows: read and write, search too when `search`;
// only search when `search_only` (a folder on the way to the data).
struct Rights {
    bool search = false;
    bool search_only = false;
};

bool AddEntry(acl_t* acl, acl_tag_t tag, uint32_t id, Rights r) {
    acl_entry_t e;
    acl_permset_t perms;
    if (acl_create_entry(acl, &e) != 0 || acl_set_tag_type(e, tag) != 0) return false;
    if (acl_set_qualifier(e, &id) != 0 || acl_get_permset(e, &perms) != 0) return false;
    acl_clear_perms(perms);
    if (!r.search_only) {
        acl_add_perm(perms, ACL_READ);
        acl_add_perm(perms, ACL_WRITE);
    }
    if (r.search || r.search_only) acl_add_perm(perms, ACL_EXECUTE);
    return acl_set_permset(e, perms) == 0;
}

// Edits one list: the change's entries out, then the granted ones in.
// Returns the number of named entries left, or -1 on failure.
int Edit(acl_t* acl, const LPlatformAclChange& c, Rights rights) {
    for (bool found = true; found;) {
        found = false;
        acl_entry_t e;
        for (int id = ACL_FIRST_ENTRY; acl_get_entry(*acl, id, &e) == 1; id = ACL_NEXT_ENTRY) {
            if (Drops(e, c)) {
                if (acl_delete_entry(*acl, e) != 0) return -1;
                found = true;
                break;
            }
        }
    }
    for (uint32_t uid : c.grant_users)
        if (!AddEntry(acl, ACL_USER, uid, rights)) return -1;
    if (c.group_action == LPlatformAclChange::GroupGrant && !AddEntry(acl, ACL_GROUP, c.group, rights)) return -1;
    int named = 0;
    acl_entry_t e;
    for (int id = ACL_FIRST_ENTRY; acl_get_entry(*acl, id, &e) == 1; id = ACL_NEXT_ENTRY) {
        acl_tag_t tag;
        if (acl_get_tag_type(e, &tag) == 0 && (tag == ACL_USER || tag == ACL_GROUP)) ++named;
    }
    if (named > 0 && acl_calc_mask(acl) != 0) return -1;
    return named;
}

// The default list of a folder that has none: the base entries of its
// access list, to which the named ones are then added.
acl_t BaseOf(acl_t access) {
    acl_t def = acl_init(8);
    if (!def) return nullptr;
    acl_entry_t e;
    for (int id = ACL_FIRST_ENTRY; acl_get_entry(access, id, &e) == 1; id = ACL_NEXT_ENTRY) {
        acl_tag_t tag;
        if (acl_get_tag_type(e, &tag) != 0) continue;
        if (tag != ACL_USER_OBJ && tag != ACL_GROUP_OBJ && tag != ACL_OTHER) continue;
        acl_entry_t copy;
        if (acl_create_entry(&def, &copy) != 0 || acl_copy_entry(copy, e) != 0) {
            acl_free(def);
            return nullptr;
        }
    }
    return def;
}

// `path` names the object through its descriptor in /proc, so the lists
// land on the object that was opened, never on what a link points to.
bool ApplyOne(const std::string& path, bool folder, mode_t mode, const LPlatformAclChange& c) {
    Rights rights;
    rights.search = folder || (mode & S_IXUSR);
    AclHolder access(acl_get_file(path.c_str(), ACL_TYPE_ACCESS));
    if (!access) return false;
    acl_t a = access.release();
    int named = Edit(&a, c, rights);
    access.reset(a);
    if (named < 0 || acl_valid(a) != 0 || acl_set_file(path.c_str(), ACL_TYPE_ACCESS, a) != 0) return false;
    if (!folder) return true;

    AclHolder def(acl_get_file(path.c_str(), ACL_TYPE_DEFAULT));
    if (!def) return false;
    bool had_default = acl_entries(def.get()) > 0;
    if (!had_default) def.reset(BaseOf(a));
    if (!def) return false;
    acl_t d = def.release();
    named = Edit(&d, c, Rights{true, false});
    def.reset(d);
    if (named < 0) return false;
    if (named == 0) return !had_default || acl_delete_def_file(path.c_str()) == 0;
    return acl_valid(d) == 0 && acl_set_file(path.c_str(), ACL_TYPE_DEFAULT, d) == 0;
}

std::string ProcPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

bool Walk(int dirfd, const LPlatformAclChange& c, const std::vector<std::string>* skip, int depth) {
    struct stat st;
    if (fstat(dirfd, &st) != 0) return false;
    bool ok = ApplyOne(ProcPath(dirfd), true, st.st_mode, c);
    if (depth >= kMaxDepth) return false;
    int listfd = dup(dirfd);
    DIR* dir = listfd >= 0 ? fdopendir(listfd) : nullptr;
    if (!dir) {
        if (listfd >= 0) close(listfd);
        return false;
    }
    while (dirent* d = readdir(dir)) {
        std::string name = d->d_name;
        if (name == "." || name == "..") continue;
        if (skip && std::find(skip->begin(), skip->end(), name) != skip->end()) continue;
        // O_PATH with O_NOFOLLOW opens a link as itself; its type then
        // shows that it is one, and it is passed over.
        int fd = openat(dirfd, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            ok = ok && errno == ENOENT;  // gone while walked
            continue;
        }
        if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
            int sub = openat(dirfd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            ok = sub >= 0 && Walk(sub, c, nullptr, depth + 1) && ok;
            if (sub >= 0) close(sub);
        } else if (S_ISREG(st.st_mode) || S_ISSOCK(st.st_mode)) {
            // A socket's access list decides who may connect to it.
            ok = ApplyOne(ProcPath(fd), false, st.st_mode, c) && ok;
        }
        close(fd);
    }
    closedir(dir);
    return ok;
}

// The rights (4 read, 2 write, 1 search) a permission set holds.
int Bits(acl_permset_t perms) {
    return (acl_get_perm(perms, ACL_READ) == 1 ? 4 : 0) | (acl_get_perm(perms, ACL_WRITE) == 1 ? 2 : 0) |
           (acl_get_perm(perms, ACL_EXECUTE) == 1 ? 1 : 0);
}

// The kernel's access check of POSIX ACLs for an account that is not root:
// the owner's entry for the owner; else a named entry of the account; else
// the group entries of its groups (one that grants suffices; matching only
// ones that do not refuses); else the others' entry. The mask bounds every
// entry but the owner's and the others'.
bool Permits(const std::string& path, uint32_t uid, const std::vector<gid_t>& groups, int want) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
    AclHolder acl(acl_get_file(path.c_str(), ACL_TYPE_ACCESS));
    if (!acl) return false;
    int user_obj = 0, other = 0, mask = 7, named_user = -1;
    bool group_matched = false, group_grants = false;
    std::vector<std::pair<int64_t, int>> group_entries;
    acl_entry_t e;
    for (int id = ACL_FIRST_ENTRY; acl_get_entry(acl.get(), id, &e) == 1; id = ACL_NEXT_ENTRY) {
        acl_tag_t tag;
        acl_permset_t perms;
        if (acl_get_tag_type(e, &tag) != 0 || acl_get_permset(e, &perms) != 0) continue;
        int bits = Bits(perms);
        switch (tag) {
            case ACL_USER_OBJ: user_obj = bits; break;
            case ACL_USER:
                if (Qualifier(e) == uid) named_user = bits;
                break;
            case ACL_GROUP_OBJ: group_entries.emplace_back(st.st_gid, bits); break;
            case ACL_GROUP: group_entries.emplace_back(Qualifier(e), bits); break;
            case ACL_MASK: mask = bits; break;
            case ACL_OTHER: other = bits; break;
            default: break;
        }
    }
    if (st.st_uid == uid) return (user_obj & want) == want;
    if (named_user >= 0) return (named_user & mask & want) == want;
    for (const auto& [gid, bits] : group_entries) {
        if (gid < 0 || std::find(groups.begin(), groups.end(), static_cast<gid_t>(gid)) == groups.end()) continue;
        group_matched = true;
        group_grants = group_grants || (bits & mask & want) == want;
    }
    if (group_matched) return group_grants;
    return (other & want) == want;
}

template <class Entry, class Lookup>
bool LookUp(const char* name, Lookup lookup, uint32_t& id, uint32_t Entry::*field) {
    if (!name || !*name) return false;
    Entry entry;
    Entry* found = nullptr;
    std::vector<char> buf(16384);
    if (lookup(name, &entry, buf.data(), buf.size(), &found) != 0 || !found) return false;
    id = entry.*field;
    return true;
}

}  // namespace

bool LPlatformAclApplyTree(const std::string& folder, const LPlatformAclChange& change,
                           const std::vector<std::string>& skip) {
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = Walk(fd, change, &skip, 0);
    close(fd);
    return ok;
}

bool LPlatformAclResetFolder(int folder_fd) {
    struct stat st;
    if (fstat(folder_fd, &st) != 0) return false;
    std::string path = ProcPath(folder_fd);
    AclHolder plain(acl_from_mode(st.st_mode & 0777));
    if (!plain) return false;
    // A file system without access lists has nothing to take off.
    if (acl_set_file(path.c_str(), ACL_TYPE_ACCESS, plain.get()) != 0) return errno == ENOTSUP;
    // Setting the access list from the mode drops the set-group-id bit on
    // some file systems; it is put back as it was.
    if (fchmod(folder_fd, st.st_mode & 07777) != 0) return false;
    return acl_delete_def_file(path.c_str()) == 0;
}

bool LPlatformUserId(const char* name, uint32_t& uid) {
    return LookUp<passwd>(name, getpwnam_r, uid, &passwd::pw_uid);
}

bool LPlatformGroupId(const char* name, uint32_t& gid) {
    return LookUp<group>(name, getgrnam_r, gid, &group::gr_gid);
}

std::string LPlatformEffectiveUserName() {
    passwd pw;
    passwd* found = nullptr;
    std::vector<char> buf(16384);
    if (getpwuid_r(geteuid(), &pw, buf.data(), buf.size(), &found) != 0 || !found) return std::string();
    return pw.pw_name;
}

bool LPlatformIsSuperUser() { return geteuid() == 0; }

bool LPlatformAclUserCanWrite(const std::string& path, uint32_t uid) {
    AclHolder acl(acl_get_file(path.c_str(), ACL_TYPE_ACCESS));
    if (!acl) return false;
    bool entry = false, masked_out = false;
    acl_entry_t e;
    for (int id = ACL_FIRST_ENTRY; acl_get_entry(acl.get(), id, &e) == 1; id = ACL_NEXT_ENTRY) {
        acl_tag_t tag;
        acl_permset_t perms;
        if (acl_get_tag_type(e, &tag) != 0 || acl_get_permset(e, &perms) != 0) continue;
        if (tag == ACL_USER && Qualifier(e) == uid) entry = acl_get_perm(perms, ACL_WRITE) == 1;
        if (tag == ACL_MASK) masked_out = acl_get_perm(perms, ACL_WRITE) != 1;
    }
    return entry && !masked_out;
}

bool LPlatformAclApplySearch(const std::string& folder, const LPlatformAclChange& change) {
    int fd = open(folder.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    std::string path = ProcPath(fd);
    AclHolder access(acl_get_file(path.c_str(), ACL_TYPE_ACCESS));
    bool ok = access != nullptr;
    if (ok) {
        acl_t a = access.release();
        int named = Edit(&a, change, Rights{false, true});
        access.reset(a);
        ok = named >= 0 && acl_valid(a) == 0 && acl_set_file(path.c_str(), ACL_TYPE_ACCESS, a) == 0;
    }
    close(fd);
    return ok;
}

bool LPlatformUserCanUse(uint32_t uid, const std::string& path, int want, std::string* blocked) {
    if (blocked) blocked->clear();
    if (uid == 0) return true;
    passwd pw;
    passwd* found = nullptr;
    std::vector<char> buf(16384);
    if (getpwuid_r(uid, &pw, buf.data(), buf.size(), &found) != 0 || !found) return false;
    std::vector<gid_t> groups(64);
    int count = static_cast<int>(groups.size());
    if (getgrouplist(pw.pw_name, pw.pw_gid, groups.data(), &count) < 0) {
        groups.resize(static_cast<size_t>(count));
        if (getgrouplist(pw.pw_name, pw.pw_gid, groups.data(), &count) < 0) return false;
    }
    groups.resize(static_cast<size_t>(count));
    char* real = realpath(path.c_str(), nullptr);
    if (!real) return false;
    std::string full = real;
    free(real);
    // Every folder on the way must let the account pass, then the object
    // itself must allow what is wanted.
    if (!Permits("/", uid, groups, 1)) {
        if (blocked) *blocked = "/";
        return false;
    }
    for (size_t at = 1; at < full.size(); ++at) {
        if (full[at] != '/') continue;
        std::string folder = full.substr(0, at);
        if (!Permits(folder, uid, groups, 1)) {
            if (blocked) *blocked = folder;
            return false;
        }
    }
    if (!Permits(full, uid, groups, want)) {
        if (blocked) *blocked = full;
        return false;
    }
    return true;
}

std::vector<std::string> LPlatformClosedAncestors(const std::string& folder) {
    std::vector<std::string> found;
    struct stat data;
    if (stat(folder.c_str(), &data) != 0) return found;
    std::string at = folder;
    for (int depth = 0; depth < kMaxDepth; ++depth) {
        size_t slash = at.rfind('/');
        if (slash == std::string::npos || slash == 0) break;
        at.resize(slash);
        struct stat st;
        if (lstat(at.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) break;
        if (st.st_uid != data.st_uid || st.st_gid != data.st_gid || (st.st_mode & S_IXOTH)) break;
        found.push_back(at);
    }
    return found;
}
