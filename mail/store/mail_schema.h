#pragma once
// The mail tables: accounts and their passwords, mailboxes, messages and
// their companions, created and upgraded at every start (the engine calls
// the steps of mail/workers.h in order and starts no mail worker unless all
// of them succeed).
#include "foundation/database.h"
#include "mail/workers.h"

int LEmailMailboxesCreateSchema(LAppDatabaseAccount& db);
// Rebuilds EMAILMAILBOXES without the old column LAST_LIST_REFRESH_UTC, in
// one transaction; first copies back the rows of a leftover
// EMAILMAILBOXES_LAST_LIST_REFRESH_OLD that an interrupted rebuild of an
// older release left behind.
bool LEmailMailboxesDropListRefreshColumn(LAppDatabaseAccount& db);

// Test hook: called inside the rebuild between the rename and the copy.
void LEmailMailboxesSetRebuildHookForTests(void (*hook)());

// The old and the leftover mailbox tables of earlier releases.
constexpr const char16_t* LEmailMailboxesOldTable = u"EMAILMAILBOXES_LAST_LIST_REFRESH_OLD";
constexpr const char16_t* LEmailMailboxesOldColumn = u"LAST_LIST_REFRESH_UTC";

// Helpers of every mail schema step (accounts_schema.cpp).
struct LEmailSchemaTable {
    const char16_t* name;
    const char16_t* create;  // "%s" takes the schema name
};
struct LEmailSchemaColumn {
    const char16_t* column;
    const char16_t* definition;  // the column text of the add-column upgrade
};
// Logs "<what>: <the database's last error>" as an error; false.
bool LEmailSchemaFail(LAppDatabaseAccount& db, const char* what);
// Creates the missing tables; true when afterwards every one exists, else
// the first missing one is logged: no worker may start on a half-made store.
bool LEmailSchemaEnsureTables(LAppDatabaseAccount& db, const LEmailSchemaTable* tables, size_t count);
// Adds the missing columns in order; the first failure is logged and ends it.
bool LEmailSchemaAddColumns(LAppDatabaseAccount& db, const char16_t* table, const LEmailSchemaColumn* columns,
                            size_t count);
