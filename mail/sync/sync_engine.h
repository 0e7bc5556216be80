#pragma once
// The synchronisation engine: one worker thread per configured account keeps
// the local mirror current over one IMAP connection, plus short-lived workers
// that sync one mailbox or refresh one account's mailbox list for a caller
// that waits. LMailSyncStart, LMailSyncSignalStop and LMailSyncShutdown are
// declared in mail/workers.h, where the service engine calls them.
#include <cstdint>

#include "foundation/json_writer.h"
#include "foundation/task_progress.h"
#include "mail/mail_services.h"  // LMailSyncQueueServerMove
#include "mail/workers.h"

bool LMailSyncIsStarted();

// Reconciles the account workers with the live rows of EMAILACCOUNTS: a
// changed or deleted account's worker is stopped, a new one started, an
// unchanged one woken.
void LMailSyncResyncAll();
// Sets the account worker's wake event; false when the account has none.
bool LMailSyncWakeAccount(const char16_t* accountId);
// Asks for a mailbox-list refresh without waiting.
bool LMailSyncRequestListRefresh(const char16_t* accountId);
bool LMailSyncRefreshMailboxList(const char16_t* accountId);
// Refreshes one account's mailbox list and waits (timeout clamped to
// 1000..120000 ms); ok when the refresh left no error.
bool LMailSyncRefreshListAndWait(LTaskProgress& progress, const char16_t* accountId, uint32_t timeoutMs,
                                 int32_t& woken, bool& accountFound, bool& ok);
// Syncs one mailbox and waits.
bool LMailSyncMailboxAndWait(LTaskProgress& progress, const char16_t* accountId, const char16_t* mailboxId,
                             uint32_t timeoutMs, bool& engaged, int32_t& woken, bool& accountFound,
                             bool& mailboxFound);
// With a mailbox ID: LMailSyncMailboxAndWait. Else asks the workers of one
// account (or of all, at most 64) for a pass over every mailbox and waits
// until each has completed it.
bool LMailSyncWakeAndWait(LTaskProgress& progress, const char16_t* accountId, const char16_t* mailboxId,
                          uint32_t timeoutMs, int32_t& workerCount, int32_t& woken, bool& accountFound,
                          bool& targetFound);
// The member "accounts" of the sync status.
bool LMailSyncWriteStatusJson(LJsonWriter& writer);
// Stops and frees every worker of the account (its settings changed).
void LMailSyncStopAccount(const char16_t* accountId);

// Test trigger: when set, called with each fetched message's header section
// before it is stored; true makes that message's store fail as if the
// database had refused it.
void LMailSyncSetStoreFaultForTests(bool (*fault)(const char* bytes, uint64_t size));
// Test seam: when set, called with each arrival's row ID before its hooks.
void LMailSyncSetArrivalObserverForTests(void (*observer)(const char16_t* rowId));
