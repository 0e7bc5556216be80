#pragma once
// What the discovery tools use of the mail synchronisation engine, declared
// as the engine declares it. The engine's module defines these; until it is
// linked, weak stand-ins report an engine that has not been started.
#include <cstdint>

#include "foundation/task_progress.h"

bool LMailSyncIsStarted();
bool LMailSyncRefreshListAndWait(LTaskProgress& progress, const char16_t* accountId, uint32_t timeoutMs, int32_t& woken,
                                 bool& accountFound, bool& ok);
bool LMailSyncWakeAndWait(LTaskProgress& progress, const char16_t* accountId, const char16_t* mailboxId,
                          uint32_t timeoutMs, int32_t& workerCount, int32_t& woken, bool& accountFound,
                          bool& targetFound);
