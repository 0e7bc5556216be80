#pragma once
// Memory figures of the machine and the process, and the plain allocation.
#include <cstddef>
#include <cstdint>

// Bytes of memory the system could give this process now (the kernel's
// MemAvailable); all bits set when unknown, so that nothing is refused on
// that account.
uint64_t LGetAvailableMemory();
// The largest free region of the process's address space.
uint64_t LGetLargestFreeRegion();
// The process's private (page-file backed) bytes, and the machine's commit
// limit and commit total in bytes; false when they cannot be read.
bool LGetProcessMemoryFigures(uint64_t* page_file_usage, uint64_t* commit_limit, uint64_t* commit_total);
// The global allocation; null on failure.
void* LMalloc(size_t n);

// The command-use table: pairs of a command id and a use count, filled by
// the usage counting of the desktop program.
struct LUsageCount {
    uint32_t id;
    uint32_t count;
};
struct LUsageCountTable {
    LUsageCount* entries = nullptr;
    size_t capacity = 0;
    size_t count = 0;
};
LUsageCountTable& LUsageCounts();
// Reallocates the table to n zeroed pairs keeping the first min(count, n);
// false (table unchanged) when memory is short.
bool LUsageCountTableResize(size_t n);
