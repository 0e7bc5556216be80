#pragma once
// The queue lines as the worker reads and changes them.
#include <cstdint>
#include <memory>
#include <string>

#include "foundation/database.h"
#include "foundation/lstring.h"
#include "foundation/task_progress.h"
#include "mail/queue/send_queue.h"

struct LQueuedRow {
    char16_t id[260] = {0};
    char16_t accountId[260] = {0};
    char16_t autoSubmitted[260] = {0};
    int tries = 0;
    bool filing = false;  // FILING: an APPEND to Sent may already have been made
    int64_t sentUtc = 0;  // the row's SENT_UTC: the queuing time, the Date it carries
    LString to, replyTo, messageId, subject, bodyText, bodyHtml, inReplyTo, references;
    LStringA mime;  // empty until first composed
};

// The oldest due line to send (QUEUED, of an account not paused) or to
// file (SENT or FILING); false when none.
bool LSendQueueNextRow(LAppDatabaseAccount& db, bool to_file, int64_t now, LQueuedRow& row);
// The earliest NEXT_TRY_UTC of the waiting lines, 0 when none waits.
int64_t LSendQueueNextDue(LAppDatabaseAccount& db);
bool LSendQueueSetState(LAppDatabaseAccount& db, const char16_t* row_id, const char16_t* state,
                        const char16_t* error);
bool LSendQueueAccountIsLive(LAppDatabaseAccount& db, const char16_t* account_id);
// A row that may have reached the server without our knowing (no reply
// after the end of data, or the process ended there): QUEUED again after a
// longer wait, logged as a message that may arrive twice.
void LSendQueueRetryUncertain(LAppDatabaseAccount& db, const LQueuedRow& row, const LString& reason);

// An account refused at sign-in: its rows wait until its settings change.
bool LSendQueuePauseAccount(LAppDatabaseAccount& db, const LEmailSendAccount& account, const LString& reason);
// Lifts the pauses of accounts whose address, server or password changed
// (or that are gone).
void LSendQueueResumeChanged(LAppDatabaseAccount& db);
bool LSendQueueHasPauses(LAppDatabaseAccount& db);

// Composes the bytes once and keeps them with the line; retries and the
// Sent copy reuse them.
bool LSendQueueComposeOnce(LAppDatabaseAccount& db, LQueuedRow& row, const LEmailSendAccount& account);
// SENT, and the row into the local Sent (UIDVALIDITY 0), in one transaction.
bool LSendQueueMarkSent(LAppDatabaseAccount& db, const LQueuedRow& row);

// One signed-in IMAP connection with the account's Sent found, kept while
// the rows filed one after another are of the same account.
class LImapConnection;
class LSendQueueImapSession {
public:
    LSendQueueImapSession();
    ~LSendQueueImapSession();
    LSendQueueImapSession(const LSendQueueImapSession&) = delete;
    LSendQueueImapSession& operator=(const LSendQueueImapSession&) = delete;
    void Close(LTaskProgress& progress);

    std::u16string accountId;
    std::unique_ptr<LImapConnection> imap;
    char16_t boxId[260] = {0};
    char16_t boxName[260] = {0};
    bool uidplus = false;
};

// The time limit of one exchange for a message of that many bytes (ms).
uint32_t LSendQueueExchangeLimit(uint64_t bytes);

// 0 done with the row (whatever became of it), 1 stop requested.
int LSendQueueSendRow(LTaskProgress& worker, LAppDatabaseAccount& db, LQueuedRow& row);
int LSendQueueFileRow(LTaskProgress& worker, LAppDatabaseAccount& db, LQueuedRow& row,
                      LSendQueueImapSession& session);
