#include "platform/lock_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/error.h"

bool LLockFile::Open(const char* path) {
    Close();
    fd_ = open(path, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0660);
    if (fd_ < 0) {
        LPlatformSetLastErrorFromErrno();
        return false;
    }
    // Shared with the group of allowed users whatever the umask says.
    fchmod(fd_, 0660);
    return true;
}

int LLockFile::TryLock() {
    if (fd_ < 0) return 2;
    for (;;) {
        if (flock(fd_, LOCK_EX | LOCK_NB) == 0) return 0;
        if (errno == EINTR) continue;
        if (errno == EWOULDBLOCK) return 1;
        LPlatformSetLastErrorFromErrno();
        return 2;
    }
}

bool LLockFile::Lock() {
    if (fd_ < 0) return false;
    while (flock(fd_, LOCK_EX) != 0) {
        if (errno != EINTR) {
            LPlatformSetLastErrorFromErrno();
            return false;
        }
    }
    return true;
}

void LLockFile::Close() {
    if (fd_ < 0) return;
    close(fd_);  // releases the lock with the file
    fd_ = -1;
}
