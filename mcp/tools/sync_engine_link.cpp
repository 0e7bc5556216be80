#include "mcp/tools/sync_engine_link.h"

#define L_STAND_IN __attribute__((weak))

L_STAND_IN bool LMailSyncIsStarted() { return false; }

L_STAND_IN bool LMailSyncRefreshListAndWait(LTaskProgress&, const char16_t*, uint32_t, int32_t& woken,
                                            bool& accountFound, bool& ok) {
    woken = 0;
    accountFound = false;
    ok = false;
    return false;
}

L_STAND_IN bool LMailSyncWakeAndWait(LTaskProgress&, const char16_t*, const char16_t*, uint32_t, int32_t& workerCount,
                                     int32_t& woken, bool& accountFound, bool& targetFound) {
    workerCount = 0;
    woken = 0;
    accountFound = false;
    targetFound = false;
    return false;
}
