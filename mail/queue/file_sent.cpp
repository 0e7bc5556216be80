// Filing a sent row in the server's Sent mailbox. The row is already in the
// local Sent; it is linked to the server copy's UID, or retired once a
// server copy exists and its UID cannot be learnt. Never retired before.
// The row is FILING from just before the APPEND: after a crash or a lost
// answer the copy may be there, so Sent is searched for its Message-ID
// before anything is appended again.
#include <atomic>

#include "foundation/time_source.h"
#include "foundation/utf8.h"
#include "mail/queue/queue_progress.h"
#include "mail/queue/send_rows.h"
#include "mail/store/mailboxes.h"
#include "net/imap/imap_client.h"
#include "web/http/activity_log.h"

namespace {

std::atomic<int> g_faultForTests{0};

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

// The copy in Sent by its Message-ID (no APPENDUID, or an APPEND whose
// outcome is not known): 1 found, 0 not there, 2 the search failed.
int FindCopy(LQueueProgress& p, LImapConnection& imap, const std::string& box, const LQueuedRow& row,
             uint32_t& uidvalidity, uint32_t& uid) {
    uint32_t exists = 0, next = 0, found = 0;
    std::string message_id = LToUtf8(row.messageId);
    LNetOpResult s = 0;
    if (imap.SelectStatus(s, p, exists, uidvalidity, next, box.c_str()) != 0 ||
        imap.FindByMessageId(s, p, box.c_str(), message_id.c_str(), found) != 0)
        return 2;
    uid = found;
    return found && uidvalidity ? 1 : 0;
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
    // The store keeps names decoded; the server is sent its own spelling.
    if (imap.CreateMailbox(r, p, name.c_str()) != 0) return false;
    names.AddA(name.c_str());
    LEmailMailboxesReconcile(db, row.accountId, names);
    return true;
}

}  // namespace

void LSendQueueSetFilingFaultForTests(int fault) { g_faultForTests = fault; }

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
    LQueueProgress p(worker, LSendQueueExchangeLimit(row.mime.length));
    if (int r = Open(p, db, account, row, session)) {
        if (r == 1 && p.WorkerStopping()) return 1;
        TryLater(db, row, !p.error.IsEmpty() ? p.error
                          : p.Expired()      ? LString(u"the IMAP server did not answer in time")
                                             : LString(u"the IMAP server could not be reached"));
        return 0;
    }
    LImapConnection& imap = *session.imap;
    std::string name = LToUtf8(session.boxName);
    uint32_t uidvalidity = 0, uid = 0;
    LNetOpResult r = 0;
    if (row.filing && !row.messageId.IsEmpty()) {
        // An earlier APPEND may have made the copy: link it, never add one.
        int found = FindCopy(p, imap, name, row, uidvalidity, uid);
        if (found == 1) {
            Link(db, row, session.boxId, uidvalidity, uid);
            return 0;
        }
        if (found == 2) {
            session.Close(p);
            if (p.WorkerStopping()) return 1;
            TryLater(db, row, p.error.IsEmpty() ? LString(u"Sent could not be searched") : p.error);
            return 0;
        }
    }
    if (!row.filing && !db.ExecF(u"UPDATE %s.EMAIL_SEND_QUEUE SET STATE='FILING' WHERE ROW_ID='%Q';", u"main", row.id)) {
        TryLater(db, row, LString(u"the filing could not be recorded"));
        return 0;
    }
    bool appended = imap.Append(r, p, name.c_str(), row.mime.View(), &uidvalidity, &uid) == 0;
    if (appended && g_faultForTests.load() == 1) return 0;
    if (appended && g_faultForTests.load() == 2) {
        appended = false;
        r = 2;
    }
    if (!session.uidplus) uidvalidity = uid = 0;
    if (appended && (!uidvalidity || !uid) && !row.messageId.IsEmpty() &&
        FindCopy(p, imap, name, row, uidvalidity, uid) != 1)
        uidvalidity = uid = 0;
    bool stopped = p.WorkerStopping();
    if (!appended) {
        // A connection that failed once is not trusted for the next row.
        session.Close(p);
        if (stopped) return 1;
        TryLater(db, row, p.error.IsEmpty() ? LString(u"the APPEND to Sent got no answer") : p.error);
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
