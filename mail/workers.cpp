#include "mail/workers.h"

bool LEmailAccountsCreateSchema(LAppDatabaseAccount&) { return true; }
int LEmailStoreCreateSchema(LAppDatabaseAccount&) { return 0; }
int LRulesCreateSchema(LAppDatabaseAccount&) { return 0; }
int LAutorespondersCreateSchema(LAppDatabaseAccount&) { return 0; }

void LSendQueueStart() {}
void LSendQueueStop() {}
void LEmailBackupStart() {}
void LEmailBackupSignalStop() {}
void LEmailBackupStop() {}
void LMailSyncStart() {}
void LMailSyncSignalStop() {}
void LMailSyncShutdown() {}
void LEmailFtsBackfillStart() {}
void LEmailFtsBackfillSignalStop() {}
void LEmailFtsBackfillStop() {}
