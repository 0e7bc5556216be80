#include <algorithm>

#include "foundation/log.h"
#include "foundation/utf8.h"
#include "mail/store/accounts.h"
#include "mail/store/mailboxes.h"
#include "mail/store/store_transaction.h"
#include "mail/sync/sync_checkpoint.h"
#include "mail/sync/sync_worker.h"
#include "web/http/activity_log.h"

namespace {

// A mirror commits a batch every few hundred messages; checkpointing at
// SQLite's default of 1,000 WAL pages spent half of each commit copying pages
// back. Readers are unaffected: they read the WAL as before.
constexpr int kCheckpointPages = 10000;
// From this many pages in the WAL, the checkpoint thread is asked to copy
// what a commit added.
constexpr int kCopyFromPages = 256;

// Copies the pass's pages back when the walk ends, however it ends, without
// waiting for readers (what a reader still holds is copied by the next
// checkpoint): on the checkpoint thread, so that the pass does not wait for
// the disk; one that is copying already leaves the rest to the next.
struct PassCheckpoint {
    LAppDatabaseAccount& db;
    int& walPages;
    LMailSyncCheckpointer* thread;
    ~PassCheckpoint() {
        if (walPages >= LMailSyncPassCheckpointPages) {
            if (thread && thread->IsRunning()) {
                thread->TakeState();
                thread->Request();
            } else {
                db.ExecA("PRAGMA wal_checkpoint(PASSIVE);");
            }
        }
        walPages = 0;
    }
};

// A batch dirties more pages than SQLite's default cache of about 2 MB
// holds: the rest went to the WAL before the commit and was read back.
// The larger cache lives for the pass only; its memory is given back
// after, so an idle account holds no more than before.
struct PassCache {
    LAppDatabaseAccount& db;
    int32_t before = 0;
    explicit PassCache(LAppDatabaseAccount& d) : db(d) {
        if (db.QueryInt(u"PRAGMA cache_size;", &before)) db.ExecA("PRAGMA cache_size=-16384;");
    }
    ~PassCache() {
        if (before == 0) return;
        LStringA sql;
        sql.Format("PRAGMA cache_size=%d; PRAGMA shrink_memory;", before);
        db.ExecA(sql.c_str());
    }
};

}  // namespace

int EMLEmailAccGetter::WalCommitted(void* self, sqlite3* handle, const char* schema, int pages) {
    auto* worker = static_cast<EMLEmailAccGetter*>(self);
    worker->walPages_ = pages;
    LMailSyncCheckpointer* checkpointer = worker->checkpointer_;
    int state = checkpointer ? checkpointer->TakeState() : LMailSyncCheckpointer::Idle;
    if (state == LMailSyncCheckpointer::Running) return SQLITE_OK;
    const bool large = pages >= kCheckpointPages;
    // The checkpoint thread copied what the WAL held when it began; once the
    // WAL is large, what came since is copied here, so the next write starts
    // it over.
    if (large && state == LMailSyncCheckpointer::Ended) {
        sqlite3_wal_checkpoint_v2(handle, schema, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
        return SQLITE_OK;
    }
    // Otherwise the thread copies and syncs the new pages beside the next
    // batches, so that little is left to copy when the pass ends.
    if (pages >= kCopyFromPages && checkpointer && checkpointer->Request()) return SQLITE_OK;
    if (large) sqlite3_wal_checkpoint_v2(handle, schema, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    return SQLITE_OK;
}

void EMLEmailAccGetter::ShowError(const char16_t* text) {
    clientError_.Clear();
    if (text) clientError_.Append(text);
    clientError_.Terminate();
}

bool LMailSyncConnectionAlive(LImapConnection& imap, LTaskProgress& progress) {
    // A command that failed may have been refused (the connection is fine)
    // or lost with the connection; a NOOP tells which.
    if (imap.connection.socket == LInvalidSocket) return false;
    LNetOpResult r;
    return imap.CommandOk(r, progress, "NOOP") == LNetDone;
}

void EMLEmailAccGetter::Run() {
    bool oneShot = mode.load() != LMailSyncModeAccount;
    while (!IsStopRequested()) {
        RunConnection(oneShot);
        if (oneShot) break;
    }
    if (oneShot) {
        FinishOneShot();
        finished.store(1);
    }
}

void EMLEmailAccGetter::LoadMailboxList(LAppDatabaseAccount& db, LStringList& list) {
    list.Clear();
    // The outgoing queue's own Outbox and Drafts carry their special-use
    // flag and exist only here: no server knows them.
    LAppDatabaseCursor c;
    c.QueryF(db,
             u"SELECT IMAP_NAME FROM %s.EMAILMAILBOXES WHERE EMAILACCOUNTS_ID='%Q' AND DELETED IS NULL AND "
             u"UPPER(COALESCE(IMAP_FLAGS, '')) NOT LIKE '%%\\OUTBOX%%' AND UPPER(COALESCE(IMAP_FLAGS, '')) NOT LIKE "
             u"'%%\\DRAFTS%%' ORDER BY CASE WHEN UPPER(IMAP_NAME)='INBOX' THEN 0 ELSE 1 END, IMAP_NAME;",
             u"main", accountId);
    LStringA name;
    for (; c.HasRow(); c.Step()) {
        c.GetColumnTextA(0, name);
        if (!name.IsEmpty()) list.AddA(name.c_str());
    }
    if (list.count == 0) list.AddA("INBOX");
}

void EMLEmailAccGetter::RunConnection(bool oneShot) {
    if (!server[0] || !user[0]) {
        SetLastError(u"Incoming server is not configured.");
        SetState(LMailSyncNotConfigured, true);
        if (!oneShot) WaitForWake(LMailSyncWaitMs);
        return;
    }
    if (backoffMs_ > 0) {
        // The previous connection failed inside a pass: wait before trying
        // again, so that a server in trouble is not hammered with logins.
        if (WaitStop(backoffMs_) == LWaitStopped) return;
    }
    LActivityLogEmail(u"Connecting to %s as %s for sync", server, user);
    LImapConnection imap;
    LNetOpResult r;
    clientError_.Clear();
    if (imap.Login(r, *this, server, user, password) != LNetDone) {
        if (r == LNetFailed) {
            LUTF8FromWide s(server), u(user);
            // The client's own cause (the server's refusal, the certificate,
            // the port that did not answer) is what tells the user what to
            // mend.
            std::string cause = LToUtf8(clientError_);
            LLogErrorF("Unable to sign in to %s as %s. Check the server address, user name and password. %s",
                       s.text, u.text, cause.c_str());
            SetLastError(clientError_.IsEmpty()
                             ? u"Unable to connect to the IMAP server. Check the server address, user name and password."
                             : clientError_.c_str());
        } else {
            SetLastError(u"Unable to connect to the IMAP server.");
        }
        SetState(LMailSyncError, true);
        if (!oneShot) WaitForWake(LMailSyncWaitMs);
        return;
    }
    LAppDatabaseAccount db(false);
    // The statement journals of a batch's writes are throw-away files:
    // kept in memory, they cost no writes to the disk.
    if (db.handle) db.ExecA("PRAGMA temp_store=MEMORY;");
    // The connection's own checkpoints (in place of SQLite's automatic one),
    // which also count the pages a pass leaves in the WAL.
    walPages_ = 0;
    LMailSyncCheckpointer checkpointer;
    checkpointer.Start();
    checkpointer_ = &checkpointer;
    struct Unlink {
        LMailSyncCheckpointer*& link;
        ~Unlink() { link = nullptr; }
    } unlink{checkpointer_};
    if (db.handle) sqlite3_wal_hook(db.handle, &EMLEmailAccGetter::WalCommitted, this);
    if (!db.handle) {
        SetLastError(u"Unable to open the local mail database.");
        SetState(LMailSyncError, true);
        imap.Disconnect();
        if (!oneShot) WaitForWake(LMailSyncWaitMs);
        return;
    }
    LStringList list;
    LoadMailboxList(db, list);
    if (mode.load() == LMailSyncModeMailbox) {
        list.Clear();
        LUTF8FromWide target(targetMailboxName);
        if (!targetMailboxName[0]) {
            SetLastError(u"Unable to resolve the mailbox refresh target.");
            SetState(LMailSyncNotConfigured, true);
            return;
        }
        list.AddA(target.text);
    }
    bool idle = false;
    if (imap.HasCapability(r, *this, "IDLE", idle) != LNetDone ||
        imap.HasCapability(r, *this, "CONDSTORE", condstore_) != LNetDone) {
        SetState(LMailSyncError, true);
        imap.Disconnect();
        if (!oneShot) WaitForWake(LMailSyncWaitMs);
        return;
    }
    PassEnd end = PassEnd::NextPass;
    while (end == PassEnd::NextPass && !IsStopRequested()) end = RunPass(db, imap, list, idle, oneShot);
    if (end == PassEnd::Failed) {
        backoffMs_ = std::min(std::max(backoffMs_ * 2, LMailSyncBackoffFirstMs), LMailSyncWaitMs);
        imap.Disconnect();
    }
    if (imap.connection.socket != LInvalidSocket) {
        if (IsStopRequested()) imap.Disconnect();
        else imap.Logout(r, *this);
    }
}

bool EMLEmailAccGetter::RefreshMailboxList(LAppDatabaseAccount& db, LImapConnection& imap, LStringList& list) {
    LActivityLogEmail(u"Refreshing mailbox list for account %s", user);
    LStringList names;
    LNetOpResult r;
    if (imap.ListMailboxes(r, *this, names) != LNetDone || names.count == 0) return false;
    for (uint64_t i = 0; i < names.count; i++) {
        if (list.FindA(names.ItemA(i)) >= 0) continue;
        LWideFromUTF8 name(names.ItemA(i));
        LActivityLogEmail(u"Discovered new mailbox %s for account %s", name.text, user);
    }
    if (!db.handle || !accountId[0] || !LEmailMailboxesReconcile(db, accountId, names)) return false;
    // The worker walks what the store now holds, which leaves out the
    // queue's local mailboxes just as the first load did.
    LoadMailboxList(db, list);
    LActivityLogEmail(u"Mailbox list refresh complete for account %s: %d mailboxes", user,
                      static_cast<int32_t>(list.count));
    return true;
}

EMLEmailAccGetter::PassEnd EMLEmailAccGetter::AbortPass(LAppDatabaseAccount& db) {
    LEmailAccountClearListRefresh(db, accountId);
    listRefreshForced_ = true;
    SetState(LMailSyncError, true);
    return PassEnd::Failed;
}

EMLEmailAccGetter::PassEnd EMLEmailAccGetter::RunPass(LAppDatabaseAccount& db, LImapConnection& imap,
                                                     LStringList& list, bool idleOffered, bool oneShot) {
    LNetOpResult r;
    // This pass serves every request and move made so far; a wake that
    // comes from here on asks for the next one.
    wake.Reset();
    if (mode.load() == LMailSyncModeList) {
        SetLastError(u"");
        SetState(LMailSyncUpdating, false);
        SetProgress(0, 1, 0, 0);
        if (RefreshMailboxList(db, imap, list)) {
            SetProgress(1, 1, 0, 0);
        } else {
            LUTF8FromWide s(server);
            LLogErrorF("IMAP mailbox refresh failed for %s", s.text);
            SetLastError(u"Unable to refresh the mailbox list.");
            imap.Disconnect();
        }
        SetCurrentMailbox(u"");
        SetState(LMailSyncUpToDate, true);
        return PassEnd::EndConnection;
    }
    // An account worker lists the mailboxes on every pass (one LIST), so
    // that a mailbox another client made brings its mail in at once.
    if (mode.load() == LMailSyncModeAccount || listRefreshForced_ || LEmailAccountListRefreshDue(db, accountId)) {
        if (!RefreshMailboxList(db, imap, list)) {
            LUTF8FromWide s(server);
            LLogErrorF("IMAP mailbox refresh failed for %s", s.text);
            SetLastError(u"Unable to refresh the mailbox list.");
            SetState(LMailSyncError, true);
            return PassEnd::Failed;
        }
        listRefreshForced_ = false;
    }
    SetLastError(u"");
    SetState(LMailSyncUpdating, false);
    int32_t total = static_cast<int32_t>(list.count);
    SetProgress(0, total, 0, 0);
    int moves = ApplyServerMoves(db, imap);
    if (moves == 1) return PassEnd::EndConnection;
    if (moves == 2) return AbortPass(db);

    LActivityLogEmail(u"Starting mailbox sync for account %s with %d mailboxes", user, total);
    int32_t done = 0;
    bool stopped = false;
    // The list may be refreshed inside the walk (a mailbox found missing);
    // the walk goes on over the names it began with.
    LStringList names;
    for (uint64_t i = 0; i < list.count; i++) names.AddA(list.ItemA(i));
    {
        PassCache cache(db);
        PassCheckpoint checkpoint{db, walPages_, checkpointer_};
        for (uint64_t i = 0; i < names.count && !stopped; i++) {
            if (IsStopRequested()) {
                stopped = true;
                break;
            }
            MailboxEnd e = SyncMailbox(db, imap, names.ItemA(i), list, done, total);
            if (e == MailboxEnd::Failed) return AbortPass(db);
            if (e == MailboxEnd::Stopped) stopped = true;
            if (e == MailboxEnd::Done) done++;
        }
    }
    SetCurrentMailbox(u"");
    if (stopped || IsStopRequested()) return PassEnd::EndConnection;
    LActivityLogEmail(u"Mailbox sync complete for account %s: %d of %d mailboxes complete", user, done, total);

    if (oneShot) {
        SetState(LMailSyncUpToDate, true);
        return PassEnd::EndConnection;
    }
    if (!idleOffered) {
        backoffMs_ = 0;
        SetState(LMailSyncWaiting, true);
        return WaitForWake(LMailSyncWaitMs) ? PassEnd::NextPass : PassEnd::EndConnection;
    }
    SetState(LMailSyncUpToDate, true);
    // A wake that came during the pass (a move queued, a pass requested)
    // is served at once rather than after the server's next news.
    if (wake.TryWait()) {
        wake.Reset();
        return PassEnd::NextPass;
    }
    uint32_t exists = 0, validity = 0, next = 0;
    if (imap.SelectStatus(r, *this, exists, validity, next, "INBOX") != LNetDone) {
        if (r == LNetStopped) return PassEnd::EndConnection;
        SetLastError(u"Unable to prepare the IMAP idle wait.");
        return PassEnd::Failed;
    }
    // IDLE reports only what happens after it starts: mail that reached
    // INBOX after this pass scanned it would wait for the next news. The
    // server's UIDNEXT against the one the pass recorded tells (an INBOX
    // left incomplete records none and waits for its retry as before).
    {
        int64_t storedNext = -1;
        LString sql;
        sql.Format(u"SELECT IMAP_UIDNEXT FROM %s.EMAILMAILBOXES WHERE EMAILACCOUNTS_ID='%Q' AND UPPER(IMAP_NAME)='INBOX' "
                   u"AND DELETED IS NULL LIMIT 1;",
                   u"main", accountId);
        if (db.QueryInt64(sql.c_str(), &storedNext) && storedNext > 0 && next != 0 &&
            storedNext != static_cast<int64_t>(next))
            return PassEnd::NextPass;
    }
    bool changed = false;
    imap.Idle(r, *this, changed, wake.Handle());
    wake.Reset();
    // Only a connection that got as far as IDLE proves the server well: one
    // that breaks there must not be retried at once, over and over.
    if (r != LNetFailed) backoffMs_ = 0;
    if (r == LNetStopped || IsStopRequested()) return PassEnd::EndConnection;
    if (r != LNetDone) {
        SetLastError(u"The IMAP idle wait ended unexpectedly.");
        return PassEnd::Failed;
    }
    return PassEnd::NextPass;
}
