#include "foundation/database_handles.h"

#include <string>

namespace {

// Enough for an operation that opens a second accessor inside the first (a
// read-only one beside the read-write one, say); more would only hold
// descriptors.
constexpr int kKept = 2;

struct Kept {
    sqlite3* handle = nullptr;
    std::string path;
    bool read_only = false;
    LPlatformFileId file;
};

struct ThreadHandles {
    bool keeping = false;
    Kept kept[kKept];
    void CloseAll() {
        for (Kept& k : kept) {
            if (k.handle) sqlite3_close_v2(k.handle);
            k = Kept{};
        }
    }
};

ThreadHandles& Mine() {
    thread_local ThreadHandles handles;
    return handles;
}

bool Matches(const Kept& k, const LDatabaseHandleKey& key) {
    return k.handle && k.read_only == key.read_only && k.file == key.file && k.path == key.path;
}

// A handle is as good as new when nothing of the last operation is left on it.
bool Reset(sqlite3* handle) {
    if (sqlite3_next_stmt(handle, nullptr)) return false;
    if (!sqlite3_get_autocommit(handle)) sqlite3_exec(handle, "ROLLBACK;", nullptr, nullptr, nullptr);
    return sqlite3_get_autocommit(handle) != 0;
}

}  // namespace

LDatabaseHandleKeeper::LDatabaseHandleKeeper() : was_keeping_(Mine().keeping) { Mine().keeping = true; }

LDatabaseHandleKeeper::~LDatabaseHandleKeeper() {
    ThreadHandles& mine = Mine();
    mine.keeping = was_keeping_;
    if (!was_keeping_) mine.CloseAll();
}

sqlite3* LDatabaseHandleTake(const LDatabaseHandleKey& key) {
    for (Kept& k : Mine().kept) {
        if (!Matches(k, key)) continue;
        sqlite3* h = k.handle;
        k = Kept{};
        return h;
    }
    return nullptr;
}

void LDatabaseHandleGiveBack(sqlite3* handle, const LDatabaseHandleKey& key) {
    if (!handle) return;
    ThreadHandles& mine = Mine();
    if (!mine.keeping || !Reset(handle)) {
        sqlite3_close_v2(handle);
        return;
    }
    Kept* slot = &mine.kept[0];
    for (Kept& k : mine.kept) {
        if (!k.handle) {
            slot = &k;
            break;
        }
    }
    if (slot->handle) sqlite3_close_v2(slot->handle);
    slot->handle = handle;
    slot->path = key.path;
    slot->read_only = key.read_only;
    slot->file = key.file;
}
