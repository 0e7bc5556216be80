// Filing a sent row in the server's Sent mailbox. The row is already in the
// local Sent; it is linked to the server copy's UID, or retired once a
// server copy exists and its UID cannot be learnt. Never retired before.
#include "foundation/time_source.h"
#include "foundation/utf8.h"
#include "mail/queue/queue_progress.h"
#include "mail/queue/send_rows.h"
#include "mail/store/mailboxes.h"
#include "net/imap/imap_client.h"
#include "web/http/activity_log.h"

namespace {

void Filed(LAppDatabaseAccount& db, const LQueuedRow& row) { LSendQueueSetState(db, row.id, u"FILED", u""); }

void TryLater(LAppDatabaseAccount& db, const LQueuedRow& row, const LString& error) {
    int tries = row.tries + 1;
    if (tries >= LSendQueueMaxTries) {
        // The local copy stays in Sent; only the server copy is missing.
        LActivityLogError(u"Queued email %s was sent but could not be stored in a real IMAP Sent mailbox for account "
                          u"%s.",
                          row.id, row.accountId);
        LSendQueueSetState(db, row.id, u"FILED", error.c_str());
        return;
    }
    db.ExecF(u"UPDATE %s.EMAIL_SEND_QUEUE SET TRIES=%d, NEXT_TRY_UTC=%lld, LAST_ERROR='%Q' WHERE ROW_ID='%Q';",
             u"main", tries, static_cast<long long>(LNow() + LSendQueueBackoffSeconds(tries)), error, row.id);
}

bool Retire(LAppDatabaseAccount& db, const LQueuedRow& row) {
    return db.ExecF(u"UPDATE %s.EMAIL_MESSAGES SET IS_DELETED=1, LAST_SEEN_UTC=%lld WHERE ID='%Q' AND ACCOUNT_ID='%Q';",
                    u"main", static_cast<long long>(LNow()), row.id, row.accountId);
}

// The row takes the server copy's numbers. When the synchronisation stored
// that copy first, the unique key refuses: the copy is there, ours goes.
void Link(LAppDatabaseAccount& db, const LQueuedRow& row, const char16_t* box_id, uint32_t uidvalidity,
          uint32_t uid) {
    int64_t now = LNow();
    // SENT_UTC stays the Date the bytes carry, not the time of this link.
    bool linked = db.ExecF(u"UPDATE %s.EMAIL_MESSAGES SET MAILBOX_ID='%Q', UID=%u, UIDVALIDITY=%u, FLAGS='\\Seen', "
                           u"RECEIVED_UTC=%lld, LAST_SEEN_UTC=%lld WHERE ID='%Q' AND ACCOUNT_ID='%Q';",
                           u"main", box_id, uid, uidvalidity, now, now, row.id, row.accountId);
    if (!linked) Retire(db, row);
    db.ExecF(u"UPDATE %s.EMAILMAILBOXES SET IMAP_UIDVALIDITY=%u WHERE EMAILACCOUNTS_ID='%Q' AND ID='%Q' AND "
             u"IMAP_UIDVALIDITY=0;",
             u"main", uidvalidity, row.accountId, box_id);
    Filed(db, row);
    LActivityLogEmail(u"Queued email %s completed for account %s to %s", row.id, row.accountId, row.to);
}

// The server's Sent (made there when missing) after a fresh list.
bool ServerSent(LTaskProgress& p, LAppDatabaseAccount& db, LImapConnection& imap, const LQueuedRow& row,
                char16_t box_id[260], char16_t box_name[260]) {
    LNetOpResult r = 0;
    LStringList names;
    if (imap.ListMailboxes(r, p, names) != 0) return false;
    // A list that cannot be stored only leaves the store's list older; the
    // Sent mailbox is still checked against the server's own list.
    LEmailMailboxesReconcile(db, row.accountId, names);
    if (!LEmailFindSentMailbox(db, row.accountId, box_id, box_name)) return false;
    std::string name = LToUtf8(box_name);
    if (names.FindA(name.c_str()) >= 0) return true;
    std::string quoted;
    for (char c : name) {
        if (c == '\\' || c == '"') quoted.push_back('\\');
        quoted.push_back(c);
    }
    if (imap.CommandOk(r, p, "CREATE \"%s\"", quoted) != 0) return false;
    names.AddA(name.c_str());
    LEmailMailboxesReconcile(db, row.accountId, names);
    return true;
}

}  // namespace

LSendQueueImapSession::LSendQueueImapSession() = default;
LSendQueueImapSession::~LSendQueueImapSession() = default;

void LSendQueueImapSession::Close(LTaskProgress& progress) {
    if (imap) {
        LNetOpResult out = 0;
        imap->Logout(out, progress);
    }
    imap.reset();
    accountId.clear();
}

namespace {

// Signs in and finds the server's Sent, unless the session already holds
// them for this account. 0 ready, 1 stop requested, 2 failed.
int Open(LQueueProgress& p, LAppDatabaseAccount& db, const LEmailSendAccount& account, const LQueuedRow& row,
         LSendQueueImapSession& s) {
    if (s.imap && s.accountId == row.accountId) return 0;
    s.Close(p);
    s.imap = std::make_unique<LImapConnection>();
    LNetOpResult r = 0;
    if (s.imap->Login(r, p, account.incoming, account.email, account.password) != 0) {
        s.imap.reset();
        return r == 1 ? 1 : 2;
    }
    // APPENDUID is an answer of UIDPLUS: from a server that does not offer
    // it the numbers are not relied on.
    if (!ServerSent(p, db, *s.imap, row, s.boxId, s.boxName) ||
        s.imap->HasCapability(r, p, "UIDPLUS", s.uidplus) != 0) {
        s.Close(p);
        return r == 1 || p.IsStopRequested() ? 1 : 2;
    }
    s.accountId = row.accountId;
    return 0;
}

}  // namespace

int LSendQueueFileRow(LTaskProgress& worker, LAppDatabaseAccount& db, LQueuedRow& row,
                      LSendQueueImapSession& session) {
    LEmailSendAccount account;
    if (!LSendQueueAccountIsLive(db, row.accountId) || !LEmailSendGetAccount(db, row.accountId, account)) {
        Filed(db, row);  // nothing to file into; the local copy stays
        return 0;
    }
    if (!account.incoming[0]) {
        LActivityLogError(u"Queued email %s was sent but could not be stored in a real IMAP Sent mailbox for account "
                          u"%s.",
                          row.id, row.accountId);
        Filed(db, row);
        return 0;
    }
    if (!LSendQueueComposeOnce(db, row, account)) {
        TryLater(db, row, LString(u"the message could not be prepared"));
        return 0;
    }
    LQueueProgress p(worker);
    if (int r = Open(p, db, account, row, session)) {
        if (r == 1) return 1;
        TryLater(db, row, p.error);
        return 0;
    }
    LImapConnection& imap = *session.imap;
    std::string name = LToUtf8(session.boxName);
    uint32_t uidvalidity = 0, uid = 0;
    LNetOpResult r = 0;
    bool appended = imap.Append(r, p, name.c_str(), row.mime.View(), &uidvalidity, &uid) == 0;
    if (!session.uidplus) uidvalidity = uid = 0;
    if (appended && (!uidvalidity || !uid) && !row.messageId.IsEmpty()) {
        // No APPENDUID: the copy is found by its Message-ID.
        uint32_t exists = 0, next = 0, found = 0;
        std::string message_id = LToUtf8(row.messageId);
        LNetOpResult s = 0;
        if (imap.SelectStatus(s, p, exists, uidvalidity, next, name.c_str()) == 0 &&
            imap.FindByMessageId(s, p, name.c_str(), message_id.c_str(), found) == 0 && found)
            uid = found;
        else
            uidvalidity = uid = 0;
    }
    bool stopped = r == 1 || p.IsStopRequested();
    if (!appended) {
        // A connection that failed once is not trusted for the next row.
        session.Close(p);
        if (stopped) return 1;
        TryLater(db, row, p.error);
        return 0;
    }
    if (uidvalidity && uid) {
        Link(db, row, session.boxId, uidvalidity, uid);
    } else if (Retire(db, row)) {
        Filed(db, row);
        LActivityLogEmail(u"Queued email %s completed for account %s to %s; local Sent linkage will be restored by "
                          u"the next IMAP sync.",
                          row.id, row.accountId, row.to);
    }
    return stopped ? 1 : 0;
}
