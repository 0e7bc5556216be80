#pragma once
#include <cstdint>

// MemAvailable of the kernel, in bytes; 0 when it cannot be read.
uint64_t LPlatformAvailableMemory();
