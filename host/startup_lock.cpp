#include "host/startup_lock.h"

#include "foundation/log.h"
#include "platform/clock.h"

namespace {

constexpr uint32_t kQuietWaitMs = 1000;

}  // namespace

bool LStartupLock::Take(uint32_t ms) {
    const uint64_t start = LPlatformMonotonicMs();
    if (mutex_.Lock(ms < kQuietWaitMs ? ms : kQuietWaitMs)) return true;
    // A failure before the second was up is no wait: the lock file cannot be
    // made at all, and waiting longer would not change that.
    if (ms <= kQuietWaitMs || LPlatformMonotonicMs() - start < kQuietWaitMs) return false;
    LLog("Start-up lock: waiting for another Porlinex process to finish starting.", LLogInfo);
    return mutex_.Lock(ms - kQuietWaitMs);
}

LStartupLock& LProcessStartupLock() {
    static LStartupLock lock;
    return lock;
}

void LStartupLockReleaseAfterStart() { LProcessStartupLock().Release(); }
