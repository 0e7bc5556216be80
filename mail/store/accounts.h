#pragma once
// What the account rows need beyond the table endpoints: the password, kept
// encrypted in EMAILACCOUNTSPASSWORDS with only a mask of "*" in the account
// row; the migration of passwords stored in plain text by older releases;
// the default Sent mailbox; the flag that forces a new mailbox-list fetch;
// and the purge of an account's downloaded mail.
#include <string>
#include <vector>

#include "foundation/database.h"

// Encrypted text of a password must fit a stored field, so a password may
// have at most this many UTF-8 bytes; a longer one is refused, never cut.
constexpr size_t LEmailPasswordMaxBytes = 192;

// Stores the password of a live account: the encrypted row and the mask in
// one transaction. False for an empty or over-long password, without a
// cipher, or when no live account has the ID.
bool LEmailAccountPasswordSet(LAppDatabaseAccount& db, const char16_t* account_id, const char16_t* password);
// The whole password; a legacy plain password is moved behind a mask first.
bool LEmailAccountPasswordGet(LAppDatabaseAccount& db, const char16_t* account_id, char16_t out[260]);
// Moves every plain password left in EMAILACCOUNTS behind a mask.
void LEmailAccountPasswordsMigrate(LAppDatabaseAccount& db);
bool LEmailAccountSetDefaultSentMailbox(LAppDatabaseAccount& db, const char16_t* account_id,
                                        const char16_t* imap_name);
bool LEmailAccountClearListRefresh(LAppDatabaseAccount& db, const char16_t* account_id);

// Clears what was downloaded for the account so that it is fetched again:
// every row that came from a server (UIDVALIDITY not 0) with its addresses,
// attachments and their cached files, parts, safety row and index entries,
// the mailboxes that hold nothing else, and their sync state. Rows that
// exist only here (queued mail, drafts: UIDVALIDITY 0) stay with their
// mailboxes. Works in chunks, each its own transaction, so that writers of
// other accounts are not held off for long; an interrupted purge leaves a
// consistent store and a second call finishes it.
bool LEmailAccountPurgeMessages(LAppDatabaseAccount& db, const char16_t* account_id);
// Messages per chunk of the purge.
constexpr int LEmailPurgeChunkRows = 500;

// Deletes the messages of an SQL list of quoted IDs ("'a', 'b'") with their
// attachments, addresses, parts and safety rows, on the caller's transaction;
// their cached files are added to `files`, to be deleted after the commit.
bool LEmailDeleteMessageRows(LAppDatabaseAccount& db, const LString& in_list, std::vector<std::string>& files);
