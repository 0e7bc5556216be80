#pragma once
// The per-machine data folder (".../Vek Software/Porlinex" under the common
// application data), its subfolders ("Logs", "Web", "Crypt", "Accounts"),
// and the per-user folder under the user's application data.
//
// Everything the service shares with desktop users gets the shared-access
// rule: owner and the group of allowed users, folders 02770, files 0660,
// never world-writable.
#include <string>

#include "foundation/files_path.h"

// The data folder; each of its two levels that is missing is created and
// opened to the group. False when it could not be made.
bool LGetDataFolder(char16_t out[260]);
// The named folder inside the data folder, created and opened to the group
// when missing.
bool LGetDataSubfolder(const char16_t* name, char16_t out[260]);
// The user's application-data folder (nothing is created).
void LGetUserAppDataFolder(char16_t out[260]);
// Creates both levels of the per-user folder (default access) and returns it.
bool LCreateUserDataFolder(char16_t out[260]);
// Applies the shared-access rule to a folder (02770) or a file (0660),
// never through a symbolic link.
bool LGrantEveryoneFullAccess(const char16_t* path);

// Run at the service's start: the data folder and what lies directly in it
// (main.db and its -wal and -shm, the subfolders) lose any rights of others
// they were given (by an older version, a careless umask, a hand): folders
// become 02770 and files 0660. Modes without rights for others are left as
// they are; the maker's folder above only loses the write right of others.
// Nothing is made.
void LTightenDataFolder();

// The same places as UTF-8 paths, for code that talks to POSIX.
std::string LDataFolderPath();
std::string LDataSubfolderPath(const char* name);
