// Sending one queued row over SMTP. The row leaves QUEUED once: "SENDING"
// is written before the end of DATA, "SENT" (with the row moved into the
// local Sent) right after the 250, each before anything else happens.
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
        LActivityLogError(u"Queued email %s for account %s to %s was refused and will not be sent again: %s", row.id,
                          row.accountId, row.to, error);
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

void MarkSending(void* context) {
    auto* d = static_cast<DataEnding*>(context);
    d->reached = true;
    LSendQueueSetState(*d->db, d->rowId, u"SENDING", u"");
}

}  // namespace

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
    LQueueProgress progress(worker);
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
    if (result == 1) {
        // Stopped with the end of DATA sent: the server may have it; the
        // next start files it and never sends it again.
        return 1;
    }
    if (m.nameMismatch)
        LActivityLogError(u"SMTP send failed because the certificate domain does not match SMTP server %s for account "
                          u"%s from %s to %s",
                          account.outgoing, row.accountId, account.email, row.to);
    else
        LActivityLogError(u"SMTP send failed for account %s from %s to %s using server %s", row.accountId,
                          account.email, row.to, account.outgoing);
    Failed(db, row, m.permanentFailure != 0, progress.error);
    return 0;
}
