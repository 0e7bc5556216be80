#include "host/single_instance.h"

#include "host/entry_points.h"
#include "host/service_control.h"
#include "host/startup_lock.h"
#include "platform/clock.h"
#include "toolkit/window_layer.h"

namespace {

constexpr uint32_t kSettleMs = 500;

}  // namespace

int LSingleInstanceStart(bool seven_day_start) {
    LStartupLock& lock = LProcessStartupLock();
    // A start that cannot get the lock in time goes on without it: a hung
    // process must not keep the desktop away for ever.
    lock.Take(LStartupLockWaitMs);
    if (LBringRunningInstanceForward()) {
        lock.Release();
        return 0;
    }
    // The desktop shows windows: without a display it says so and ends,
    // leaving the address that opens the interface by hand.
    if (!LDesktopOpenDisplay()) {
        lock.Release();
        return LShowInterfaceAddress() ? 0 : 1;
    }
    LGuiRun(seven_day_start);
    lock.Release();
    return 0;
}

bool LCloseOtherInstances() {
    // The desktop goes first: it would otherwise hold the program's files
    // while they are replaced, and keep its link to a service being stopped.
    LTellRunningInstanceToExit();
    if (LServiceStop()) LPlatformSleepMs(kSettleMs);
    return true;
}
