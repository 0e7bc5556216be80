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
        int log = 0, copied = 0;  // frames in the WAL, frames copied back
        if (db.handle &&
            sqlite3_wal_checkpoint_v2(db.handle, "main", SQLITE_CHECKPOINT_PASSIVE, &log, &copied) == SQLITE_OK &&
            copied > 0) {
            // Overtaken by the writer's new commits, SQLite leaves the pages
            // it copied unsynced (it syncs the database only once the whole
            // WAL is copied), and the writer's own checkpoint of the rest
            // would then wait for all of them to reach the disk. Flushed
            // here, beside the writer (after a whole copy this finds nothing
            // left to write).
            sqlite3_file* file = nullptr;
            if (sqlite3_file_control(db.handle, "main", SQLITE_FCNTL_FILE_POINTER, &file) == SQLITE_OK && file &&
                file->pMethods)
                file->pMethods->xSync(file, SQLITE_SYNC_NORMAL);
        }
        state_.store(Ended);
    }
}
