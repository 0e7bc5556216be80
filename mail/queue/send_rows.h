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
    int64_t sentUtc = 0;  // the row's SENT_UTC: the queuing time, the Date it carries
    LString to, replyTo, messageId, subject, bodyText, bodyHtml, inReplyTo, references;
    LStringA mime;  // empty until first composed
};

// The oldest due line in `state` ("QUEUED" or "SENT"); false when none.
bool LSendQueueNextRow(LAppDatabaseAccount& db, const char16_t* state, int64_t now, LQueuedRow& row);
// The earliest NEXT_TRY_UTC of the waiting lines, 0 when none waits.
int64_t LSendQueueNextDue(LAppDatabaseAccount& db);
bool LSendQueueSetState(LAppDatabaseAccount& db, const char16_t* row_id, const char16_t* state,
                        const char16_t* error);
bool LSendQueueAccountIsLive(LAppDatabaseAccount& db, const char16_t* account_id);
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

// 0 done with the row (whatever became of it), 1 stop requested.
int LSendQueueSendRow(LTaskProgress& worker, LAppDatabaseAccount& db, LQueuedRow& row);
int LSendQueueFileRow(LTaskProgress& worker, LAppDatabaseAccount& db, LQueuedRow& row,
                      LSendQueueImapSession& session);
