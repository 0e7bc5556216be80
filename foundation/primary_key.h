#pragma once
// Row keys made without asking the database: 8 base-36 digits of a
// persisted counter (least significant first) and 2 digits of a small
// per-installation server number. A process starts 256 past the stored
// counter and stores it at least every 64 keys, so keys never repeat across
// restarts. Session IDs are a key and 8 random letters a-z.
//
// The two entry points are members of LAppDatabaseAccount (database.h):
//   static void SQLCreatePrimaryKey(char16_t out[11]);
//   static void CreateSessionID(LAppDatabaseAccount& db, char16_t out[19]);
#include <cstddef>
#include <cstdint>

// The key text of a counter value and a server number (10 units and a
// terminator).
void LPrimaryKeyFormat(uint64_t counter, uint16_t server, char16_t out[11]);

// n letters a-z from the kernel's random source, each letter equally likely
// (no modulo bias), then a terminator. False when no randomness came.
bool LRandomLettersSecure(char16_t* out, size_t n);

// Forgets the process's key state (server number and counter), as a fresh
// process would start. For tests.
void LPrimaryKeyResetProcessState();
