#pragma once
// Set-up database handles kept by a thread between its operations. Opening
// a connection makes SQLite read the schema and set the journal mode, which
// costs far more than the statements of a short operation. A thread that
// serves many short operations (a web connection) keeps what its accessors
// close and its next accessor on the same file takes it back; the keeping
// ends, and the handles close, with the keeper object. A handle never leaves
// its thread.
//
// Only such threads keep handles: in WAL mode every open connection holds a
// lock on the database file, and while any connection of the process holds
// one SQLite cannot close the descriptors of the others that close; with no
// thread keeping a handle for ever, they are all let go once the work ends.
#include <sqlite3.h>

#include "platform/file.h"

struct LDatabaseHandleKey {
    const char* path;  // UTF-8
    bool read_only;
    // The file the handle was opened on: a file deleted and made anew under
    // the same name is another database.
    LPlatformFileId file;
};

// While one lives, the calling thread keeps the handles its accessors
// close; its end closes them. Made and ended on the same thread.
class LDatabaseHandleKeeper {
public:
    LDatabaseHandleKeeper();
    ~LDatabaseHandleKeeper();
    LDatabaseHandleKeeper(const LDatabaseHandleKeeper&) = delete;
    LDatabaseHandleKeeper& operator=(const LDatabaseHandleKeeper&) = delete;

private:
    bool was_keeping_;
};

// A kept handle for the key, or null. The handle comes back as it was left:
// no statement pending, no transaction open.
sqlite3* LDatabaseHandleTake(const LDatabaseHandleKey& key);
// Keeps the handle for the thread, or closes it: when the thread keeps none,
// keeps enough already, or the handle cannot be made as good as new (a
// statement still pending, a transaction that would not roll back).
void LDatabaseHandleGiveBack(sqlite3* handle, const LDatabaseHandleKey& key);
