#include "platform/system_info.h"

#include <cstdio>
#include <cstring>

uint64_t LPlatformAvailableMemory() {
    FILE* f = std::fopen("/proc/meminfo", "re");
    if (!f) return 0;
    char line[256];
    unsigned long long kb = 0;
    while (std::fgets(line, sizeof line, f)) {
        if (std::sscanf(line, "MemAvailable: %llu kB", &kb) == 1) break;
    }
    std::fclose(f);
    return static_cast<uint64_t>(kb) * 1024;
}
