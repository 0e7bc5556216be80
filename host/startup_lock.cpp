#include "host/startup_lock.h"

LStartupLock& LProcessStartupLock() {
    static LStartupLock lock;
    return lock;
}
