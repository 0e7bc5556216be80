#pragma once
// The mailboxes of an account as the server lists them, and the moves and
// deletes of stored messages.
//
// A move changes the local row at once and hands the server side to the
// account's synchronisation worker (LMailSyncQueueServerMove), which keeps it
// in EMAIL_SERVER_MOVES until done. Until the server copy is known, the moved
// row is "unlinked": it keeps its account and sits in the target mailbox with
// a negative UID (minus its rowid, so that no two unlinked rows can meet on
// the unique key and no server UID is ever taken for it) and its source's
// UIDVALIDITY. The worker then links it to the target's UIDVALIDITY and the
// COPYUID UID (LEmailMoveLink), or moves it back when the server refused
// (LEmailMoveRevert); a row still unlinked is adopted by Message-ID and size
// when the target's pass stores its server copy (LEmailFindStoredMessage).
//
// EMAIL_SERVER_MOVES (created with the other message tables): ID INTEGER
// PRIMARY KEY, ACCOUNT_ID, MESSAGE_ID (the EMAIL_MESSAGES ID),
// SOURCE_MAILBOX_ID, TARGET_MAILBOX_ID, UID and UIDVALIDITY (the source's),
// IS_DELETE, QUEUED_UTC, ATTEMPTS, LAST_ERROR. Written and emptied by the
// synchronisation worker; the account purge clears an account's rows.
#include <cstdint>

#include "foundation/database.h"
#include "foundation/lstring.h"
#include "foundation/string_list.h"

// The live mailboxes' IMAP names (UTF-8), INBOX first.
bool LEmailMailboxListNames(LAppDatabaseAccount& db, const char16_t* account_id, LStringList& names);
// True when the mailbox list must be fetched from the server again.
bool LEmailAccountListRefreshDue(LAppDatabaseAccount& db, const char16_t* account_id);
// Stores the listed names (UTF-8, as the IMAP client gives them: modified
// UTF-7 decoded) in one
// transaction: listed rows live again or new, unlisted ones stamped DELETED
// (never the local Outbox and Drafts that the outgoing queue keeps), the
// refresh time set. All or nothing.
bool LEmailMailboxesReconcile(LAppDatabaseAccount& db, const char16_t* account_id, const LStringList& names);
bool LEmailMailboxesStoreListed(LAppDatabaseAccount& db, const char16_t* account_id, const LStringList& names);
bool LEmailMailboxesMarkUnlisted(LAppDatabaseAccount& db, const char16_t* account_id, const LStringList& names);

// A live mailbox by ID or by IMAP name, as a user types it: the ID, else the
// exact name, else the name without regard to case.
bool LEmailMailboxFindByName(LAppDatabaseAccount& db, const char16_t* account_id, const char16_t* id_or_name,
                             LString& mailbox_id, LString& imap_name);
// A live mailbox by the server's exact name ("Reports" is not "reports").
bool LEmailMailboxFindExact(LAppDatabaseAccount& db, const char16_t* account_id, const char16_t* imap_name,
                            LString& mailbox_id);
// The name of a mailbox, also of one marked deleted.
bool LEmailMailboxGetName(LAppDatabaseAccount& db, const char16_t* account_id, const char16_t* mailbox_id,
                          LString& imap_name);
uint32_t LEmailMailboxGetUidValidity(LAppDatabaseAccount& db, const char16_t* account_id,
                                     const char16_t* mailbox_id);
bool LEmailMailboxFindTrash(LAppDatabaseAccount& db, const char16_t* account_id, LString& mailbox_id);

// 0 done (or queued for the server), 2 failed. They open their own handle.
int LEmailMoveMessage(const char16_t* message_id, const char16_t* target, bool is_delete);
int LEmailMoveMessageToTrash(const char16_t* message_id);

// After the server moved the message: the row (in the target mailbox) takes
// the target's UIDVALIDITY and the new UID. When another row already holds
// that UID (the target's pass stored the copy first), that copy goes and the
// moved row takes its place.
bool LEmailMoveLink(LAppDatabaseAccount& db, const char16_t* message_id, const char16_t* target_mailbox_id,
                    uint32_t uidvalidity, uint32_t uid);
// After the server refused the move: the row goes back to its source mailbox
// with its source UID and UIDVALIDITY.
bool LEmailMoveRevert(LAppDatabaseAccount& db, const char16_t* message_id, const char16_t* source_mailbox_id,
                      uint32_t uidvalidity, uint32_t uid);
