#pragma once
// The engine's process-wide state and the helpers over its worker lists.
// The lists are guarded by the engine lock; a worker's own locks are never
// taken while it is held: callers raise a worker's in-use count under the
// lock and use the worker after releasing it.
#include <atomic>
#include <mutex>

#include "foundation/database.h"
#include "mail/sync/sync_worker.h"

struct LMailSyncEngineState {
    std::atomic<bool> started{false};
    std::mutex lock;
    EMLEmailAccGetter* accounts = nullptr;  // one per account
    EMLEmailAccGetter* onDemand = nullptr;  // one-shot workers
};
LMailSyncEngineState& LMailSyncEngine();

// Most workers that one call creates or waits on.
constexpr int LMailSyncMaxWorkersPerCall = 64;

// The live account's user, server and password; false when the row is
// missing, the password does not load or the server is empty.
bool LMailSyncGetAccount(LAppDatabaseAccount& db, const char16_t* accountId, char16_t email[260],
                         char16_t server[260], char16_t password[260]);
// Under the engine lock: the first worker of the list for the account (and,
// with mode 1 or 2, of that mode and target).
EMLEmailAccGetter* LMailSyncFindWorker(EMLEmailAccGetter* head, const char16_t* accountId);
// Under the engine lock: finished one-shot workers nobody holds leave the
// list, marked retired, onto the stop list.
void LMailSyncReapFinished(EMLEmailAccGetter*& stopList);
// Signals every worker of the list, waits until nobody holds it, joins and
// frees it.
void LMailSyncStopWorkers(EMLEmailAccGetter* list);
// Waits are clamped to 1000..120000 ms.
uint32_t LMailSyncClampTimeout(uint32_t timeoutMs);
