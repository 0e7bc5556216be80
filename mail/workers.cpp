#include "mail/workers.h"

// Weak: the module that implements a worker or a schema step defines it
// strongly and wins; until then the engine starts nothing for it.
#define L_STAND_IN __attribute__((weak))

L_STAND_IN void LSendQueueStart() {}
L_STAND_IN void LSendQueueStop() {}
L_STAND_IN void LEmailBackupStart() {}
L_STAND_IN void LEmailBackupSignalStop() {}
L_STAND_IN void LEmailBackupStop() {}
L_STAND_IN void LMailSyncStart() {}
L_STAND_IN void LMailSyncSignalStop() {}
L_STAND_IN void LMailSyncShutdown() {}
