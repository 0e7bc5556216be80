#pragma once
#include <cstdint>

// Bytes of memory the system could give this process now; 0 when unknown.
uint64_t LGetAvailableMemory();
