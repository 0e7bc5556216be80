#include <string>
#include <vector>

#include "foundation/log.h"
#include "mail/mail_services.h"
#include "mail/store/accounts.h"
#include "mail/store/mailboxes.h"
#include "mail/store/store_transaction.h"
#include "platform/file.h"
#include "web/http/activity_log.h"

namespace {

struct MovedRow {
    LString account, source, source_name, target, target_name;
    int64_t uid = 0;
    int64_t uidvalidity = 0;
};

// The row takes its place in the target unlinked: a negative UID that no
// server UID and no other unlinked row can hold.
bool MoveLocally(LAppDatabaseAccount& db, const char16_t* message_id, const MovedRow& r) {
    if (r.uidvalidity == 0)
        return db.ExecF(u"UPDATE %s.EMAIL_MESSAGES SET MAILBOX_ID='%Q' WHERE ID='%Q' AND ACCOUNT_ID='%Q';", u"main",
                        r.target.c_str(), message_id, r.account.c_str());
    return db.ExecF(u"UPDATE %s.EMAIL_MESSAGES SET MAILBOX_ID='%Q', UID=-rowid WHERE ID='%Q' AND ACCOUNT_ID='%Q';",
                    u"main", r.target.c_str(), message_id, r.account.c_str());
}

}  // namespace

int LEmailMoveMessage(const char16_t* message_id, const char16_t* target, bool is_delete) {
    if (!message_id || !*message_id || !target || !*target) return 2;
    LAppDatabaseAccount db(false);
    if (!db.handle) return 2;
    MovedRow r;
    {
        LAppDatabaseCursor c;
        c.QueryF(db,
                 u"SELECT ACCOUNT_ID, MAILBOX_ID, UID, UIDVALIDITY FROM %s.EMAIL_MESSAGES WHERE ID='%Q' AND "
                 u"IS_DELETED=0 LIMIT 1;",
                 u"main", message_id);
        if (!c.HasRow()) {
            if (is_delete)
                LActivityLogEmail(u"Unable to delete email %s because the email row was not found", message_id);
            else
                LActivityLogEmail(u"Unable to move email %s to %s because the email row was not found", message_id,
                                  target);
            return 2;
        }
        c.GetColumnString(0, r.account);
        c.GetColumnString(1, r.source);
        r.uid = c.GetColumnInt64(2);
        r.uidvalidity = c.GetColumnInt64(3);
    }
    if (r.account.IsEmpty() || r.source.IsEmpty() || r.uid == 0) return 2;
    if (!LEmailMailboxGetName(db, r.account.c_str(), r.source.c_str(), r.source_name) ||
        !LEmailMailboxFindByName(db, r.account.c_str(), target, r.target, r.target_name))
        return 2;
    if (r.source.View() == r.target.View()) {
        LActivityLogEmail(is_delete ? u"Email %s already in trash mailbox %s" : u"Email %s already in mailbox %s",
                          message_id, r.target_name.c_str());
        return 0;
    }
    // A row whose earlier server move is not done yet has no server UID to
    // move from; it can move again once the worker has linked it.
    if (r.uid < 0) {
        LLogErrorF("Unable to move email %s: its previous server move is still pending", LToUtf8(message_id).c_str());
        return 2;
    }
    if (is_delete)
        LActivityLogEmail(u"Deleting email %s locally by moving from %s to trash %s", message_id,
                          r.source_name.c_str(), r.target_name.c_str());
    else
        LActivityLogEmail(u"Moving email %s locally from %s to %s", message_id, r.source_name.c_str(),
                          r.target_name.c_str());
    if (!MoveLocally(db, message_id, r)) {
        LActivityLogEmail(is_delete ? u"Local delete failed for email %s from %s to trash %s"
                                    : u"Local move failed for email %s from %s to %s",
                          message_id, r.source_name.c_str(), r.target_name.c_str());
        return 2;
    }
    if (r.uidvalidity == 0) {
        LActivityLogEmail(is_delete ? u"Deleted email %s locally from %s to trash %s; no server delete needed because "
                                      u"it was never synced from a real mailbox"
                                    : u"Moved email %s locally from %s to %s; no server move needed because it was "
                                      u"never synced from a real mailbox",
                          message_id, r.source_name.c_str(), r.target_name.c_str());
        return 0;
    }
    if (LMailSyncQueueServerMove(r.account.c_str(), message_id, r.source.c_str(), r.target.c_str(),
                                 static_cast<uint32_t>(r.uid), static_cast<uint32_t>(r.uidvalidity), is_delete)) {
        LActivityLogEmail(is_delete ? u"Queued server delete for email %s from %s to trash %s"
                                    : u"Queued server move for email %s from %s to %s",
                          message_id, r.source_name.c_str(), r.target_name.c_str());
        return 0;
    }
    LActivityLogEmail(is_delete ? u"Unable to queue server delete for email %s. Moving local row back to %s"
                                : u"Unable to queue server move for email %s. Moving local row back to %s",
                      message_id, r.source_name.c_str());
    LEmailMoveRevert(db, message_id, r.source.c_str(), static_cast<uint32_t>(r.uidvalidity),
                     static_cast<uint32_t>(r.uid));
    return 2;
}

int LEmailMoveMessageToTrash(const char16_t* message_id) {
    if (!message_id || !*message_id) return 2;
    LAppDatabaseAccount db(false);
    if (!db.handle) return 2;
    LString account;
    {
        LAppDatabaseCursor c;
        c.QueryF(db, u"SELECT ACCOUNT_ID FROM %s.EMAIL_MESSAGES WHERE ID='%Q' AND IS_DELETED=0 LIMIT 1;", u"main",
                 message_id);
        if (c.HasRow()) c.GetColumnString(0, account);
    }
    if (account.IsEmpty()) {
        LActivityLogEmail(u"Unable to delete email %s because the email row was not found", message_id);
        return 2;
    }
    LString trash;
    if (!LEmailMailboxFindTrash(db, account.c_str(), trash)) {
        LActivityLogEmail(u"Unable to delete email %s because no trash mailbox was found for account %s", message_id,
                          account.c_str());
        return 2;
    }
    db.Close();
    return LEmailMoveMessage(message_id, trash.c_str(), true);
}

bool LEmailMoveLink(LAppDatabaseAccount& db, const char16_t* message_id, const char16_t* target_mailbox_id,
                    uint32_t uidvalidity, uint32_t uid) {
    if (!message_id || !*message_id || uidvalidity == 0 || uid == 0) return false;
    LStoreTransaction tx(db);
    if (!tx.Began()) return false;
    // A copy the target's pass stored before this link is the same message:
    // it goes, with what hangs on it, and the moved row takes its place.
    LString q, copy;
    q.Format(u"SELECT ID FROM %s.EMAIL_MESSAGES WHERE ACCOUNT_ID=(SELECT ACCOUNT_ID FROM %s.EMAIL_MESSAGES WHERE "
             u"ID='%Q') AND MAILBOX_ID='%Q' AND UIDVALIDITY=%u AND UID=%u AND ID<>'%Q' LIMIT 1;",
             u"main", u"main", message_id, target_mailbox_id, uidvalidity, uid, message_id);
    {
        LAppDatabaseCursor c;
        c.Query(db, q.c_str());
        if (c.HasRow()) c.GetColumnString(0, copy);
    }
    std::vector<std::string> files;
    if (!copy.IsEmpty()) {
        LString in;
        in.Format(u"'%Q'", copy.c_str());
        if (!LEmailDeleteMessageRows(db, in, files)) return false;
    }
    if (!db.ExecF(u"UPDATE %s.EMAIL_MESSAGES SET UID=%u, UIDVALIDITY=%u WHERE ID='%Q' AND MAILBOX_ID='%Q';", u"main",
                  uid, uidvalidity, message_id, target_mailbox_id) ||
        !tx.Commit())
        return false;
    for (const std::string& f : files) LPlatformDeleteFile(f.c_str());
    return true;
}

bool LEmailMoveRevert(LAppDatabaseAccount& db, const char16_t* message_id, const char16_t* source_mailbox_id,
                      uint32_t uidvalidity, uint32_t uid) {
    if (!message_id || !*message_id || !source_mailbox_id || !*source_mailbox_id) return false;
    if (!db.ExecF(u"UPDATE %s.EMAIL_MESSAGES SET MAILBOX_ID='%Q', UID=%u, UIDVALIDITY=%u WHERE ID='%Q';", u"main",
                  source_mailbox_id, uid, uidvalidity, message_id)) {
        LLogErrorF("Unable to move email %s back to its mailbox", LToUtf8(message_id).c_str());
        return false;
    }
    return true;
}
