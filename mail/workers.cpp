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

#include "mail/mail_services.h"

L_STAND_IN bool LAutoresponderOnNewMessage(LAppDatabaseAccount&, const char16_t*) { return false; }
L_STAND_IN bool LRulesApply(LAppDatabaseAccount&, const char16_t*) { return false; }
L_STAND_IN void LEmailBackupWake() {}
L_STAND_IN bool LMailSyncQueueServerMove(const char16_t*, const char16_t*, const char16_t*, const char16_t*, uint32_t,
                                         uint32_t, bool) {
    return false;
}
L_STAND_IN int LEmailQueueOutgoing(LAppDatabaseAccount&, const char16_t*, const char16_t*, const char16_t*,
                                   const char16_t*, const char16_t*) {
    return 2;
}
L_STAND_IN int LEmailQueueOutgoingOpen(const char16_t*, const char16_t*, const char16_t*, const char16_t*,
                                       const char16_t*) {
    return 2;
}
L_STAND_IN bool LEmailStoreDraft(LAppDatabaseAccount&, const char16_t*, const char16_t*, const char16_t*,
                                 const char16_t*, const char16_t*, const char16_t*, const char16_t*,
                                 const char16_t*, char16_t new_id[260]) {
    new_id[0] = 0;
    return false;
}
L_STAND_IN bool LRulesRunAction(const char16_t*, const char16_t*, const char16_t*, const char16_t*) { return false; }
L_STAND_IN bool LEmailBackupFindCloudFolder(LString&) { return false; }
