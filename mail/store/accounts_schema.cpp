#include <iterator>
#include <string>

#include "foundation/log.h"
#include "mail/store/accounts.h"
#include "mail/store/mail_schema.h"

namespace {

constexpr const char16_t* kAccountsCreate =
    u"CREATE TABLE %s.EMAILACCOUNTS (ID VARCHAR(12) PRIMARY KEY, EMAIL VARCHAR(260) NOT NULL, INCOMINGSERVER "
    u"VARCHAR(260), OUTGOINGSERVER VARCHAR(260), REQUIRE_SMTP_HOST_MATCH INTEGER DEFAULT 0, DEFAULT_SENT_MAILBOX "
    u"VARCHAR(260), PASSWORD TEXT, DELETED VARCHAR(20), UPDATED VARCHAR(20), LAST_SYNC VARCHAR(20), "
    u"LAST_MAILBOXLIST_REFRESH_UTC VARCHAR(20));";
constexpr const char16_t* kPasswordsCreate =
    u"CREATE TABLE %s.EMAILACCOUNTSPASSWORDS (ID VARCHAR(12) PRIMARY KEY, PASSWORD TEXT NOT NULL);";

constexpr LEmailSchemaTable kTables[] = {
    {u"EMAILACCOUNTS", kAccountsCreate},
    {u"EMAILACCOUNTSPASSWORDS", kPasswordsCreate},
};
constexpr LEmailSchemaColumn kAccountUpgrades[] = {
    {u"INCOMINGSERVER", u"INCOMINGSERVER VARCHAR(260);"},
    {u"OUTGOINGSERVER", u"OUTGOINGSERVER VARCHAR(260);"},
    {u"REQUIRE_SMTP_HOST_MATCH", u"REQUIRE_SMTP_HOST_MATCH INTEGER DEFAULT 0;"},
    {u"DEFAULT_SENT_MAILBOX", u"DEFAULT_SENT_MAILBOX VARCHAR(260);"},
    {u"DELETED", u"DELETED VARCHAR(20);"},
    {u"UPDATED", u"UPDATED VARCHAR(20);"},
    {u"LAST_SYNC", u"LAST_SYNC VARCHAR(20);"},
    {u"LAST_MAILBOXLIST_REFRESH_UTC", u"LAST_MAILBOXLIST_REFRESH_UTC VARCHAR(20);"},
};

// The table that still holds the old per-mailbox refresh times: the mailbox
// table before its rebuild, or the leftover of a rebuild that an older
// release left half done (its rows are copied back only later, by the
// mailbox step).
const char16_t* OldRefreshTimeTable(LAppDatabaseAccount& db) {
    if (db.ColumnExists(u"EMAILMAILBOXES", LEmailMailboxesOldColumn)) return u"EMAILMAILBOXES";
    if (db.ColumnExists(LEmailMailboxesOldTable, LEmailMailboxesOldColumn)) return LEmailMailboxesOldTable;
    return nullptr;
}

}  // namespace

bool LEmailAccountsCreateSchema(LAppDatabaseAccount& db) {
    if (!LEmailSchemaEnsureTables(db, kTables, std::size(kTables)) ||
        !LEmailSchemaAddColumns(db, u"EMAILACCOUNTS", kAccountUpgrades, std::size(kAccountUpgrades)))
        return false;
    if (const char16_t* old = OldRefreshTimeTable(db)) {
        if (!db.ExecF(u"UPDATE %s.EMAILACCOUNTS SET LAST_MAILBOXLIST_REFRESH_UTC=(SELECT MAX(LAST_LIST_REFRESH_UTC) "
                      u"FROM %s.%s WHERE EMAILACCOUNTS_ID=EMAILACCOUNTS.ID) WHERE "
                      u"COALESCE(LAST_MAILBOXLIST_REFRESH_UTC, '')='';",
                      u"main", u"main", old))
            return LEmailSchemaFail(db, "Unable to carry the mailbox list refresh times over to EMAILACCOUNTS");
    }
    if (!db.ExecF(u"UPDATE %s.EMAILACCOUNTS SET LAST_MAILBOXLIST_REFRESH_UTC=LAST_SYNC WHERE "
                  u"COALESCE(LAST_MAILBOXLIST_REFRESH_UTC, '')='' AND COALESCE(LAST_SYNC, '')<>'';",
                  u"main"))
        return LEmailSchemaFail(db, "Unable to carry the last sync times over to EMAILACCOUNTS");
    LEmailAccountPasswordsMigrate(db);
    return true;
}

bool LEmailSchemaFail(LAppDatabaseAccount& db, const char* what) {
    char16_t error[260];
    db.GetLastErrorText(error);
    LLogErrorF("%s: %s", what, LToUtf8(error).c_str());
    return false;
}

bool LEmailSchemaEnsureTables(LAppDatabaseAccount& db, const LEmailSchemaTable* tables, size_t count) {
    for (size_t i = 0; i < count; ++i) db.EnsureTable(tables[i].name, tables[i].create);
    for (size_t i = 0; i < count; ++i) {
        if (db.TableExists(tables[i].name)) continue;
        LLogErrorF("The table %s could not be created; no mail worker starts", LToUtf8(tables[i].name).c_str());
        return false;
    }
    return true;
}

bool LEmailSchemaAddColumns(LAppDatabaseAccount& db, const char16_t* table, const LEmailSchemaColumn* columns,
                            size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (db.AddColumnIfMissing(u"main", table, columns[i].column, columns[i].definition)) continue;
        std::string what = "Unable to add the column " + LToUtf8(columns[i].column) + " to " + LToUtf8(table);
        return LEmailSchemaFail(db, what.c_str());
    }
    return true;
}
