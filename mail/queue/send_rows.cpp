#include "mail/queue/send_rows.h"

#include <string_view>
#include <vector>

#include "foundation/time_source.h"
#include "mail/store/store_transaction.h"
#include "net/mime/compose.h"
#include "web/http/activity_log.h"

bool LSendQueueNextRow(LAppDatabaseAccount& db, bool to_file, int64_t now, LQueuedRow& row) {
    row = LQueuedRow();
    LAppDatabaseCursor c;
    // Only lines we queued, on rows that exist only here: a server mailbox
    // that happens to be called Outbox is never sent from.
    c.QueryF(db,
             u"SELECT q.ROW_ID, q.ACCOUNT_ID, q.TRIES, q.AUTO_SUBMITTED, q.MIME, m.TO_TEXT, m.REPLY_TO_TEXT, "
             u"m.MESSAGE_ID, m.SUBJECT, m.BODY_TEXT, m.BODY_HTML, m.IN_REPLY_TO, m.REFERENCES_TEXT, q.STATE, "
             u"m.SENT_UTC FROM %s.EMAIL_SEND_QUEUE q INNER JOIN %s.EMAIL_MESSAGES m ON m.ID=q.ROW_ID WHERE %s AND "
             u"q.NEXT_TRY_UTC<=%lld AND m.IS_DELETED=0 AND m.UIDVALIDITY=0 ORDER BY q.NEXT_TRY_UTC, q.rowid LIMIT 1;",
             u"main", u"main",
             to_file ? u"q.STATE IN ('SENT', 'FILING')"
                     : u"q.STATE='QUEUED' AND q.ACCOUNT_ID NOT IN (SELECT ACCOUNT_ID FROM main.EMAIL_SEND_PAUSES)",
             static_cast<long long>(now));
    if (!c.HasRow()) return false;
    c.GetColumnText(0, u"", row.id);
    c.GetColumnText(1, u"", row.accountId);
    row.tries = c.GetColumnInt(2);
    c.GetColumnText(3, u"", row.autoSubmitted);
    c.GetColumnTextA(4, row.mime);
    c.GetColumnString(5, row.to);
    c.GetColumnString(6, row.replyTo);
    c.GetColumnString(7, row.messageId);
    c.GetColumnString(8, row.subject);
    c.GetColumnString(9, row.bodyText);
    c.GetColumnString(10, row.bodyHtml);
    c.GetColumnString(11, row.inReplyTo);
    c.GetColumnString(12, row.references);
    char16_t state[32];
    c.GetColumnText(13, u"", state);
    row.filing = std::u16string_view(state) == u"FILING";
    row.sentUtc = c.GetColumnInt64(14);
    return row.id[0] && row.accountId[0];
}

int64_t LSendQueueNextDue(LAppDatabaseAccount& db) {
    int64_t next = 0;
    db.QueryInt64(LString(u"SELECT COALESCE(MIN(NEXT_TRY_UTC), 0) FROM main.EMAIL_SEND_QUEUE WHERE STATE IN "
                          u"('QUEUED', 'SENT', 'FILING') AND NOT (STATE='QUEUED' AND ACCOUNT_ID IN (SELECT ACCOUNT_ID "
                          u"FROM main.EMAIL_SEND_PAUSES));")
                      .c_str(),
                  &next);
    // A paused account is looked at again now and then: its settings may
    // change by a way that does not wake the worker.
    if (LSendQueueHasPauses(db)) {
        int64_t look = LNow() + LSendQueuePauseLookSeconds;
        if (!next || next > look) next = look;
    }
    return next;
}

bool LSendQueueSetState(LAppDatabaseAccount& db, const char16_t* row_id, const char16_t* state,
                        const char16_t* error) {
    return db.ExecF(u"UPDATE %s.EMAIL_SEND_QUEUE SET STATE='%Q', TRIES=0, NEXT_TRY_UTC=0, LAST_ERROR='%Q' WHERE "
                    u"ROW_ID='%Q';",
                    u"main", state, error, row_id);
}

bool LSendQueueAccountIsLive(LAppDatabaseAccount& db, const char16_t* account_id) {
    char16_t found[260] = {0};
    LString q;
    q.Format(u"SELECT ID FROM %s.EMAILACCOUNTS WHERE ID='%Q' AND DELETED IS NULL LIMIT 1;", u"main", account_id);
    return db.QueryText(q.c_str(), found) && found[0];
}

bool LSendQueueComposeOnce(LAppDatabaseAccount& db, LQueuedRow& row, const LEmailSendAccount& account) {
    if (!row.mime.IsEmpty()) return true;
    LComposeInput in;
    in.from = account.email;
    in.to = row.to.c_str();
    in.replyTo = row.replyTo.c_str();
    in.subject = row.subject.c_str();
    in.messageId = row.messageId.c_str();
    in.inReplyTo = row.inReplyTo.c_str();
    in.references = row.references.c_str();
    in.autoSubmitted = row.autoSubmitted;
    in.textBody = row.bodyText.c_str();
    in.htmlBody = row.bodyHtml.c_str();
    // The Date is the row's time, so the row, the bytes sent and the Sent
    // copy downloaded again all carry one time.
    char date[260] = {0};
    if (row.sentUtc > 0) {
        LEmailFormatDateAt(date, static_cast<time_t>(row.sentUtc), 0);
        in.date = date;
    }
    LEmailComposeMime(in, row.mime);
    LString mime = LFromUtf8(row.mime.View());
    return db.ExecF(u"UPDATE %s.EMAIL_SEND_QUEUE SET MIME='%Q' WHERE ROW_ID='%Q';", u"main", mime, row.id);
}

bool LSendQueueMarkSent(LAppDatabaseAccount& db, const LQueuedRow& row) {
    char16_t box_id[260], box_name[260];
    bool have_sent = LEmailFindSentMailbox(db, row.accountId, box_id, box_name);
    LStoreTransaction tx(db);
    bool ok = tx.Began() && LSendQueueSetState(db, row.id, u"SENT", u"");
    if (ok && have_sent) {
        int64_t max_uid = 0;
        LString q;
        q.Format(u"SELECT COALESCE(MAX(UID), 0) FROM %s.EMAIL_MESSAGES WHERE ACCOUNT_ID='%Q' AND MAILBOX_ID='%Q' AND "
                 u"UIDVALIDITY=0;",
                 u"main", row.accountId, box_id);
        ok = db.QueryInt64(q.c_str(), &max_uid);
        uint32_t uid = max_uid < 0 ? 1 : static_cast<uint32_t>(max_uid + 1);
        ok = ok && db.ExecF(u"UPDATE %s.EMAIL_MESSAGES SET MAILBOX_ID='%Q', UID=%u, FLAGS='\\Seen' WHERE ID='%Q' AND "
                            u"ACCOUNT_ID='%Q';",
                            u"main", box_id, uid, row.id, row.accountId);
    }
    if (ok && tx.Commit()) {
        if (have_sent)
            LActivityLogEmail(u"Moved queued email %s into %s for account %s", row.id, box_name, row.accountId);
        return true;
    }
    // The state alone, so that the row never goes out again even when the
    // move could not be written.
    LActivityLogError(u"Queued email %s was sent but could not be moved to Sent for account %s", row.id,
                      row.accountId);
    return LSendQueueSetState(db, row.id, u"SENT", u"");
}

void LSendQueueRetryUncertain(LAppDatabaseAccount& db, const LQueuedRow& row, const LString& reason) {
    int tries = row.tries + 1;
    if (tries >= LSendQueueMaxTries) {
        LSendQueueSetState(db, row.id, u"FAILED", reason.c_str());
        LActivityLogError(u"Queued email %s for account %s got no answer after %d tries and will not be sent again: %s",
                          row.id, row.accountId, tries, reason);
        return;
    }
    int64_t wait = LSendQueueBackoffSeconds(tries);
    if (wait < LSendQueueUncertainWaitSeconds) wait = LSendQueueUncertainWaitSeconds;
    LString error;
    error.Format(u"%s; the server may have the message, so it is sent again later and may arrive twice", reason);
    db.ExecF(u"UPDATE %s.EMAIL_SEND_QUEUE SET STATE='QUEUED', TRIES=%d, NEXT_TRY_UTC=%lld, LAST_ERROR='%Q' WHERE "
             u"ROW_ID='%Q';",
             u"main", tries, static_cast<long long>(LNow() + wait), error, row.id);
    LActivityLogError(u"Queued email %s for account %s is sent again in %lld minutes and may arrive twice: %s",
                      row.id, row.accountId, static_cast<long long>(wait / 60), reason);
}

void LSendQueueRecoverInterrupted(LAppDatabaseAccount& db) {
    std::vector<LQueuedRow> rows;
    {
        LAppDatabaseCursor c;
        c.QueryF(db, u"SELECT ROW_ID, ACCOUNT_ID, TRIES FROM %s.EMAIL_SEND_QUEUE WHERE STATE='SENDING';", u"main");
        for (; c.HasRow(); c.Step()) {
            rows.emplace_back();
            c.GetColumnText(0, u"", rows.back().id);
            c.GetColumnText(1, u"", rows.back().accountId);
            rows.back().tries = c.GetColumnInt(2);
        }
    }
    // Only a 250 makes a message sent: one whose answer never came may be
    // on its way or not, and sending it again is the lesser harm.
    for (const LQueuedRow& row : rows)
        LSendQueueRetryUncertain(db, row, LString(u"the program ended after the end of the message was sent and "
                                                  u"before the server answered"));
}
