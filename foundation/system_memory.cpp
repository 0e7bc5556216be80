#include "foundation/system_memory.h"

#include "platform/system_info.h"

uint64_t LGetAvailableMemory() { return LPlatformAvailableMemory(); }
