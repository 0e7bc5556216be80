#include "mail/store/mailboxes.h"

#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "foundation/date_time.h"
#include "foundation/log.h"
#include "foundation/time_source.h"
#include "mail/store/mail_ids.h"
#include "mail/store/store_transaction.h"
#include "net/imap/imap_response.h"

namespace {

constexpr time_t kListRefreshSeconds = 604799;

bool FirstText(LAppDatabaseAccount& db, const LString& statement, LString& out) {
    out.Clear();
    LAppDatabaseCursor c;
    c.Query(db, statement.c_str());
    if (c.HasRow()) c.GetColumnString(0, out);
    return !out.IsEmpty();
}


}  // namespace

bool LEmailMailboxListNames(LAppDatabaseAccount& db, const char16_t* account_id, LStringList& names) {
    names.Clear();
    LAppDatabaseCursor c;
    c.QueryF(db,
             u"SELECT IMAP_NAME FROM %s.EMAILMAILBOXES WHERE EMAILACCOUNTS_ID='%Q' AND DELETED IS NULL ORDER BY CASE "
             u"WHEN UPPER(IMAP_NAME)='INBOX' THEN 0 ELSE 1 END, IMAP_NAME;",
             u"main", account_id);
    for (; c.HasRow(); c.Step()) {
        LStringA name;
        c.GetColumnTextA(0, name);
        if (!names.AddA(name.c_str())) return false;
    }
    return true;
}

bool LEmailAccountListRefreshDue(LAppDatabaseAccount& db, const char16_t* account_id) {
    int64_t live = 0;
    LString q;
    q.Format(u"SELECT COUNT(*) FROM %s.EMAILMAILBOXES WHERE EMAILACCOUNTS_ID='%Q' AND DELETED IS NULL;", u"main",
             account_id);
    if (!db.QueryInt64(q.c_str(), &live) || live == 0) return true;
    LAppDatabaseCursor c;
    c.QueryF(db, u"SELECT UPDATED, LAST_MAILBOXLIST_REFRESH_UTC FROM %s.EMAILACCOUNTS WHERE ID='%Q';", u"main",
             account_id);
    if (!c.HasRow()) return true;
    LString updated, refreshed;
    c.GetColumnString(0, updated);
    c.GetColumnString(1, refreshed);
    if (refreshed.IsEmpty()) return true;
    // UTC texts of one fixed shape compare as their times do.
    if (!updated.IsEmpty() && updated.View() > refreshed.View()) return true;
    time_t at = 0;
    if (!LParseDateTimeUTC(&at, refreshed.c_str()) || at <= 0) return true;
    return LNow() - at > kListRefreshSeconds;
}

bool LEmailMailboxesStoreListed(LAppDatabaseAccount& db, const char16_t* account_id, const LStringList& names) {
    for (uint64_t i = 0; i < names.count; ++i) {
        const char* name = names.ItemA(i);
        if (!name || !*name) continue;
        LString wide = LFromUtf8(name);
        LString id, q;
        q.Format(u"SELECT ID FROM %s.EMAILMAILBOXES WHERE EMAILACCOUNTS_ID='%Q' AND IMAP_NAME='%Q' LIMIT 1;", u"main",
                 account_id, wide.c_str());
        if (FirstText(db, q, id)) {
            if (!db.ExecF(u"UPDATE %s.EMAILMAILBOXES SET DELETED=NULL WHERE EMAILACCOUNTS_ID='%Q' AND IMAP_NAME='%Q';",
                          u"main", account_id, wide.c_str()))
                return false;
            continue;
        }
        // A row kept under the name's modified UTF-7 form (as stored before
        // names were decoded) takes the decoded name and keeps its mail.
        std::string wire = LImapEncodeMailboxName(name);
        if (wire != name) {
            LString wire_wide = LFromUtf8(wire);
            q.Format(u"SELECT ID FROM %s.EMAILMAILBOXES WHERE EMAILACCOUNTS_ID='%Q' AND IMAP_NAME='%Q' LIMIT 1;",
                     u"main", account_id, wire_wide.c_str());
            if (FirstText(db, q, id)) {
                if (!db.ExecF(u"UPDATE %s.EMAILMAILBOXES SET IMAP_NAME='%Q', DELETED=NULL WHERE ID='%Q';", u"main",
                              wide.c_str(), id.c_str()))
                    return false;
                continue;
            }
        }
        char16_t new_id[LEmailIdLength + 1];
        if (!LEmailNewRowId(db, u"EMAILMAILBOXES", new_id)) return false;
        if (!db.ExecF(u"INSERT INTO %s.EMAILMAILBOXES (ID, EMAILACCOUNTS_ID, IMAP_NAME, DELETED) VALUES ('%Q', '%Q', "
                      u"'%Q', NULL);",
                      u"main", new_id, account_id, wide.c_str()))
            return false;
    }
    return true;
}

bool LEmailMailboxesMarkUnlisted(LAppDatabaseAccount& db, const char16_t* account_id, const LStringList& names) {
    // A set, as a server may list very many mailboxes. Each name as it was
    // stored (through wide text), so that a name that is not valid UTF-8
    // matches its own row.
    std::unordered_set<std::string> listed;
    for (uint64_t i = 0; i < names.count; ++i)
        if (names.ItemA(i)) listed.insert(LToUtf8(LFromUtf8(names.ItemA(i))));
    std::vector<LString> unlisted;
    {
        // The Outbox and Drafts that the outgoing queue keeps here carry
        // their special-use flag and are never on the server's list: they
        // hold mail that exists nowhere else and stay live.
        LAppDatabaseCursor c;
        c.QueryF(db,
                 u"SELECT ID, IMAP_NAME FROM %s.EMAILMAILBOXES WHERE EMAILACCOUNTS_ID='%Q' AND DELETED IS NULL AND "
                 u"UPPER(COALESCE(IMAP_FLAGS, '')) NOT LIKE '%%\\OUTBOX%%' AND UPPER(COALESCE(IMAP_FLAGS, '')) NOT "
                 u"LIKE '%%\\DRAFTS%%';",
                 u"main", account_id);
        for (; c.HasRow(); c.Step()) {
            LStringA name;
            c.GetColumnTextA(1, name);
            if (listed.count(name.Str())) continue;
            LString id;
            c.GetColumnString(0, id);
            unlisted.push_back(std::move(id));
        }
    }
    char16_t now[32] = {};
    LNowDateTimeUTC(now);
    for (const LString& id : unlisted)
        if (!db.ExecF(u"UPDATE %s.EMAILMAILBOXES SET DELETED='%Q' WHERE ID='%Q' AND DELETED IS NULL;", u"main", now,
                      id.c_str()))
            return false;
    return true;
}

bool LEmailMailboxesReconcile(LAppDatabaseAccount& db, const char16_t* account_id, const LStringList& names) {
    if (names.count == 0) return false;
    LStoreTransaction tx(db);
    if (!tx.Began()) return false;
    if (!LEmailMailboxesStoreListed(db, account_id, names) || !LEmailMailboxesMarkUnlisted(db, account_id, names))
        return false;
    if (account_id && *account_id) {
        char16_t now[32] = {};
        LNowDateTimeUTC(now);
        if (!db.ExecF(u"UPDATE %s.EMAILACCOUNTS SET LAST_MAILBOXLIST_REFRESH_UTC='%Q' WHERE ID='%Q';", u"main", now,
                      account_id))
            return false;
    }
    return tx.Commit();
}

bool LEmailMailboxFindByName(LAppDatabaseAccount& db, const char16_t* account_id, const char16_t* id_or_name,
                             LString& mailbox_id, LString& imap_name) {
    mailbox_id.Clear();
    imap_name.Clear();
    if (!account_id || !*account_id || !id_or_name || !*id_or_name) return false;
    LAppDatabaseCursor c;
    c.QueryF(db,
             u"SELECT ID, IMAP_NAME FROM %s.EMAILMAILBOXES WHERE EMAILACCOUNTS_ID='%Q' AND DELETED IS NULL AND "
             u"(ID='%Q' OR UPPER(IMAP_NAME)=UPPER('%Q')) ORDER BY CASE WHEN ID='%Q' THEN 0 WHEN IMAP_NAME='%Q' THEN 1 "
             u"ELSE 2 END, IMAP_NAME LIMIT 1;",
             u"main", account_id, id_or_name, id_or_name, id_or_name, id_or_name);
    if (c.HasRow()) {
        c.GetColumnString(0, mailbox_id);
        c.GetColumnString(1, imap_name);
    }
    return !mailbox_id.IsEmpty() && !imap_name.IsEmpty();
}

bool LEmailMailboxFindExact(LAppDatabaseAccount& db, const char16_t* account_id, const char16_t* imap_name,
                            LString& mailbox_id) {
    mailbox_id.Clear();
    if (!account_id || !*account_id || !imap_name || !*imap_name) return false;
    LString q;
    q.Format(u"SELECT ID FROM %s.EMAILMAILBOXES WHERE EMAILACCOUNTS_ID='%Q' AND DELETED IS NULL AND IMAP_NAME='%Q' "
             u"LIMIT 1;",
             u"main", account_id, imap_name);
    return FirstText(db, q, mailbox_id);
}

bool LEmailMailboxGetName(LAppDatabaseAccount& db, const char16_t* account_id, const char16_t* mailbox_id,
                          LString& imap_name) {
    LString q;
    q.Format(u"SELECT IMAP_NAME FROM %s.EMAILMAILBOXES WHERE EMAILACCOUNTS_ID='%Q' AND ID='%Q' LIMIT 1;", u"main",
             account_id, mailbox_id);
    return FirstText(db, q, imap_name);
}

uint32_t LEmailMailboxGetUidValidity(LAppDatabaseAccount& db, const char16_t* account_id,
                                     const char16_t* mailbox_id) {
    if (!mailbox_id || !*mailbox_id) return 0;
    LAppDatabaseCursor c;
    c.QueryF(db, u"SELECT IMAP_UIDVALIDITY FROM %s.EMAILMAILBOXES WHERE EMAILACCOUNTS_ID='%Q' AND ID='%Q' LIMIT 1;",
             u"main", account_id, mailbox_id);
    return c.HasRow() ? static_cast<uint32_t>(c.GetColumnInt64(0)) : 0;
}

bool LEmailMailboxFindTrash(LAppDatabaseAccount& db, const char16_t* account_id, LString& mailbox_id) {
    LString q;
    q.Format(u"SELECT ID FROM %s.EMAILMAILBOXES WHERE EMAILACCOUNTS_ID='%Q' AND UPPER(COALESCE(IMAP_FLAGS, '')) LIKE "
             u"'%%\\TRASH%%' ORDER BY IMAP_NAME LIMIT 1;",
             u"main", account_id);
    if (FirstText(db, q, mailbox_id)) return true;
    for (const char16_t* name : {u"Trash", u"Deleted Items", u"Deleted Messages", u"INBOX.Trash", u"INBOX/Trash"}) {
        q.Format(u"SELECT ID FROM %s.EMAILMAILBOXES WHERE EMAILACCOUNTS_ID='%Q' AND UPPER(IMAP_NAME)=UPPER('%Q') "
                 u"LIMIT 1;",
                 u"main", account_id, name);
        if (FirstText(db, q, mailbox_id)) return true;
    }
    return false;
}
