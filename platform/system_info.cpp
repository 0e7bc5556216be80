#include "platform/system_info.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace {

bool KbFigure(const char* file, const char* name, uint64_t* bytes) {
    FILE* f = std::fopen(file, "re");
    if (!f) return false;
    char line[256];
    const size_t n = std::strlen(name);
    bool found = false;
    while (std::fgets(line, sizeof line, f)) {
        unsigned long long kb;
        if (std::strncmp(line, name, n) == 0 && line[n] == ':' && std::sscanf(line + n + 1, "%llu", &kb) == 1) {
            *bytes = static_cast<uint64_t>(kb) * 1024;
            found = true;
            break;
        }
    }
    std::fclose(f);
    return found;
}

}  // namespace

bool LPlatformMemInfo(const char* name, uint64_t* bytes) { return KbFigure("/proc/meminfo", name, bytes); }

uint64_t LPlatformAvailableMemory() {
    uint64_t b = 0;
    return LPlatformMemInfo("MemAvailable", &b) ? b : 0;
}

bool LPlatformProcessStatus(const char* name, uint64_t* bytes) {
    return KbFigure("/proc/self/status", name, bytes);
}

uint64_t LPlatformLargestFreeRegion() {
    // The top of the user address space on x86-64 and arm64 (47 bits).
    constexpr uint64_t kTop = 0x7FFFFFFFF000ull;
    constexpr uint64_t kBottom = 0x10000ull;
    FILE* f = std::fopen("/proc/self/maps", "re");
    if (!f) return 0;
    uint64_t largest = 0, previous_end = kBottom;
    char line[512];
    while (std::fgets(line, sizeof line, f)) {
        unsigned long long start, end;
        if (std::sscanf(line, "%llx-%llx", &start, &end) != 2) continue;
        if (start >= kTop) break;
        if (start > previous_end && start - previous_end > largest) largest = start - previous_end;
        if (end > previous_end) previous_end = end;
    }
    std::fclose(f);
    if (kTop > previous_end && kTop - previous_end > largest) largest = kTop - previous_end;
    return largest;
}

std::vector<std::string> LPlatformCommandLine() {
    std::vector<std::string> args;
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string arg;
    while (std::getline(in, arg, '\0')) args.push_back(arg);
    return args;
}

std::string LPlatformDmiText(const char* name) {
    std::ifstream in(std::string("/sys/class/dmi/id/") + name);
    std::string line;
    std::getline(in, line);
    return line;
}

bool LPlatformCpuidHypervisor(bool* root_partition, char vendor[13]) {
    *root_partition = false;
    vendor[0] = 0;
#if defined(__x86_64__) || defined(__i386__)
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d) || !(c & (1u << 31))) return false;
    __cpuid(0x40000003, a, b, c, d);
    *root_partition = (b & (1u << 12)) != 0;
    __cpuid(0x40000000, a, b, c, d);
    std::memcpy(vendor, &b, 4);
    std::memcpy(vendor + 4, &c, 4);
    std::memcpy(vendor + 8, &d, 4);
    vendor[12] = 0;
    return true;
#else
    return false;
#endif
}

std::string LPlatformHostName() {
    char name[260] = {0};
    if (gethostname(name, sizeof name - 1) != 0) return std::string();
    return name;
}
