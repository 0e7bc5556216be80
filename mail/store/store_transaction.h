#pragma once
// One write transaction on the caller's handle. Outside a transaction it is
// "BEGIN IMMEDIATE", so the write lock is taken before the first read and a
// busy writer is waited for instead of failing on the upgrade; inside one it
// is a savepoint, so a step may be part of a larger transaction of its caller.
// Whatever is not committed is rolled back when the object goes.
#include "foundation/database.h"

class LStoreTransaction {
public:
    explicit LStoreTransaction(LAppDatabaseAccount& db);
    ~LStoreTransaction();
    LStoreTransaction(const LStoreTransaction&) = delete;
    LStoreTransaction& operator=(const LStoreTransaction&) = delete;

    bool Began() const { return began_; }
    bool Commit();

private:
    LAppDatabaseAccount& db_;
    bool began_ = false;
    bool savepoint_ = false;
};
