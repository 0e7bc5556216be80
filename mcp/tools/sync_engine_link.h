#pragma once
// What the discovery tools use of the mail synchronisation engine. The
// engine's module defines these; until it is linked, weak stand-ins report
// an engine that has not been started.
#include <cstdint>

#include "foundation/task_progress.h"

// Whether the engine has been started (read without a lock).
bool LMailSyncIsStarted();
// Refreshes one account's mailbox list and waits; see the engine's header.
bool LMailSyncRefreshListAndWait(LTaskProgress* progress, const char16_t* account_id, uint32_t timeout_ms,
                                 int32_t* triggered, bool* account_found, bool* ok);
// Wakes the workers of one account (or all), or refreshes one mailbox, and
// waits until what was woken has settled.
bool LMailSyncWakeAndWait(LTaskProgress* progress, const char16_t* account_id, const char16_t* mailbox_id,
                          uint32_t timeout_ms, int32_t* workers, int32_t* triggered, bool* account_found,
                          bool* target_found);
