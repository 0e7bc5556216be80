#pragma once
// The start-up lock "Global\PorlinexStarting": held by a process while it
// starts up, so that a desktop process and the service never initialise at
// the same moment. One per process. A lock file is not owned by a thread,
// so the caller's own thread takes and releases it.
#include <cstdint>

#include "foundation/named_mutex.h"

class LStartupLock {
public:
    LStartupLock() : mutex_(u"Global\\PorlinexStarting") {}
    // Waits at most ms for the lock. The caller goes on either way; the
    // result says whether the lock is held. A wait longer than a second is
    // logged, so a slow start is not a silent one.
    bool Take(uint32_t ms);
    void Release() { mutex_.Unlock(); }
    bool Held() const { return mutex_.IsHeld(); }

private:
    LNamedMutex mutex_;
};

constexpr uint32_t LStartupLockWaitMs = 20000;

// The process's start-up lock.
LStartupLock& LProcessStartupLock();
// The desktop's main window calls this once it is up: the service and other
// starts wait only for the desktop's start, not for its whole life.
void LStartupLockReleaseAfterStart();
