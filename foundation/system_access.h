#pragma once
// Folder access in place of Windows access-control lists: the owner (the
// service's user) always has full rights; "Everyone" and "Users" mean the
// group of users allowed to use the service. Nothing is ever opened to all
// users of the machine.

// Grant: the folder is shared with the group (02770). Otherwise it is the
// owner's alone (0700). Single users cannot be named in mode bits, so the
// lists of users to revoke and to grant are not applied.
bool LSetFolderAccessForEveryone(const char16_t* path, bool grant_everyone, const char16_t* revoke_users,
                                 const char16_t* grant_users);
// The owner alone (0700), or with read and search rights for the group
// (0750) when users are allowed.
bool LProtectFolderWithSddl(const char16_t* path, bool allow_users);
