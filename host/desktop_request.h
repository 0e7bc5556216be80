#pragma once
// Work that must run in the signed-in user's desktop process travels as a
// desktop request: the service takes an id, raises the request's event code
// to every desktop with the id as value, and waits up to 15000 ms for one
// desktop's reply block (pipe command 2).
#include <cstdint>
#include <string>

#include "foundation/task_progress.h"

constexpr uint32_t LDesktopRequestWaitMs = 15000;

// A new request id with its pending entry; 0 when none could be made (ids
// start at 1, so 0 never names a request).
uint32_t LDesktopRequestBegin();
// Waits for the reply (through progress when given). Returns the reply's ok
// flag; message is always set, detail when given.
bool LDesktopRequestWait(uint32_t id, LTaskProgress* progress, std::string& message, std::string* detail);
// Stores a reply; false when no request with that id is pending (it ended
// or never was). The engine's command-2 path reaches it through the hook.
bool LDesktopRequestReply(uint32_t id, bool ok, const char* message, const char* detail);
// Connects the engine's command-2 path to the pending list.
void LDesktopRequestRegisterReplyHook();
