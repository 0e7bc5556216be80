#pragma once
// The calls that pass between the mail modules: the synchronisation worker
// runs the autoresponders and rules on each new row and wakes the backup;
// the autoresponders, rules and MCP tools queue mail and drafts through the
// outgoing queue. Each is defined by its own module; until that module is
// linked a weak stand-in in mail/workers.cpp does nothing and fails.
#include <cstdint>

#include "foundation/database.h"
#include "foundation/lstring.h"

// Synchronisation -> autoresponders, rules, backup.
bool LAutoresponderOnNewMessage(LAppDatabaseAccount& db, const char16_t* message_id);
bool LRulesApply(LAppDatabaseAccount& db, const char16_t* message_id);
void LEmailBackupWake();  // sets the backup worker's wake event when it runs

// Moves and deletes -> synchronisation: hands the server side of a local
// move to the account's worker (kept in EMAIL_SERVER_MOVES until done; UID
// and UIDVALIDITY are the source's). False when the engine is not started
// or the account has no worker: the caller moves the row back.
bool LMailSyncQueueServerMove(const char16_t* account_id, const char16_t* message_id,
                              const char16_t* source_mailbox_id, const char16_t* target_mailbox_id, uint32_t uid,
                              uint32_t uidvalidity, bool is_delete);

// Outgoing queue: 0 queued, 2 failed.
int LEmailQueueOutgoing(LAppDatabaseAccount& db, const char16_t* account_id, const char16_t* to,
                        const char16_t* reply_to, const char16_t* subject, const char16_t* html_body);
int LEmailQueueOutgoingOpen(const char16_t* account_id, const char16_t* to, const char16_t* reply_to,
                            const char16_t* subject, const char16_t* html_body);
bool LEmailStoreDraft(LAppDatabaseAccount& db, const char16_t* account_id, const char16_t* to, const char16_t* cc,
                      const char16_t* bcc, const char16_t* reply_to, const char16_t* subject,
                      const char16_t* text_body, const char16_t* html_body, char16_t new_id[260]);

// Rule actions on their own (label: the rule ID, or "MCP").
bool LRulesRunAction(const char16_t* message_id, const char16_t* label, const char16_t* function,
                     const char16_t* function_detail);

// Runs in the desktop process (desktop request 5): the "Email Backup" folder
// inside the first cloud-synchronised folder found.
bool LEmailBackupFindCloudFolder(LString& path);
