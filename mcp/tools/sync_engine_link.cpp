#include "mcp/tools/sync_engine_link.h"

#define L_STAND_IN __attribute__((weak))

L_STAND_IN bool LMailSyncIsStarted() { return false; }

L_STAND_IN bool LMailSyncRefreshListAndWait(LTaskProgress*, const char16_t*, uint32_t, int32_t* triggered,
                                            bool* account_found, bool* ok) {
    *triggered = 0;
    *account_found = false;
    *ok = false;
    return false;
}

L_STAND_IN bool LMailSyncWakeAndWait(LTaskProgress*, const char16_t*, const char16_t*, uint32_t, int32_t* workers,
                                     int32_t* triggered, bool* account_found, bool* target_found) {
    *workers = 0;
    *triggered = 0;
    *account_found = false;
    *target_found = false;
    return false;
}
