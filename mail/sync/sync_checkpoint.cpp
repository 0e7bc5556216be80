#include "mail/sync/sync_checkpoint.h"

#include "foundation/database.h"

bool LMailSyncCheckpointer::Request() {
    if (!IsRunning()) return false;
    int idle = Idle;
    if (!state_.compare_exchange_strong(idle, Running)) return false;
    asked_.Set();
    return true;
}

int LMailSyncCheckpointer::TakeState() {
    int ended = Ended;
    if (state_.compare_exchange_strong(ended, Idle)) return Ended;
    return state_.load();
}

void LMailSyncCheckpointer::Run() {
    LAppDatabaseAccount db(false);
    while (WaitHandle(asked_.Handle(), LInfinite) == LWaitDone) {
        if (db.handle) sqlite3_wal_checkpoint_v2(db.handle, "main", SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
        state_.store(Ended);
    }
}
