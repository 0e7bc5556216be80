#include "foundation/date_time.h"
#include "foundation/utf8.h"
#include "mail/queue/send_queue.h"
#include "mail/store/accounts.h"
#include "mail/store/mail_ids.h"
#include "mail/store/store_transaction.h"
#include "web/http/activity_log.h"

const char16_t* const LEmailOutboxNames[] = {u"Outbox", u"OutBox", u"INBOX.Outbox", u"INBOX/Outbox", nullptr};
const char16_t* const LEmailDraftsNames[] = {u"Drafts", u"Draft", u"INBOX.Drafts", u"INBOX/Drafts", nullptr};

namespace {

const char16_t* const kSentNames[] = {u"Sent", u"Sent Mail", u"Sent Items", u"INBOX.Sent", u"INBOX/Sent", nullptr};

bool TakeRow(LAppDatabaseCursor& c, char16_t id[260], char16_t name[260]) {
    if (!c.HasRow()) return false;
    c.GetColumnText(0, u"", id);
    c.GetColumnText(1, u"", name);
    return id[0] && name[0];
}

bool FindByName(LAppDatabaseAccount& db, const char16_t* account_id, const char16_t* name, char16_t id[260],
                char16_t out_name[260]) {
    LAppDatabaseCursor c;
    c.QueryF(db,
             u"SELECT ID, IMAP_NAME FROM %s.EMAILMAILBOXES WHERE EMAILACCOUNTS_ID='%Q' AND DELETED IS NULL AND "
             u"UPPER(IMAP_NAME)=UPPER('%Q') LIMIT 1;",
             u"main", account_id, name);
    return TakeRow(c, id, out_name);
}

bool FindOrCreate(LAppDatabaseAccount& db, const char16_t* account_id, const char16_t* flag,
                  const char16_t* const* names, const char16_t* create_name, char16_t mailbox_id[260],
                  char16_t mailbox_name[260]) {
    {
        LAppDatabaseCursor c;
        c.QueryF(db,
                 u"SELECT ID, IMAP_NAME FROM %s.EMAILMAILBOXES WHERE EMAILACCOUNTS_ID='%Q' AND DELETED IS NULL AND "
                 u"UPPER(COALESCE(IMAP_FLAGS, '')) LIKE '%%%Q%%' ORDER BY IMAP_NAME LIMIT 1;",
                 u"main", account_id, flag);
        if (TakeRow(c, mailbox_id, mailbox_name)) return true;
    }
    for (const char16_t* const* n = names; *n; ++n)
        if (FindByName(db, account_id, *n, mailbox_id, mailbox_name)) return true;
    // Our own mailbox, stamped DELETED by a list reconciliation that did not
    // find it on the server: the unique name would refuse a second one, so
    // the first one comes back with the rows it still holds.
    char16_t now[260];
    LNowDateTimeUTC(now);
    bool deleted = false;
    {
        LAppDatabaseCursor c;
        c.QueryF(db,
                 u"SELECT ID, IMAP_NAME FROM %s.EMAILMAILBOXES WHERE EMAILACCOUNTS_ID='%Q' AND DELETED IS NOT NULL AND "
                 u"UPPER(IMAP_NAME)=UPPER('%Q') LIMIT 1;",
                 u"main", account_id, create_name);
        deleted = TakeRow(c, mailbox_id, mailbox_name);
    }
    if (deleted) {
        if (db.ExecF(u"UPDATE %s.EMAILMAILBOXES SET DELETED=NULL, IMAP_FLAGS='%Q', LAST_SYNC_UTC='%s' WHERE ID='%Q';",
                     u"main", flag, now, mailbox_id))
            return true;
        LActivityLogError(u"Unable to create local mailbox %s for account %s", create_name, account_id);
        mailbox_id[0] = mailbox_name[0] = 0;
        return false;
    }
    char16_t id[LEmailIdLength + 1];
    if (LEmailNewRowId(db, u"EMAILMAILBOXES", id) &&
        db.ExecF(u"INSERT INTO %s.EMAILMAILBOXES (ID, EMAILACCOUNTS_ID, IMAP_NAME, IMAP_FLAGS, LAST_SYNC_UTC) VALUES "
                 u"('%Q', '%Q', '%Q', '%Q', '%s');",
                 u"main", id, account_id, create_name, flag, now)) {
        LCopyField(mailbox_id, id);
        LCopyField(mailbox_name, create_name);
        LActivityLogEmail(u"Created local mailbox %s for account %s", create_name, account_id);
        return true;
    }
    LActivityLogError(u"Unable to create local mailbox %s for account %s", create_name, account_id);
    mailbox_id[0] = mailbox_name[0] = 0;
    return false;
}

}  // namespace

bool LEmailFindOrCreateSpecialMailbox(LAppDatabaseAccount& db, const char16_t* account_id, const char16_t* flag,
                                      const char16_t* const* names, const char16_t* create_name,
                                      char16_t mailbox_id[260], char16_t mailbox_name[260]) {
    mailbox_id[0] = mailbox_name[0] = 0;
    // Look and create under the write lock: two first sends at once would
    // both find nothing, and the unique name would refuse the second insert.
    LStoreTransaction tx(db);
    if (tx.Began() && FindOrCreate(db, account_id, flag, names, create_name, mailbox_id, mailbox_name) && tx.Commit())
        return true;
    mailbox_id[0] = mailbox_name[0] = 0;
    return false;
}

bool LEmailFindSentMailbox(LAppDatabaseAccount& db, const char16_t* account_id, char16_t mailbox_id[260],
                           char16_t mailbox_name[260]) {
    if (*account_id) {
        char16_t name[260] = {0};
        {
            LAppDatabaseCursor c;
            c.QueryF(db,
                     u"SELECT b.ID, b.IMAP_NAME FROM %s.EMAILACCOUNTS a INNER JOIN %s.EMAILMAILBOXES b ON "
                     u"b.EMAILACCOUNTS_ID=a.ID AND b.IMAP_NAME=a.DEFAULT_SENT_MAILBOX AND b.DELETED IS NULL WHERE "
                     u"a.ID='%Q' AND a.DELETED IS NULL AND COALESCE(a.DEFAULT_SENT_MAILBOX, '')<>'' LIMIT 1;",
                     u"main", u"main", account_id);
            if (TakeRow(c, mailbox_id, mailbox_name)) return true;
        }
        {
            LAppDatabaseCursor c;
            c.QueryF(db,
                     u"SELECT IMAP_NAME FROM %s.EMAILMAILBOXES WHERE EMAILACCOUNTS_ID='%Q' AND DELETED IS NULL AND "
                     u"(UPPER(COALESCE(IMAP_FLAGS, '')) LIKE '%%\\SENT%%' OR UPPER(IMAP_NAME) IN ('SENT', 'SENT MAIL', "
                     u"'SENT ITEMS', 'INBOX.SENT', 'INBOX/SENT') OR INSTR(UPPER(IMAP_NAME), 'SENT')>0) ORDER BY CASE "
                     u"WHEN UPPER(COALESCE(IMAP_FLAGS, '')) LIKE '%%\\SENT%%' THEN 0 WHEN UPPER(IMAP_NAME)='SENT' THEN 1 "
                     u"WHEN UPPER(IMAP_NAME)='SENT MAIL' THEN 2 WHEN UPPER(IMAP_NAME)='SENT ITEMS' THEN 3 ELSE 4 END, "
                     u"IMAP_NAME LIMIT 1;",
                     u"main", account_id);
            if (c.HasRow()) c.GetColumnText(0, u"", name);
        }
        if (name[0] && LEmailAccountSetDefaultSentMailbox(db, account_id, name) &&
            FindByName(db, account_id, name, mailbox_id, mailbox_name))
            return true;
    }
    return LEmailFindOrCreateSpecialMailbox(db, account_id, u"\\Sent", kSentNames, u"Sent", mailbox_id, mailbox_name);
}
