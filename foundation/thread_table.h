#pragma once
// The process's table of named threads (at most 64) that hang and crash
// reports read: thread id, a tag of at most 4 characters, an activity text.
#include <cstddef>

constexpr size_t LThreadTableSize = 64;

// Enters the calling thread; a null tag becomes its id modulo 10000 as four
// digits. False when the table is full (nothing is entered then).
bool LThreadRegister(const char* tag);
// Called on each thread as it registers (the crash handling gives it its
// own signal stack there).
using LThreadRegisterHook = void (*)();
void LThreadSetRegisterHook(LThreadRegisterHook hook);
// Removes the calling thread.
void LThreadUnregister();
// Sets the calling thread's tag (cut to 4 characters); nothing happens for a
// thread that is not in the table.
void LThreadSetTag(const char* text);
void LThreadSetTagW(const char16_t* text);

// The calling thread's tag; false (and an empty text) when not registered.
bool LThreadGetTag(char out[5]);
// Number of threads in the table.
size_t LThreadTableCount();

struct LThreadTableEntry {
    int thread_id;
    char tag[5];
    char activity[260];
};
// Copies the table for a report; returns the number of entries written.
size_t LThreadTableSnapshot(LThreadTableEntry* out, size_t max);
// The entry of one thread for a crash report: takes the lock only when it
// is free, so a crash inside the table's own code does not wait for ever.
bool LThreadTableFindForCrash(int tid, LThreadTableEntry& out);
