#include <algorithm>
#include <chrono>
#include <vector>

#include "foundation/utf8.h"
#include "mail/sync/sync_engine.h"
#include "mail/sync/sync_registry.h"

namespace {

using Clock = std::chrono::steady_clock;

// Polls every 100 ms until every held worker has completed its pass
// (true), or one was retired (stopped with its account or the engine), the
// caller stops or the time is spent (false). The wait ends early when the
// first worker still owed a pass ends one, so a short pass is seen at once.
bool PollUntil(LTaskProgress& progress, uint32_t timeoutMs, EMLEmailAccGetter* const* workers,
               const uint32_t* passes, size_t count) {
    Clock::time_point end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        EMLEmailAccGetter* pending = nullptr;
        for (size_t i = 0; i < count; i++) {
            if (workers[i]->retired.load()) return false;
            if (!pending && !workers[i]->RoundDone(passes[i])) pending = workers[i];
        }
        if (!pending) return true;
        if (Clock::now() >= end) return false;
        Clock::time_point before = Clock::now();
        uint32_t r = progress.WaitHandle(pending->passEnded.Handle(), 100);
        if (r == LWaitStopped) return false;
        // The event still tells of the pass before the one asked for until
        // the worker begins it: no faster than a poll every 5 ms meanwhile.
        if (r == LWaitDone && Clock::now() - before < std::chrono::milliseconds(5) &&
            progress.WaitStop(5) == LWaitStopped)
            return false;
    }
}

struct OnDemand {
    EMLEmailAccGetter* worker = nullptr;  // held
    bool created = false;
};

// Finds or creates the one-shot worker of the mode for the account (and
// mailbox) and holds it; reaped workers go onto stopList.
OnDemand EngageOnDemand(int32_t mode, const char16_t* accountId, const char16_t* email, const char16_t* server,
                        const char16_t* password, const char16_t* mailboxId, const char16_t* mailboxName,
                        EMLEmailAccGetter*& stopList) {
    LMailSyncEngineState& e = LMailSyncEngine();
    std::lock_guard<std::mutex> g(e.lock);
    LMailSyncReapFinished(stopList);
    OnDemand d;
    for (EMLEmailAccGetter* w = e.onDemand; w; w = w->next) {
        if (w->mode.load() != mode || w->finished.load() || std::u16string_view(w->accountId) != accountId) continue;
        if (mode == LMailSyncModeMailbox && std::u16string_view(w->targetMailboxId) != mailboxId) continue;
        w->inUse.fetch_add(1);
        d.worker = w;
        return d;
    }
    auto* w = new EMLEmailAccGetter();
    w->SetAccount(accountId, server, email, password);
    w->mode.store(mode);
    if (mode == LMailSyncModeMailbox) {
        LCopyField(w->targetMailboxId, mailboxId);
        LCopyField(w->targetMailboxName, mailboxName);
    }
    w->inUse.store(1);
    w->next = e.onDemand;
    e.onDemand = w;
    d.worker = w;
    d.created = true;
    return d;
}

// Runs the caller's wait on a held one-shot worker and lets it go.
bool WaitOnDemand(LTaskProgress& progress, OnDemand d, uint32_t timeoutMs, int32_t& woken,
                  EMLEmailAccGetter* stopList) {
    LMailSyncStopWorkers(stopList);
    bool ok = false;
    if (!d.worker->retired.load()) {
        // The request is made before a new worker starts, so that its one
        // pass is sure to answer it.
        bool needWake = false;
        uint32_t pass = d.worker->RequestRound(needWake);
        if (d.created) d.worker->Start(LThreadPriorityNormal);
        else if (needWake) {
            d.worker->wake.Set();
            woken++;
        }
        ok = PollUntil(progress, LMailSyncClampTimeout(timeoutMs), &d.worker, &pass, 1);
    }
    d.worker->inUse.fetch_sub(1);
    return ok;
}

}  // namespace

uint32_t LMailSyncClampTimeout(uint32_t timeoutMs) { return std::clamp<uint32_t>(timeoutMs, 1000, 120000); }

bool LMailSyncRefreshListAndWait(LTaskProgress& progress, const char16_t* accountId, uint32_t timeoutMs,
                                 int32_t& woken, bool& accountFound, bool& ok) {
    woken = 0;
    accountFound = ok = false;
    char16_t email[260], server[260], password[260];
    {
        LAppDatabaseAccount db(false);
        if (!LMailSyncGetAccount(db, accountId, email, server, password)) return false;
    }
    accountFound = true;
    EMLEmailAccGetter* stopList = nullptr;
    OnDemand d = EngageOnDemand(LMailSyncModeList, accountId, email, server, password, u"", u"", stopList);
    EMLEmailAccGetter* w = d.worker;
    w->inUse.fetch_add(1);  // kept for reading the error below
    bool done = WaitOnDemand(progress, d, timeoutMs, woken, stopList);
    LMailSyncStatus s;
    w->GetStatus(s);
    w->inUse.fetch_sub(1);
    ok = done && s.lastError[0] == 0;
    return done;
}

bool LMailSyncRefreshMailboxList(const char16_t* accountId) {
    if (LMailSyncRequestListRefresh(accountId)) return true;
    char16_t email[260], server[260], password[260];
    {
        LAppDatabaseAccount db(false);
        if (!LMailSyncGetAccount(db, accountId, email, server, password)) return false;
    }
    EMLEmailAccGetter* stopList = nullptr;
    OnDemand d = EngageOnDemand(LMailSyncModeList, accountId, email, server, password, u"", u"", stopList);
    LMailSyncStopWorkers(stopList);
    if (d.created && !d.worker->retired.load()) d.worker->Start(LThreadPriorityNormal);
    bool existed = !d.created;
    d.worker->inUse.fetch_sub(1);
    return existed || !d.worker->retired.load();
}

bool LMailSyncMailboxAndWait(LTaskProgress& progress, const char16_t* accountId, const char16_t* mailboxId,
                             uint32_t timeoutMs, bool& engaged, int32_t& woken, bool& accountFound,
                             bool& mailboxFound) {
    engaged = false;
    woken = 0;
    accountFound = mailboxFound = false;
    char16_t owner[260], name[260], email[260], server[260], password[260];
    {
        LAppDatabaseAccount db(false);
        if (!db.handle || !mailboxId || !*mailboxId) return false;
        LAppDatabaseCursor c;
        c.QueryF(db, u"SELECT EMAILACCOUNTS_ID, IMAP_NAME FROM %s.EMAILMAILBOXES WHERE ID='%Q' AND DELETED IS NULL LIMIT 1;",
                 u"main", mailboxId);
        if (!c.HasRow()) return false;
        c.GetColumnText(0, u"", owner);
        c.GetColumnText(1, u"", name);
        if (!owner[0] || !name[0] || (accountId && *accountId && std::u16string_view(owner) != accountId))
            return false;
        mailboxFound = true;
        if (!LMailSyncGetAccount(db, owner, email, server, password)) return false;
        accountFound = true;
    }
    EMLEmailAccGetter* stopList = nullptr;
    OnDemand d = EngageOnDemand(LMailSyncModeMailbox, owner, email, server, password, mailboxId, name, stopList);
    engaged = true;
    return WaitOnDemand(progress, d, timeoutMs, woken, stopList);
}

bool LMailSyncWakeAndWait(LTaskProgress& progress, const char16_t* accountId, const char16_t* mailboxId,
                          uint32_t timeoutMs, int32_t& workerCount, int32_t& woken, bool& accountFound,
                          bool& targetFound) {
    workerCount = woken = 0;
    accountFound = targetFound = false;
    timeoutMs = LMailSyncClampTimeout(timeoutMs);
    if (mailboxId && *mailboxId) {
        bool engaged = false;
        bool ok = LMailSyncMailboxAndWait(progress, accountId, mailboxId, timeoutMs, engaged, woken, accountFound,
                                          targetFound);
        workerCount = engaged ? 1 : 0;
        return ok;
    }
    targetFound = true;
    std::vector<EMLEmailAccGetter*> held;
    {
        LMailSyncEngineState& e = LMailSyncEngine();
        std::lock_guard<std::mutex> g(e.lock);
        for (EMLEmailAccGetter* w = e.accounts; w && held.size() < size_t(LMailSyncMaxWorkersPerCall); w = w->next) {
            if (accountId && *accountId && std::u16string_view(w->accountId) != accountId) continue;
            w->inUse.fetch_add(1);
            held.push_back(w);
        }
    }
    accountFound = !held.empty();
    workerCount = static_cast<int32_t>(held.size());
    if (held.empty()) return !(accountId && *accountId);
    std::vector<uint32_t> passes;
    for (EMLEmailAccGetter* w : held) {
        bool needWake = false;
        passes.push_back(w->RequestRound(needWake));
        if (needWake) {
            w->wake.Set();
            woken++;
        }
    }
    bool ok = PollUntil(progress, timeoutMs, held.data(), passes.data(), held.size());
    for (EMLEmailAccGetter* w : held) w->inUse.fetch_sub(1);
    return ok;
}
