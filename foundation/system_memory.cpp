#include "foundation/system_memory.h"

#include <cstdlib>
#include <cstring>

#include "platform/system_info.h"

uint64_t LGetAvailableMemory() {
    uint64_t avail = LPlatformAvailableMemory();
    return avail ? avail : UINT64_MAX;
}

uint64_t LGetLargestFreeRegion() { return LPlatformLargestFreeRegion(); }

bool LGetProcessMemoryFigures(uint64_t* page_file_usage, uint64_t* commit_limit, uint64_t* commit_total) {
    uint64_t data = 0, stack = 0;
    if (!LPlatformProcessStatus("VmData", &data) || !LPlatformMemInfo("CommitLimit", commit_limit) ||
        !LPlatformMemInfo("Committed_AS", commit_total)) {
        return false;
    }
    LPlatformProcessStatus("VmStk", &stack);
    *page_file_usage = data + stack;
    return true;
}

void* LMalloc(size_t n) { return std::malloc(n); }

LUsageCountTable& LUsageCounts() {
    static LUsageCountTable table;
    return table;
}

bool LUsageCountTableResize(size_t n) {
    LUsageCountTable& t = LUsageCounts();
    LUsageCount* fresh = static_cast<LUsageCount*>(std::calloc(n ? n : 1, sizeof(LUsageCount)));
    if (!fresh) return false;
    const size_t keep = t.count < n ? t.count : n;
    if (keep) std::memcpy(fresh, t.entries, keep * sizeof(LUsageCount));
    std::free(t.entries);
    t.entries = fresh;
    t.capacity = n;
    t.count = keep;
    return true;
}
