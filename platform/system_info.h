#pragma once
// Facts about the machine and the process from /proc, /sys and the CPU.
#include <cstdint>
#include <string>
#include <vector>

// A "Name:  value kB" figure of /proc/meminfo in bytes; false when missing.
bool LPlatformMemInfo(const char* name, uint64_t* bytes);
// MemAvailable in bytes; 0 when it cannot be read.
uint64_t LPlatformAvailableMemory();
// A "Name:  value kB" figure of /proc/self/status in bytes.
bool LPlatformProcessStatus(const char* name, uint64_t* bytes);
// The largest gap between the mappings of /proc/self/maps below the top of
// the user address space; 0 when the maps cannot be read.
uint64_t LPlatformLargestFreeRegion();

// The process's arguments as the kernel keeps them (argument 0 first).
std::vector<std::string> LPlatformCommandLine();

// A line of /sys/class/dmi/id/<name> without its line end; empty when missing.
std::string LPlatformDmiText(const char* name);
// CPUID: whether a hypervisor is reported (leaf 1, ECX bit 31), whether it
// says this is the Hyper-V root partition (leaf 0x40000003, EBX bit 12), and
// its 12-character vendor text (leaf 0x40000000). False on other CPUs.
bool LPlatformCpuidHypervisor(bool* root_partition, char vendor[13]);

// The host's name; empty when it cannot be read.
std::string LPlatformHostName();
