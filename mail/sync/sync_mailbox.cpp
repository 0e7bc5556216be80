#include <atomic>
#include <map>
#include <set>
#include <vector>

#include "foundation/date_time.h"
#include "foundation/log.h"
#include "foundation/utf8.h"
#include "mail/mail_services.h"
#include "mail/store/mailboxes.h"
#include "mail/store/message_store.h"
#include "mail/store/store_transaction.h"
#include "mail/sync/sync_engine.h"
#include "mail/sync/sync_mark.h"
#include "mail/sync/sync_prefetch.h"
#include "mail/sync/sync_scan.h"
#include "mail/sync/sync_worker.h"
#include "web/http/activity_log.h"

namespace {

std::atomic<bool (*)(const char*, uint64_t)> gStoreFault{nullptr};
std::atomic<void (*)(const char16_t*)> gArrivalObserver{nullptr};

// Consecutive store failures after which the pass is given up: the
// database, not one message, is in trouble.
constexpr int kMaxConsecutiveStoreFailures = 10;

}  // namespace

void LMailSyncSetStoreFaultForTests(bool (*fault)(const char* bytes, uint64_t size)) { gStoreFault.store(fault); }
void LMailSyncSetArrivalObserverForTests(void (*observer)(const char16_t* rowId)) { gArrivalObserver.store(observer); }

EMLEmailAccGetter::MailboxEnd EMLEmailAccGetter::SyncMailbox(LAppDatabaseAccount& db, LImapConnection& imap,
                                                            const char* name, LStringList& list, int32_t done,
                                                            int32_t total) {
    LWideFromUTF8 wname(name);
    SetCurrentMailbox(wname.text);
    LActivityLogEmail(u"Updating mailbox %s for account %s", wname.text, user);
    // By the server's exact name: "Reports" and "reports" are two mailboxes.
    LString mailboxId;
    if (!LEmailMailboxFindExact(db, accountId, wname.text, mailboxId)) {
        if (list.count > 0) {
            LStoreTransaction tx(db);
            if (tx.Began() && LEmailMailboxesStoreListed(db, accountId, list)) tx.Commit();
        }
        listRefreshForced_ = true;
        if (!LEmailMailboxFindExact(db, accountId, wname.text, mailboxId)) return MailboxEnd::Skipped;
    }
    uint32_t exists = 0, validity = 0, next = 0;
    uint64_t modseq = 0;
    LNetOpResult r;
    if (imap.SelectStatus(r, *this, exists, validity, next, name, condstore_ ? &modseq : nullptr) != LNetDone) {
        if (r == LNetStopped) return MailboxEnd::Stopped;
        ReportImapFailure("SELECT", name);
        // A mailbox the server refuses is passed over; the others still sync.
        return LMailSyncConnectionAlive(imap, *this) ? MailboxEnd::Skipped : MailboxEnd::Failed;
    }
    uint32_t storedValidity = LEmailMailboxGetUidValidity(db, accountId, mailboxId.c_str());
    int64_t storedNext = 0, storedModseq = 0;
    {
        LAppDatabaseCursor c;
        c.QueryF(db, u"SELECT IMAP_UIDNEXT, IMAP_HIGHESTMODSEQ FROM %s.EMAILMAILBOXES WHERE EMAILACCOUNTS_ID='%Q' AND "
                     u"ID='%Q' LIMIT 1;",
                 u"main", accountId, mailboxId.c_str());
        if (c.HasRow()) {
            storedNext = c.GetColumnInt64(0);
            storedModseq = c.GetColumnInt64(1);
        }
    }
    Scan scan;
    scan.name = name;
    scan.mailboxId = mailboxId.c_str();
    scan.validity = validity;
    scan.done = done;
    scan.total = total;
    // Only what came after the last complete pass of this UIDVALIDITY is
    // new mail: a first mirror or a UIDVALIDITY change brings old mail.
    scan.arrivalFrom = (storedValidity == validity && storedNext > 0 && storedNext <= 0xFFFFFFFFll)
                           ? static_cast<uint32_t>(storedNext)
                           : 0xFFFFFFFFu;
    bool unchanged = validity != 0 && next != 0 && validity == storedValidity && next == storedNext;
    if (!unchanged && exists > 0) {
        scan.mark = LMailSyncMarkGet(db, accountId, scan.mailboxId, validity);
        std::vector<uint32_t> uids;
        {
            LStringA text;
            if (imap.SearchUids(r, *this, text, scan.mark) != LNetDone) {
                if (r == LNetStopped) return MailboxEnd::Stopped;
                ReportImapFailure("UID list", name);
                return MailboxEnd::Failed;
            }
            uids = LMailSyncParseUids(text.c_str(), scan.mark, scan.tokens);
        }
        SetProgress(done, total, 0, scan.tokens);
        LActivityLogEmail(u"Mailbox %s has %d messages to scan for account %s", wname.text, scan.tokens, user);
        MailboxEnd e = ScanUids(db, imap, uids, scan);
        if (e != MailboxEnd::Done) return e;
    }
    // Flags change without new mail. With CONDSTORE an unchanged
    // HIGHESTMODSEQ says nothing changed and a changed one names what did;
    // without it the flags of the whole mailbox are read again.
    bool known = condstore_ && modseq != 0 && validity == storedValidity && storedModseq > 0;
    if (exists > 0 && !(known && static_cast<int64_t>(modseq) == storedModseq)) {
        uint64_t since = known ? static_cast<uint64_t>(storedModseq) : 0;
        if (!RefreshFlags(db, imap, scan, since)) {
            if (IsStopRequested()) return MailboxEnd::Stopped;
            if (!LMailSyncConnectionAlive(imap, *this)) {
                ReportImapFailure("FETCH FLAGS", name);
                return MailboxEnd::Failed;
            }
            modseq = 0;  // tried again by the next pass
        }
    }
    if (scan.incomplete) {
        LLogErrorF("Incomplete mailbox sync for %s due to message store failures; sync state not updated", name);
    } else if (!db.ExecF(u"UPDATE %s.EMAILMAILBOXES SET IMAP_UIDVALIDITY=%u, IMAP_UIDNEXT=%u, IMAP_HIGHESTMODSEQ=%llu "
                         u"WHERE EMAILACCOUNTS_ID='%Q' AND ID='%Q';",
                         u"main", validity, next, static_cast<unsigned long long>(modseq), accountId,
                         scan.mailboxId)) {
        LLogErrorF("Incomplete mailbox sync for %s due to message store failures; sync state not updated", name);
    } else {
        char16_t now[260];
        LNowDateTimeUTC(now);
        // Only a mailbox's first synchronisation can let a waiting backup
        // round go ahead; waking it after every pass would run a round that
        // finds nothing and hides the last one that wrote mail.
        LString first;
        first.Format(u"SELECT COUNT(*) FROM main.EMAILMAILBOXES WHERE EMAILACCOUNTS_ID='%Q' AND ID='%Q' AND "
                     u"COALESCE(LAST_SYNC_UTC, '')='';",
                     accountId, scan.mailboxId);
        int32_t firstSync = 0;
        if (!db.QueryInt(first.c_str(), &firstSync)) firstSync = 1;
        if (db.ExecF(u"UPDATE %s.EMAILMAILBOXES SET LAST_SYNC_UTC='%s' WHERE EMAILACCOUNTS_ID='%Q' AND ID='%Q';",
                     u"main", now, accountId, scan.mailboxId)) {
            if (firstSync > 0) LEmailBackupWake();
        } else {
            LUTF8FromWide u(user);
            LLogErrorF("Unable to persist mailbox sync time for account %s mailbox %s", u.text, name);
        }
    }
    SetProgress(done + 1, total, 0, 0);
    LActivityLogEmail(u"Completed mailbox %s for account %s: scanned %u messages, downloaded %d messages", wname.text,
                      user, static_cast<uint32_t>(scan.tokens), scan.downloaded);
    return MailboxEnd::Done;
}

EMLEmailAccGetter::MailboxEnd EMLEmailAccGetter::ScanUids(LAppDatabaseAccount& db, LImapConnection& imap,
                                                         const std::vector<uint32_t>& uids, Scan& scan) {
    std::vector<uint32_t> stored = LMailSyncStoredUids(db, accountId, scan.mailboxId, scan.validity, scan.mark);
    std::map<uint32_t, int>& failures = storeFailures_[scan.mailboxId];
    std::set<uint32_t> failedBefore;
    for (const auto& f : failures) failedBefore.insert(f.first);
    // The batches are fetched and parsed on a thread of their own while this
    // one stores the batch before; each batch is fetched before its
    // transaction begins, so no write lock is held while a slow server
    // trickles the messages in (every other writer of the store, the web
    // pages and the MCP endpoint, would wait on it).
    Prefetch prefetch(*this, imap, uids, stored, scan, std::move(failedBefore));
    prefetch.Start();
    bool gap = false;
    int consecutive = 0;
    int32_t scanned = 0;
    for (bool last = false; !last;) {
        FetchedBatch fetched;
        if (!prefetch.Next(fetched)) {
            if (IsStopRequested()) return MailboxEnd::Stopped;
            SetLastError(u"Unable to download message data.");
            return MailboxEnd::Failed;
        }
        last = fetched.last;
        MailboxEnd end = fetched.end;
        std::vector<Fetched>& items = fetched.items;
        LEmailStoreBatch batch(db);
        if (!batch.Began()) {
            SetLastError(u"Unable to save downloaded messages to the local database.");
            return MailboxEnd::Failed;
        }
        std::vector<LString> arrivals;
        uint32_t batchMark = scan.mark;
        bool batchGap = gap, batchIncomplete = false;
        int32_t batchDownloaded = 0;
        for (Fetched& item : items) {
            // A stop ends the walk where it is, stored or not: what was
            // fetched and not stored is fetched again by the next pass.
            if (IsStopRequested()) {
                end = MailboxEnd::Stopped;
                break;
            }
            uint32_t uid = item.uid;
            if (item.kind == Fetched::NotFetched)
                item.kind = CountFailure(failures, uid, scan.name, "downloaded") ? Fetched::Passed : Fetched::Refused;
            // Stored in an earlier pass, or passed over for good.
            bool handled = item.kind == Fetched::Earlier || item.kind == Fetched::Passed;
            if (item.kind == Fetched::Refused) batchIncomplete = true;
            if (item.kind == Fetched::Download) {
                LString rowId;
                bool isNew = false;
                auto fault = gStoreFault.load();
                int rc = fault && fault(item.head.data(), item.head.size())
                             ? LEmailStoreFailed
                             : batch.Store(rowId, isNew, accountId, scan.mailboxId, uid, scan.validity, item.size,
                                           *item.message, item.hasFlags ? item.flags.c_str() : nullptr);
                if (rc == LEmailStoreOk) {
                    handled = true;
                    consecutive = 0;
                    batchDownloaded++;
                    failures.erase(uid);
                    if (isNew && uid >= scan.arrivalFrom) arrivals.push_back(std::move(rowId));
                } else {
                    consecutive++;
                    if (CountFailure(failures, uid, scan.name, "stored")) handled = true;
                    else batchIncomplete = true;
                    if (consecutive >= kMaxConsecutiveStoreFailures) {
                        LUTF8FromWide u(user);
                        LLogErrorF("Unable to store downloaded messages for account %s. Restarting the sync session.",
                                   u.text);
                        SetLastError(u"Unable to save downloaded messages to the local database.");
                        end = MailboxEnd::Failed;
                        break;
                    }
                    // The batch could not be written again without the
                    // message: what it held is lost with it, and the messages
                    // after it are not charged with its failure; all are
                    // fetched again by the next pass.
                    if (!batch.Began()) {
                        batchIncomplete = true;
                        break;
                    }
                }
            }
            if (!handled) batchGap = true;
            else if (!batchGap) batchMark = uid;
            scanned = item.scanned;
            SetProgress(scan.done, scan.total, scanned, scan.tokens);
        }
        // The mark goes into the same transaction as the rows it covers, and
        // never without one (a batch that could not be written again).
        bool marked = batch.Began() &&
                      (batchMark == scan.mark || LMailSyncMarkSet(db, scan.mailboxId, scan.validity, batchMark));
        if (marked && batch.Commit()) {
            scan.mark = batchMark;
            gap = batchGap;
            scan.incomplete = scan.incomplete || batchIncomplete;
            scan.downloaded += batchDownloaded;
            // After the commit, and only for arrivals: the hooks may answer
            // or forward mail, which must never happen twice or for old mail.
            auto observer = gArrivalObserver.load();
            for (const LString& row : arrivals) {
                if (observer) observer(row.c_str());
                LAutoresponderOnNewMessage(db, row.c_str());
                LRulesApply(db, row.c_str());
            }
            if (batchDownloaded > 0) LEmailBackupWake();
        } else {
            LUTF8FromWide u(user);
            LLogErrorF("Unable to commit downloaded messages of mailbox %s for account %s", scan.name, u.text);
            scan.incomplete = true;
            gap = true;
            if (++consecutive >= kMaxConsecutiveStoreFailures && end == MailboxEnd::Done) end = MailboxEnd::Failed;
        }
        if (end == MailboxEnd::Stopped) {
            LWideFromUTF8 wname(scan.name);
            LActivityLogEmail(u"Stopped mailbox %s for account %s after scanning %u messages and downloading %d "
                              u"messages",
                              wname.text, user, static_cast<uint32_t>(scanned), scan.downloaded);
        }
        if (end != MailboxEnd::Done) return end;
    }
    return MailboxEnd::Done;
}
