#pragma once
// What a crashed process hands to the copy of the program that reports it:
// a fixed record, filled inside the signal handler from memory prepared at
// start-up, written to the reporting child's standard input.
#include <cstdint>

constexpr uint32_t LCrashRecordMagic = 0x504C5843;  // "CXLP"
constexpr int LCrashRegisterCount = 32;

struct LCrashRecord {
    uint32_t magic = LCrashRecordMagic;
    int32_t signal = 0;
    int32_t code = 0;                   // si_code
    int32_t pid = 0;
    int32_t tid = 0;
    uint8_t is_service = 0;
    uint8_t pad[3] = {0, 0, 0};
    uint64_t fault_address = 0;
    uint64_t pc = 0;
    uint64_t sp = 0;
    uint64_t registers[LCrashRegisterCount] = {};  // the machine's general registers at the fault
    uint32_t available_mb = 0;
    uint32_t largest_free_mb = 0;
    char reason[64] = {0};                // "AccessViolation", ... ; empty for an abort
    char thread_state[260] = {0};         // thread tag and main-thread state at the fault
};

// What a live process asks of the dump writer: its own dump, now.
struct LCrashDumpRequest {
    int32_t pid = 0;
    int32_t tid = 0;
    char path[4096] = {0};
};

// The reason for a signal: its kind, "StackOverflow" for a fault next to
// the stack pointer, "LowHeap" appended below 200 MB of free address space.
void LCrashReasonFor(int signal, int code, uint64_t fault_address, uint64_t sp, uint32_t largest_free_mb,
                     char out[64]);
