// Queued mail and drafts: local rows written whole or not at all.
#include "foundation/database.h"
#include "foundation/time_source.h"
#include "foundation/utf8.h"
#include "mail/mail_services.h"
#include "mail/queue/send_queue.h"
#include "mail/store/accounts.h"
#include "mail/store/mail_ids.h"
#include "mail/store/message_store.h"
#include "mail/store/store_transaction.h"
#include "net/mime/compose.h"
#include "web/http/activity_log.h"

bool LEmailSendGetAccount(LAppDatabaseAccount& db, const char16_t* account_id, LEmailSendAccount& out) {
    out = LEmailSendAccount();
    {
        LAppDatabaseCursor c;
        c.QueryF(db,
                 u"SELECT ID, EMAIL, INCOMINGSERVER, OUTGOINGSERVER, REQUIRE_SMTP_HOST_MATCH FROM %s.EMAILACCOUNTS "
                 u"WHERE ID='%Q' AND DELETED IS NULL LIMIT 1;",
                 u"main", account_id);
        if (!c.HasRow()) {
            LActivityLogError(u"Unable to use email account %s because it was not found", account_id);
            return false;
        }
        c.GetColumnText(0, u"", out.id);
        c.GetColumnText(1, u"", out.email);
        c.GetColumnText(2, u"", out.incoming);
        c.GetColumnText(3, u"", out.outgoing);
        out.requireHostMatch = c.GetColumnInt(4) != 0;
    }
    if (!LEmailAccountPasswordGet(db, out.id, out.password)) return false;
    if (!out.email[0]) {
        LActivityLogError(u"Unable to use email account %s because it is missing the account email address",
                          account_id);
        return false;
    }
    return true;
}

namespace {

bool InsertRow(LAppDatabaseAccount& db, const LEmailSendAccount& account, const LLocalMessage& m,
               const char16_t* id) {
    int64_t max_uid = 0;
    LString q;
    q.Format(u"SELECT COALESCE(MAX(UID), 0) FROM %s.EMAIL_MESSAGES WHERE ACCOUNT_ID='%Q' AND MAILBOX_ID='%Q' AND "
             u"UIDVALIDITY=0;",
             u"main", account.id, m.mailboxId);
    if (!db.QueryInt64(q.c_str(), &max_uid)) return false;
    uint32_t uid = max_uid < 0 ? 1 : static_cast<uint32_t>(max_uid + 1);
    int64_t now = LNow();
    uint64_t size = LTextLength(m.subject) + LTextLength(m.textBody) + LTextLength(m.htmlBody);
    const LQueueExtras none;
    const LQueueExtras& x = m.queued ? *m.queued : none;
    if (!db.ExecF(u"INSERT INTO %s.EMAIL_MESSAGES (ID, ACCOUNT_ID, MAILBOX_ID, UID, UIDVALIDITY, MESSAGE_ID, "
                  u"IN_REPLY_TO, REFERENCES_TEXT, SUBJECT, FROM_TEXT, TO_TEXT, CC_TEXT, BCC_TEXT, REPLY_TO_TEXT, "
                  u"SENT_UTC, RECEIVED_UTC, SIZE_BYTES, FLAGS, BODY_TEXT, BODY_HTML, BODY_PREVIEW, LAST_SEEN_UTC) VALUES "
                  u"('%Q', '%Q', '%Q', %u, 0, '%Q', '%Q', '%Q', '%Q', '%Q', '%Q', '%Q', '%Q', '%Q', %lld, %lld, %llu, "
                  u"'%Q', '%Q', '%Q', '%Q', %lld);",
                  u"main", id, account.id, m.mailboxId, uid, m.messageId, x.inReplyTo, x.references, m.subject,
                  account.email, m.to, m.cc, m.bcc, m.replyTo, now, now, size, m.flags, m.textBody, m.htmlBody,
                  m.textBody, now))
        return false;
    if (!LEmailStoreAddresses(db, id, account.email, m.to, m.cc, m.bcc, m.replyTo)) return false;
    if (!m.queued) return true;
    return db.ExecF(u"INSERT INTO %s.EMAIL_SEND_QUEUE (ROW_ID, ACCOUNT_ID, MESSAGE_ID, STATE, AUTO_SUBMITTED) VALUES "
                    u"('%Q', '%Q', '%Q', 'QUEUED', '%Q');",
                    u"main", id, account.id, m.messageId, x.autoSubmitted);
}

}  // namespace

bool LEmailStoreLocalMessage(LAppDatabaseAccount& db, const LEmailSendAccount& account, const LLocalMessage& m,
                             char16_t new_id[260]) {
    new_id[0] = 0;
    if (!*m.mailboxName) return false;
    char16_t id[LEmailIdLength + 1];
    // The UID is drawn and used inside one write transaction, so two
    // threads queuing at once never draw the same one.
    LStoreTransaction tx(db);
    if (tx.Began() && LEmailNewRowId(db, u"EMAIL_MESSAGES", id) && InsertRow(db, account, m, id) && tx.Commit()) {
        LCopyField(new_id, id);
        return true;
    }
    LActivityLogError(u"Unable to insert local email copy for account %s in mailbox %s", account.id, m.mailboxName);
    return false;
}

int LEmailQueueOutgoingEx(LAppDatabaseAccount& db, const char16_t* account_id, const char16_t* to,
                          const char16_t* reply_to, const char16_t* subject, const char16_t* html_body,
                          const LQueueExtras& extras, char16_t* out_id) {
    if (out_id) out_id[0] = 0;
    if (!account_id || !*account_id || !to || !*to) {
        LActivityLogError(u"Unable to queue email because account or destination was blank");
        return 2;
    }
    LEmailSendAccount account;
    if (!LEmailSendGetAccount(db, account_id, account)) return 2;
    if (!account.outgoing[0]) {
        LActivityLogError(u"Unable to send email because account %s is missing an SMTP server", account_id);
        return 2;
    }
    LString text;
    if (html_body && *html_body) LEmailHtmlToSendText(text, html_body);
    char message_id[260];
    LEmailMakeMessageId(message_id, account.email);
    LString message_id_w = LFromUtf8(message_id);
    char16_t box_id[260], box_name[260];
    if (!LEmailFindOrCreateSpecialMailbox(db, account_id, u"\\Outbox", LEmailOutboxNames, u"Outbox", box_id,
                                          box_name)) {
        LActivityLogError(u"Unable to queue email because no Outbox mailbox was available for account %s",
                          account_id);
        return 2;
    }
    LLocalMessage m;
    m.mailboxId = box_id;
    m.mailboxName = box_name;
    m.flags = u"\\Seen";
    m.to = to;
    m.replyTo = reply_to ? reply_to : u"";
    m.messageId = message_id_w.c_str();
    m.subject = subject ? subject : u"";
    m.textBody = text.c_str();
    m.htmlBody = html_body ? html_body : u"";
    m.queued = &extras;
    char16_t new_id[260];
    if (!LEmailStoreLocalMessage(db, account, m, new_id)) return 2;
    if (out_id) LCopyField(out_id, new_id);
    LActivityLogEmail(u"Queued outbound email %s in %s for account %s to %s", new_id, box_name, account_id, to);
    // Inside a caller's transaction the row is not visible yet: a wake now
    // would find nothing and be spent, so that caller wakes after its commit.
    if (sqlite3_get_autocommit(db.handle)) LSendQueueWake();
    return 0;
}

int LEmailQueueOutgoingOpenEx(const char16_t* account_id, const char16_t* to, const char16_t* reply_to,
                              const char16_t* subject, const char16_t* html_body, const LQueueExtras& extras) {
    LAppDatabaseAccount db(false);
    if (!db.handle) {
        LActivityLogError(u"Unable to queue email to %s because the database could not be opened", to ? to : u"");
        return 2;
    }
    return LEmailQueueOutgoingEx(db, account_id, to, reply_to, subject, html_body, extras);
}

int LEmailQueueOutgoing(LAppDatabaseAccount& db, const char16_t* account_id, const char16_t* to,
                        const char16_t* reply_to, const char16_t* subject, const char16_t* html_body) {
    return LEmailQueueOutgoingEx(db, account_id, to, reply_to, subject, html_body, LQueueExtras());
}

int LEmailQueueOutgoingOpen(const char16_t* account_id, const char16_t* to, const char16_t* reply_to,
                            const char16_t* subject, const char16_t* html_body) {
    return LEmailQueueOutgoingOpenEx(account_id, to, reply_to, subject, html_body, LQueueExtras());
}

bool LEmailStoreDraft(LAppDatabaseAccount& db, const char16_t* account_id, const char16_t* to, const char16_t* cc,
                      const char16_t* bcc, const char16_t* reply_to, const char16_t* subject,
                      const char16_t* text_body, const char16_t* html_body, char16_t new_id[260]) {
    new_id[0] = 0;
    LEmailSendAccount account;
    if (!LEmailSendGetAccount(db, account_id ? account_id : u"", account)) return false;
    LString text;
    if (text_body && *text_body)
        text.Assign(text_body);
    else if (html_body && *html_body)
        LEmailHtmlToSendText(text, html_body);
    char16_t box_id[260], box_name[260];
    if (!LEmailFindOrCreateSpecialMailbox(db, account_id, u"\\Drafts", LEmailDraftsNames, u"Drafts", box_id,
                                          box_name)) {
        LActivityLogError(u"Unable to store draft email because no Drafts mailbox was available for account %s",
                          account_id);
        return false;
    }
    LLocalMessage m;
    m.mailboxId = box_id;
    m.mailboxName = box_name;
    m.flags = u"\\Draft";
    m.to = to ? to : u"";
    m.cc = cc ? cc : u"";
    m.bcc = bcc ? bcc : u"";
    m.replyTo = reply_to ? reply_to : u"";
    m.subject = subject ? subject : u"";
    m.textBody = text.c_str();
    m.htmlBody = html_body ? html_body : u"";
    if (!LEmailStoreLocalMessage(db, account, m, new_id)) return false;
    LActivityLogEmail(u"Stored draft email %s in %s for account %s", new_id, box_name, account_id);
    return true;
}
