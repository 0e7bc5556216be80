#include "host/startup_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/root.h"

namespace {

constexpr uint32_t kRetryMs = 50;

std::string LockPath() { return LPlatformKnownFolder(LKnownFolder::RunFolder) + "/PorlinexStarting.lock"; }

void SleepMs(uint32_t ms) {
    timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

}  // namespace

bool LStartupLock::Take(uint32_t ms) {
    if (fd_ >= 0) return true;
    std::string folder = LPlatformKnownFolder(LKnownFolder::RunFolder);
    LPlatformCreateFolderTree(folder, LPlatformSharedFolderMode);
    for (uint32_t waited = 0;; waited += kRetryMs) {
        int fd = open(LockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, LPlatformSharedFileMode);
        // The lock file may not be ours to open yet (access denied while
        // another user's process makes it): retried like a lock held.
        if (fd >= 0) {
            if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
                fd_ = fd;
                return true;
            }
            close(fd);
        }
        if (waited >= ms) return false;
        SleepMs(kRetryMs);
    }
}

void LStartupLock::Release() {
    if (fd_ < 0) return;
    flock(fd_, LOCK_UN);
    close(fd_);
    fd_ = -1;
}

LStartupLock& LProcessStartupLock() {
    static LStartupLock lock;
    return lock;
}
