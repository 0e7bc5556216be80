#pragma once
// Mutexes shared between processes by name. "Global\NAME" is the lock file
// "NAME.lock" in the run folder; any other name is a lock file in the user's
// runtime folder. A process that dies releases what it held.
#include <cstdint>

#include "platform/lock_file.h"

class LNamedMutex {
public:
    explicit LNamedMutex(const char16_t* name);
    ~LNamedMutex() { Unlock(); }
    LNamedMutex(const LNamedMutex&) = delete;
    LNamedMutex& operator=(const LNamedMutex&) = delete;

    // Waits up to ms (LInfinite: no limit) for the mutex; true when held.
    bool Lock(uint32_t ms);
    void Unlock();
    bool IsHeld() const { return held_; }
    // The lock file that stands for a mutex name.
    static bool LockFilePath(const char16_t* name, char out[4096]);

private:
    char16_t name_[260];
    LLockFile file_;
    bool held_ = false;
};
