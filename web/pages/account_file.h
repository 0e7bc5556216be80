#pragma once
// The per-user files of the log-on pages, "Accounts/<name>.dat" in the data
// folder: URL-encoded name=value pairs joined by "&" (Password,
// LogonFailTime, LogonFailures). They hold passwords: the folder is 0700,
// the files 0600; every change re-reads the file under an exclusive lock
// and replaces it by an fsynced temporary file, so two writers keep both
// changes and a crash leaves the old file or the new one.
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <utility>
#include <vector>

using LWebAccountPairs = std::vector<std::pair<std::string, std::string>>;

// The file of a user name: every byte outside [A-Za-z0-9_@-] is %XX, so no
// name forms "..", "/" or a hidden file. Empty for an empty name or one
// whose file name would pass 259 bytes.
std::string LWebAccountFilePath(const std::string& user);
std::string LWebAccountFolder();

// The value of a pair ("" when missing); Set replaces or appends.
std::string LWebAccountGet(const LWebAccountPairs& pairs, const std::string& name);
void LWebAccountSet(LWebAccountPairs& pairs, const std::string& name, const std::string& value);
std::string LWebAccountEncode(const LWebAccountPairs& pairs);
LWebAccountPairs LWebAccountDecode(const std::string& text);

// Runs change on the user's pairs under the lock and writes them back when
// it returns true. False when the user has no file (or it cannot be read or
// written).
bool LWebAccountUpdate(const std::string& user, const std::function<bool(LWebAccountPairs&)>& change);
// Writes a user's whole file (tests and set-up; the pages never make users).
bool LWebAccountWrite(const std::string& user, const LWebAccountPairs& pairs);

// The log-on check on a loaded account: 0 success, 1 wrong password,
// 3 locked (six failures in a row, each within 1200 s of the one before,
// lock the user until 1200 s after the last).
int LWebUserCheckPassword(LWebAccountPairs& account, const std::string& password, time_t now);
// 0 success, 1 wrong password, 2 no such user, 3 locked.
int LWebCheckLogon(const std::string& user, const std::string& password);
// Equal texts, in a time that does not depend on where they differ.
bool LWebSecretEqual(const std::string& a, const std::string& b);
