#include <strings.h>

#include <ctime>
#include <thread>

#include "mail/mail_services.h"
#include "mail/store/accounts.h"
#include "mail/sync/sync_engine.h"
#include "mail/sync/sync_registry.h"
#include "web/http/db_table.h"

LMailSyncEngineState& LMailSyncEngine() {
    static LMailSyncEngineState state;
    return state;
}

bool LMailSyncIsStarted() { return LMailSyncEngine().started.load(); }

bool LMailSyncGetAccount(LAppDatabaseAccount& db, const char16_t* accountId, char16_t email[260],
                         char16_t server[260], char16_t password[260]) {
    email[0] = server[0] = password[0] = 0;
    if (!accountId || !*accountId || !db.handle) return false;
    LAppDatabaseCursor c;
    c.QueryF(db, u"SELECT EMAIL, INCOMINGSERVER FROM EMAILACCOUNTS WHERE ID='%Q' AND DELETED IS NULL;", accountId);
    if (!c.HasRow()) return false;
    c.GetColumnText(0, u"", email);
    c.GetColumnText(1, u"", server);
    return LEmailAccountPasswordGet(db, accountId, password) && server[0] != 0;
}

EMLEmailAccGetter* LMailSyncFindWorker(EMLEmailAccGetter* head, const char16_t* accountId) {
    std::u16string_view id(accountId ? accountId : u"");
    for (EMLEmailAccGetter* w = head; w; w = w->next)
        if (id == w->accountId) return w;
    return nullptr;
}

void LMailSyncReapFinished(EMLEmailAccGetter*& stopList) {
    EMLEmailAccGetter** link = &LMailSyncEngine().onDemand;
    while (*link) {
        EMLEmailAccGetter* w = *link;
        if (w->finished.load() && w->inUse.load() <= 0) {
            *link = w->next;
            w->retired.store(1);
            w->next = stopList;
            stopList = w;
        } else {
            link = &w->next;
        }
    }
}

void LMailSyncStopWorkers(EMLEmailAccGetter* list) {
    for (EMLEmailAccGetter* w = list; w; w = w->next) w->SignalStop();
    while (list) {
        EMLEmailAccGetter* w = list;
        list = w->next;
        while (w->inUse.load() > 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        delete w;  // joins the thread
    }
}

namespace {

// Creates the workers of the live accounts that have none (at most 64),
// each held once so that nobody frees it before it is started.
EMLEmailAccGetter* AddMissingWorkers(LAppDatabaseAccount& db) {
    EMLEmailAccGetter* added = nullptr;
    LMailSyncEngineState& e = LMailSyncEngine();
    LAppDatabaseCursor c;
    c.Query(db, u"SELECT ID, EMAIL, INCOMINGSERVER FROM EMAILACCOUNTS WHERE DELETED IS NULL;");
    int count = 0;
    for (; c.HasRow() && count < LMailSyncMaxWorkersPerCall; c.Step()) {
        char16_t id[260], email[260], server[260], password[260];
        c.GetColumnText(0, u"", id);
        c.GetColumnText(1, u"", email);
        c.GetColumnText(2, u"", server);
        if (!id[0] || !server[0] || LMailSyncFindWorker(e.accounts, id)) continue;
        if (!LEmailAccountPasswordGet(db, id, password)) continue;
        auto* w = new EMLEmailAccGetter();
        w->SetAccount(id, server, email, password);
        w->inUse.store(1);
        w->next = e.accounts;
        e.accounts = w;
        w->startNext = added;
        added = w;
        count++;
    }
    return added;
}

void StartAdded(EMLEmailAccGetter* added) {
    for (EMLEmailAccGetter* w = added; w; w = w->startNext) {
        if (!w->retired.load()) w->Start(LThreadPriorityNormal);
        w->inUse.fetch_sub(1);
    }
}

}  // namespace

void LMailSyncStart() {
    LMailSyncEngineState& e = LMailSyncEngine();
    if (e.started.load()) return;
    LAppDatabaseAccount db(false);
    EMLEmailAccGetter* added = nullptr;
    if (db.handle) {
        std::lock_guard<std::mutex> g(e.lock);
        added = AddMissingWorkers(db);
    }
    StartAdded(added);
    e.started.store(true);
    // An account added or edited through the table routes (or given its
    // password) mirrors at once, without a resync call.
    LWebDbTableSetWriteObserver([](const char* table) {
        if (table && strcasecmp(table, "EMAILACCOUNTS") == 0) LMailSyncResyncAll();
    });
}

void LMailSyncSignalStop() {
    LMailSyncEngineState& e = LMailSyncEngine();
    std::lock_guard<std::mutex> g(e.lock);
    for (EMLEmailAccGetter* w = e.accounts; w; w = w->next) w->SignalStop();
    for (EMLEmailAccGetter* w = e.onDemand; w; w = w->next) w->SignalStop();
}

void LMailSyncShutdown() {
    LWebDbTableSetWriteObserver(nullptr);
    LMailSyncSignalStop();
    LMailSyncEngineState& e = LMailSyncEngine();
    e.started.store(false);
    EMLEmailAccGetter* all = nullptr;
    {
        std::lock_guard<std::mutex> g(e.lock);
        for (EMLEmailAccGetter** list : {&e.accounts, &e.onDemand}) {
            while (*list) {
                EMLEmailAccGetter* w = *list;
                *list = w->next;
                w->retired.store(1);
                w->next = all;
                all = w;
            }
        }
    }
    LMailSyncStopWorkers(all);
}

void LMailSyncResyncAll() {
    LMailSyncEngineState& e = LMailSyncEngine();
    if (!e.started.load()) return;
    LAppDatabaseAccount db(false);
    if (!db.handle) return;
    EMLEmailAccGetter* stopList = nullptr;
    EMLEmailAccGetter* added = nullptr;
    {
        std::lock_guard<std::mutex> g(e.lock);
        LMailSyncReapFinished(stopList);
        EMLEmailAccGetter** link = &e.accounts;
        while (*link) {
            EMLEmailAccGetter* w = *link;
            char16_t email[260], server[260], password[260];
            bool same = LMailSyncGetAccount(db, w->accountId, email, server, password) &&
                        std::u16string_view(email) == w->user && std::u16string_view(server) == w->server &&
                        std::u16string_view(password) == w->password;
            if (same) {
                w->wake.Set();
                link = &w->next;
            } else {
                *link = w->next;
                w->retired.store(1);
                w->next = stopList;
                stopList = w;
            }
        }
        added = AddMissingWorkers(db);
    }
    StartAdded(added);
    LMailSyncStopWorkers(stopList);
}

void LMailSyncStopAccount(const char16_t* accountId) {
    LMailSyncEngineState& e = LMailSyncEngine();
    EMLEmailAccGetter* stopList = nullptr;
    {
        std::lock_guard<std::mutex> g(e.lock);
        for (EMLEmailAccGetter** list : {&e.onDemand, &e.accounts}) {
            EMLEmailAccGetter** link = list;
            while (*link) {
                EMLEmailAccGetter* w = *link;
                if (std::u16string_view(w->accountId) == std::u16string_view(accountId ? accountId : u"")) {
                    *link = w->next;
                    w->retired.store(1);
                    w->next = stopList;
                    stopList = w;
                } else {
                    link = &w->next;
                }
            }
        }
    }
    LMailSyncStopWorkers(stopList);
}

namespace {

// The account worker, held (in-use raised) for the caller; null when none.
EMLEmailAccGetter* HoldAccountWorker(const char16_t* accountId) {
    LMailSyncEngineState& e = LMailSyncEngine();
    std::lock_guard<std::mutex> g(e.lock);
    EMLEmailAccGetter* w = LMailSyncFindWorker(e.accounts, accountId);
    if (w) w->inUse.fetch_add(1);
    return w;
}

}  // namespace

bool LMailSyncWakeAccount(const char16_t* accountId) {
    EMLEmailAccGetter* w = HoldAccountWorker(accountId);
    if (!w) return false;
    w->wake.Set();
    w->inUse.fetch_sub(1);
    return true;
}

bool LMailSyncQueueServerMove(const char16_t* accountId, const char16_t* messageId, const char16_t* sourceMailboxId,
                              const char16_t* targetMailboxId, uint32_t uid, uint32_t uidValidity, bool isDelete) {
    if (!LMailSyncIsStarted()) return false;
    EMLEmailAccGetter* w = HoldAccountWorker(accountId);
    if (!w) return false;
    bool queued = false;
    {
        LAppDatabaseAccount db(false);
        queued = db.handle &&
                 db.ExecF(u"INSERT INTO %s.EMAIL_SERVER_MOVES (ACCOUNT_ID, MESSAGE_ID, SOURCE_MAILBOX_ID, "
                          u"TARGET_MAILBOX_ID, UID, UIDVALIDITY, IS_DELETE, QUEUED_UTC) VALUES ('%Q', '%Q', '%Q', "
                          u"'%Q', %u, %u, %d, %lld);",
                          u"main", accountId, messageId, sourceMailboxId, targetMailboxId, uid, uidValidity,
                          isDelete ? 1 : 0, static_cast<int64_t>(time(nullptr)));
    }
    if (queued) w->wake.Set();
    w->inUse.fetch_sub(1);
    return queued;
}

bool LMailSyncRequestListRefresh(const char16_t* accountId) {
    EMLEmailAccGetter* w = HoldAccountWorker(accountId);
    if (!w) return false;
    LMailSyncStatus s;
    w->GetStatus(s);
    // A worker between passes (waiting, failed, or in IDLE, which a wake
    // ends) takes the refresh at once; one inside a pass is not disturbed.
    bool ok = s.state != LMailSyncUpdating && s.state != LMailSyncNotConfigured;
    if (ok) {
        LAppDatabaseAccount db(false);
        ok = db.handle && LEmailAccountClearListRefresh(db, accountId);
        if (ok) w->wake.Set();
    }
    w->inUse.fetch_sub(1);
    return ok;
}
