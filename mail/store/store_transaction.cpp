#include "mail/store/store_transaction.h"

LStoreTransaction::LStoreTransaction(LAppDatabaseAccount& db) : db_(db) {
    if (!db_.handle) return;
    savepoint_ = sqlite3_get_autocommit(db_.handle) == 0;
    began_ = db_.ExecA(savepoint_ ? "SAVEPOINT porlinex_store;" : "BEGIN IMMEDIATE;");
}

LStoreTransaction::~LStoreTransaction() {
    if (!began_) return;
    if (savepoint_) {
        db_.ExecA("ROLLBACK TO porlinex_store;");
        db_.ExecA("RELEASE porlinex_store;");
    } else {
        db_.ExecA("ROLLBACK;");
    }
}

bool LStoreTransaction::Commit() {
    if (!began_) return false;
    if (!db_.ExecA(savepoint_ ? "RELEASE porlinex_store;" : "COMMIT;")) return false;
    began_ = false;
    return true;
}
