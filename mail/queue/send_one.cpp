// Sending one queued row over SMTP. "SENDING" is written once the end of
// DATA went out, "SENT" (with the row moved into the local Sent) right after
// the 250, each before anything else happens. No 250, no SENT.
#include <atomic>
#include <string_view>

#include "foundation/time_source.h"
#include "mail/queue/queue_progress.h"
#include "mail/queue/send_queue.h"
#include "mail/queue/send_rows.h"
#include "net/mime/address.h"
#include "net/smtp/smtp_sender.h"
#include "web/http/activity_log.h"

int64_t LSendQueueBackoffSeconds(int tries) {
    int64_t wait = 60;
    for (int i = 1; i < tries && wait < 3600; ++i) wait *= 2;
    return wait < 3600 ? wait : 3600;
}

namespace {

void Retire(LAppDatabaseAccount& db, const LQueuedRow& row, const char16_t* reason) {
    if (db.ExecF(u"UPDATE %s.EMAIL_MESSAGES SET IS_DELETED=1, LAST_SEEN_UTC=%lld WHERE ID='%Q' AND ACCOUNT_ID='%Q';",
                 u"main", static_cast<long long>(LNow()), row.id, row.accountId) &&
        LSendQueueSetState(db, row.id, u"FAILED", reason))
        LActivityLogError(u"Retired queued email %s for account %s because %s", row.id, row.accountId, reason);
}

// A temporary failure waits its back-off; after the last try, or for a
// final refusal, the row is failed for good and stays in the Outbox.
void Failed(LAppDatabaseAccount& db, const LQueuedRow& row, bool permanent, const LString& error) {
    int tries = row.tries + 1;
    if (permanent || tries >= LSendQueueMaxTries) {
        LSendQueueSetState(db, row.id, u"FAILED", error.c_str());
        LActivityLogError(u"Queued email %s for account %s was refused and will not be sent again: %s", row.id,
                          row.accountId, error);
        return;
    }
    int64_t next = LNow() + LSendQueueBackoffSeconds(tries);
    db.ExecF(u"UPDATE %s.EMAIL_SEND_QUEUE SET STATE='QUEUED', TRIES=%d, NEXT_TRY_UTC=%lld, LAST_ERROR='%Q' WHERE "
             u"ROW_ID='%Q';",
             u"main", tries, static_cast<long long>(next), error, row.id);
}

struct DataEnding {
    LAppDatabaseAccount* db;
    const char16_t* rowId;
    bool reached = false;
};

// The end of DATA is the server's now: until its answer is read the row
// is neither queued nor sent.
void MarkSending(void* context) {
    auto* d = static_cast<DataEnding*>(context);
    d->reached = true;
    d->db->ExecF(u"UPDATE %s.EMAIL_SEND_QUEUE SET STATE='SENDING' WHERE ROW_ID='%Q';", u"main", d->rowId);
}

// The reason of a failed send as the user reads it: the server
// (host:port), its own words and where the dialogue was, first (a log line
// is cut at its end), then what we made of it.
LString Reason(const LQueueProgress& progress, const LSmtpMessage& m, bool timed_out) {
    const LSmtpOutcome& o = m.outcome;
    std::string_view step(o.step);
    LString text;
    if (o.serverReply[0])
        text.Format(u"%s answered \"%s\" to %s", o.endpoint, o.serverReply, o.step);
    else if (step == "connecting")
        text.Format(u"%s could not be reached", o.endpoint);
    else if (timed_out)
        text.Format(u"%s gave no answer to %s within %u seconds", o.endpoint, o.step,
                    unsigned(progress.LimitMs() / 1000));
    else
        text.Format(u"%s closed the connection at %s without an answer", o.endpoint, o.step);
    if (!progress.error.IsEmpty()) text.AppendFormat(u": %s", progress.error);
    return text;
}

// The account's other rows that are due now wait with this one: the
// trouble is the server's, and each would hold the worker in turn.
void DeferAccount(LAppDatabaseAccount& db, const LQueuedRow& row) {
    db.ExecF(u"UPDATE %s.EMAIL_SEND_QUEUE SET NEXT_TRY_UTC=(SELECT NEXT_TRY_UTC FROM %s.EMAIL_SEND_QUEUE WHERE "
             u"ROW_ID='%Q') WHERE ACCOUNT_ID='%Q' AND STATE='QUEUED' AND NEXT_TRY_UTC<=%lld AND ROW_ID<>'%Q';",
             u"main", u"main", row.id, row.accountId, static_cast<long long>(LNow()), row.id);
}

std::atomic<uint32_t> g_limitForTests{0};

}  // namespace

void LSendQueueSetExchangeLimitForTests(uint32_t ms) { g_limitForTests = ms; }

uint32_t LSendQueueExchangeLimit(uint64_t bytes) {
    uint32_t limit = g_limitForTests.load();
    return limit ? limit : LSendQueueExchangeLimitMs + static_cast<uint32_t>(bytes / 50);
}

int LSendQueueSendRow(LTaskProgress& worker, LAppDatabaseAccount& db, LQueuedRow& row) {
    if (!LSendQueueAccountIsLive(db, row.accountId)) {
        Retire(db, row, u"the account was not found or was deleted");
        return 0;
    }
    LEmailSendAccount account;
    if (!LEmailSendGetAccount(db, row.accountId, account)) {
        Failed(db, row, false, LString(u"the account could not be read"));
        return 0;
    }
    if (!account.outgoing[0]) {
        LActivityLogError(u"Unable to send email because account %s is missing an SMTP server", row.accountId);
        Failed(db, row, false, LString(u"no SMTP server"));
        return 0;
    }
    if (!LEmailAddressIsValid(account.email)) {
        LString error;
        error.Format(u"invalid sender address %s of the account", account.email);
        Failed(db, row, true, error);
        return 0;
    }
    if (!LEmailAddressListIsValid(row.to.c_str()) ||
        (!row.replyTo.IsEmpty() && !LEmailAddressListIsValid(row.replyTo.c_str()))) {
        Failed(db, row, true, LString(u"invalid recipient or Reply-To address"));
        return 0;
    }
    if (!LSendQueueComposeOnce(db, row, account)) {
        Failed(db, row, false, LString(u"the message could not be prepared"));
        return 0;
    }
    LActivityLogEmail(u"Sending queued email from account %s <%s> to %s using SMTP server %s", row.accountId,
                      account.email, row.to, account.outgoing);
    LSmtpMessage m;
    m.to = row.to.c_str();
    m.sender = account.email;
    m.replyTo = row.replyTo.c_str();
    m.subject = row.subject.c_str();
    m.smtpHost = account.outgoing;
    m.userName = account.email;
    m.password = account.password;
    m.useSsl = 1;
    m.verifyServerName = account.requireHostMatch ? 1 : 0;
    m.mime = row.mime.c_str();
    m.mimeLength = row.mime.length;
    DataEnding ending{&db, row.id};
    m.dataEnding = MarkSending;
    m.dataEndingContext = &ending;
    LQueueProgress progress(worker, LSendQueueExchangeLimit(row.mime.length));
    LNetOpResult result = 2;
    LSmtpSendEmail(result, progress, m);
    if (result == 0) {
        // Sent: recorded before any IMAP work, so no later failure or crash
        // can send it again.
        LSendQueueMarkSent(db, row);
        LActivityLogEmail(u"SMTP send completed for account %s from %s to %s", row.accountId, account.email, row.to);
        if (m.refusedRecipients)
            LActivityLogError(u"Queued email %s for account %s: %u recipients were refused by the server", row.id,
                              row.accountId, m.refusedRecipients);
        return 0;
    }
    bool stopping = progress.WorkerStopping();
    bool timed_out = result == 1 && !stopping;
    if (result == 1 && stopping) {
        // Stopped with the end of DATA out and no answer: as after a crash.
        if (ending.reached)
            LSendQueueRetryUncertain(db, row, LString(u"the program stopped before the server answered the end of "
                                                      u"the message"));
        return 1;
    }
    LString reason = Reason(progress, m, timed_out);
    if (m.nameMismatch)
        LActivityLogError(u"SMTP send of queued email %s for account %s failed because the certificate domain does "
                          u"not match SMTP server %s: %s",
                          row.id, row.accountId, account.outgoing, reason);
    else
        LActivityLogError(u"SMTP send of queued email %s for account %s failed: %s", row.id, row.accountId, reason);
    if (ending.reached && !m.outcome.serverReply[0]) {
        LSendQueueRetryUncertain(db, row, reason);
    } else if (m.outcome.authFailed) {
        // Not a try of this row: the row waits with the account.
        db.ExecF(u"UPDATE %s.EMAIL_SEND_QUEUE SET LAST_ERROR='%Q' WHERE ROW_ID='%Q';", u"main", reason, row.id);
        LSendQueuePauseAccount(db, account, reason);
        return 0;
    } else {
        Failed(db, row, m.permanentFailure != 0, reason);
    }
    if (m.outcome.serverTrouble || timed_out) DeferAccount(db, row);
    return 0;
}
