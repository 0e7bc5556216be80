#pragma once
// The start-up lock "Global\PorlinexStarting": held by a process while it
// starts up, so that a desktop process and the service never initialise at
// the same moment. It is the lock file "PorlinexStarting.lock" in the run
// folder; one per process.
#include <cstdint>

class LStartupLock {
public:
    LStartupLock() = default;
    ~LStartupLock() { Release(); }
    LStartupLock(const LStartupLock&) = delete;
    LStartupLock& operator=(const LStartupLock&) = delete;

    // Waits at most ms for the lock. The caller goes on either way; the
    // result says whether the lock is held.
    bool Take(uint32_t ms);
    void Release();
    bool Held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

constexpr uint32_t LStartupLockWaitMs = 20000;

// The process's start-up lock.
LStartupLock& LProcessStartupLock();
