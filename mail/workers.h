#pragma once
// Entry points through which the service engine creates the mail schema and
// starts and stops the mail workers. Each belongs to its own module; until a
// module exists its entry here does the least: no schema, no worker.
#include "foundation/database.h"

bool LEmailAccountsCreateSchema(LAppDatabaseAccount& db);
int LEmailStoreCreateSchema(LAppDatabaseAccount& db);
int LRulesCreateSchema(LAppDatabaseAccount& db);
int LAutorespondersCreateSchema(LAppDatabaseAccount& db);

void LSendQueueStart();
void LSendQueueStop();  // sets stop and queue events, joins, destroys
void LEmailBackupStart();
void LEmailBackupSignalStop();
void LEmailBackupStop();  // joins and destroys
void LMailSyncStart();
void LMailSyncSignalStop();
void LMailSyncShutdown();  // clears the started flag, stops and frees every worker
void LEmailFtsBackfillStart();
void LEmailFtsBackfillSignalStop();  // stop and wake events
void LEmailFtsBackfillStop();        // joins and destroys
