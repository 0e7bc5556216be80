#pragma once
// The access policy of the data folder: all users of the machine, or a list
// of named accounts ("HOST\user", the form the settings page shows). It is
// applied as POSIX ACLs on the data folder and kept in PORLINEX_ACCESS.
#include <string>

#include "foundation/database.h"

// Creates PORLINEX_ACCESS when missing; true when it exists.
bool LAccessTableEnsure(LAppDatabaseAccount& db);
// Checks and normalises a list of names, one a line (CR, LF or both; empty
// lines and one blank or tab after a line break are dropped): each name has
// no control character, none of * / : < > ? | and no double quote, and
// exactly one backslash that is neither its first nor its last character.
// The names are joined by "\n". False when a name is invalid (the output is
// then incomplete).
bool LAccessNormalizeUsers(const std::string& text, std::string& out);
// "HOST\user" of this machine's name and the account the process runs as;
// empty when either cannot be read.
std::string LComputerUserName();

// Applies a policy to the data folder and everything in it except Crypt
// (whose keys keep their own, narrower access): for all users the group of
// ordinary users ("users") gets access and the named users of `revoke`
// lose theirs; otherwise the group and `revoke` lose it and `grant` gets
// it. The lists are normalised texts; a name of `grant` that is not a
// local account of this machine fails the whole, one of `revoke` that no
// longer exists is passed over. The folders above the data folder that the
// program made get search-only entries of the same accounts. Fails, too,
// when a granted account still cannot reach the data folder and main.db;
// *error (when given) then names the account and what stops it.
bool LAccessApplyPolicy(const std::string& folder, bool all_users, const std::string& revoke,
                        const std::string& grant, std::string* error = nullptr);
