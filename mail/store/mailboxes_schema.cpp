#include <atomic>
#include <iterator>

#include "foundation/log.h"
#include "mail/store/mail_schema.h"
#include "mail/store/store_transaction.h"

namespace {

constexpr const char16_t* kMailboxesCreate =
    u"CREATE TABLE %s.EMAILMAILBOXES (ID VARCHAR(12) PRIMARY KEY, EMAILACCOUNTS_ID VARCHAR(12) NOT NULL, IMAP_NAME "
    u"VARCHAR(512) NOT NULL, IMAP_DELIMITER VARCHAR(8), IMAP_UIDVALIDITY INTEGER NOT NULL DEFAULT 0, "
    u"IMAP_HIGHESTMODSEQ INTEGER NOT NULL DEFAULT 0, IMAP_UIDNEXT INTEGER NOT NULL DEFAULT 0, IMAP_FLAGS "
    u"VARCHAR(512), LAST_SYNC_UTC VARCHAR(20), DELETED VARCHAR(20), UNIQUE (EMAILACCOUNTS_ID, IMAP_NAME));";

constexpr LEmailSchemaTable kTable = {u"EMAILMAILBOXES", kMailboxesCreate};
constexpr LEmailSchemaColumn kMailboxUpgrades[] = {
    {u"IMAP_DELIMITER", u"IMAP_DELIMITER VARCHAR(8);"},
    {u"DELETED", u"DELETED VARCHAR(20);"},
    {u"IMAP_UIDVALIDITY", u"IMAP_UIDVALIDITY INTEGER NOT NULL DEFAULT 0;"},
    {u"IMAP_HIGHESTMODSEQ", u"IMAP_HIGHESTMODSEQ INTEGER NOT NULL DEFAULT 0;"},
    {u"IMAP_UIDNEXT", u"IMAP_UIDNEXT INTEGER NOT NULL DEFAULT 0;"},
    {u"IMAP_FLAGS", u"IMAP_FLAGS VARCHAR(512);"},
    {u"LAST_SYNC_UTC", u"LAST_SYNC_UTC VARCHAR(20);"},
};
// The rebuild's own order of the same columns.
constexpr LEmailSchemaColumn kRebuildUpgrades[] = {
    kMailboxUpgrades[0], kMailboxUpgrades[2], kMailboxUpgrades[3], kMailboxUpgrades[4],
    kMailboxUpgrades[5], kMailboxUpgrades[6], kMailboxUpgrades[1],
};

// Every column of the new table, in the order of the copy statement.
constexpr const char16_t* kColumns[] = {u"ID",         u"EMAILACCOUNTS_ID", u"IMAP_NAME",     u"IMAP_DELIMITER",
                                        u"IMAP_UIDVALIDITY", u"IMAP_HIGHESTMODSEQ", u"IMAP_UIDNEXT", u"IMAP_FLAGS",
                                        u"LAST_SYNC_UTC",    u"DELETED"};

std::atomic<void (*)()> g_rebuild_hook{nullptr};

// An older release rebuilt the table outside a transaction: a crash after its
// rename left every mailbox in the old table. Its rows come back (those whose
// ID the new table lacks) before it may go; a row that cannot come back keeps
// the old table in place.
bool RestoreLeftover(LAppDatabaseAccount& db) {
    if (!db.TableExists(LEmailMailboxesOldTable)) return true;
    LStoreTransaction tx(db);
    if (!tx.Began()) return LEmailSchemaFail(db, "Unable to restore the mailboxes of an interrupted rebuild");
    LString columns;
    for (const char16_t* c : kColumns) {
        if (!db.ColumnExists(LEmailMailboxesOldTable, c)) continue;
        if (!columns.IsEmpty()) columns.Append(u", ");
        columns.Append(c);
    }
    if (!db.ExecF(u"INSERT OR IGNORE INTO %s.EMAILMAILBOXES (%s) SELECT %s FROM %s.%s;", u"main", columns.c_str(),
                  columns.c_str(), u"main", LEmailMailboxesOldTable))
        return LEmailSchemaFail(db, "Unable to restore the mailboxes of an interrupted rebuild");
    int64_t restored = sqlite3_changes(db.handle);
    int64_t left = -1;
    LString q;
    q.Format(u"SELECT COUNT(*) FROM %s.%s WHERE ID NOT IN (SELECT ID FROM %s.EMAILMAILBOXES);", u"main",
             LEmailMailboxesOldTable, u"main");
    if (!db.QueryInt64(q.c_str(), &left)) return LEmailSchemaFail(db, "Unable to compare the restored mailboxes");
    if (left != 0) {
        LLogErrorF("%lld mailbox rows of %s clash with rows of EMAILMAILBOXES; the old table is kept",
                   static_cast<long long>(left), LToUtf8(LEmailMailboxesOldTable).c_str());
        return tx.Commit();
    }
    if (!db.ExecF(u"DROP TABLE %s.%s;", u"main", LEmailMailboxesOldTable))
        return LEmailSchemaFail(db, "Unable to drop the restored old mailbox table");
    if (!tx.Commit()) return LEmailSchemaFail(db, "Unable to restore the mailboxes of an interrupted rebuild");
    LLogInfoF("Restored %lld mailbox rows left by an interrupted rebuild", static_cast<long long>(restored));
    return true;
}

}  // namespace

void LEmailMailboxesSetRebuildHookForTests(void (*hook)()) { g_rebuild_hook = hook; }

bool LEmailMailboxesDropListRefreshColumn(LAppDatabaseAccount& db) {
    if (!RestoreLeftover(db)) return false;
    if (!db.ColumnExists(u"EMAILMAILBOXES", LEmailMailboxesOldColumn)) return true;
    if (db.TableExists(LEmailMailboxesOldTable)) {
        LLog("The mailbox table cannot be rebuilt while an old copy of it is kept", LLogError);
        return false;
    }
    // One transaction: a crash anywhere inside leaves the table as it was.
    LStoreTransaction tx(db);
    if (!tx.Began()) return LEmailSchemaFail(db, "Unable to rebuild EMAILMAILBOXES");
    if (!LEmailSchemaAddColumns(db, u"EMAILMAILBOXES", kRebuildUpgrades, std::size(kRebuildUpgrades))) return false;
    if (!db.ExecF(u"ALTER TABLE %s.EMAILMAILBOXES RENAME TO EMAILMAILBOXES_LAST_LIST_REFRESH_OLD;", u"main"))
        return LEmailSchemaFail(db, "Unable to rebuild EMAILMAILBOXES");
    if (auto hook = g_rebuild_hook.load()) hook();
    if (!db.ExecF(kMailboxesCreate, u"main") ||
        !db.ExecF(u"INSERT INTO %s.EMAILMAILBOXES (ID, EMAILACCOUNTS_ID, IMAP_NAME, IMAP_DELIMITER, IMAP_UIDVALIDITY, "
                  u"IMAP_HIGHESTMODSEQ, IMAP_UIDNEXT, IMAP_FLAGS, LAST_SYNC_UTC, DELETED) SELECT ID, EMAILACCOUNTS_ID, "
                  u"IMAP_NAME, IMAP_DELIMITER, IMAP_UIDVALIDITY, IMAP_HIGHESTMODSEQ, IMAP_UIDNEXT, IMAP_FLAGS, "
                  u"LAST_SYNC_UTC, DELETED FROM %s.EMAILMAILBOXES_LAST_LIST_REFRESH_OLD;",
                  u"main", u"main") ||
        !db.ExecF(u"DROP TABLE %s.EMAILMAILBOXES_LAST_LIST_REFRESH_OLD;", u"main"))
        return LEmailSchemaFail(db, "Unable to rebuild EMAILMAILBOXES");
    if (!tx.Commit()) return LEmailSchemaFail(db, "Unable to rebuild EMAILMAILBOXES");
    LLog("Rebuilt EMAILMAILBOXES without LAST_LIST_REFRESH_UTC", LLogInfo);
    return true;
}

int LEmailMailboxesCreateSchema(LAppDatabaseAccount& db) {
    if (!LEmailSchemaEnsureTables(db, &kTable, 1) ||
        !LEmailSchemaAddColumns(db, u"EMAILMAILBOXES", kMailboxUpgrades, std::size(kMailboxUpgrades)))
        return 2;
    if (!LEmailMailboxesDropListRefreshColumn(db)) return 2;
    if (!db.ExecF(u"CREATE INDEX IF NOT EXISTS %s.IDX_EMAILMAILBOXES_ACCOUNT_IMAP_NAME ON EMAILMAILBOXES "
                  u"(EMAILACCOUNTS_ID, IMAP_NAME);",
                  u"main"))
        LEmailSchemaFail(db, "Unable to create IDX_EMAILMAILBOXES_ACCOUNT_IMAP_NAME");
    return 0;
}
