#pragma once
// A lock file held with flock(): the stand-in for named mutexes. The lock
// belongs to the open file, so a process that dies releases it.
#include <cstdint>

class LLockFile {
public:
    LLockFile() = default;
    ~LLockFile() { Close(); }
    LLockFile(const LLockFile&) = delete;
    LLockFile& operator=(const LLockFile&) = delete;

    // Opens (creating, mode 0660, never through a symbolic link) the file.
    // False with the platform's last error set.
    bool Open(const char* path);
    // 0 taken, 1 held by someone else, 2 failed.
    int TryLock();
    // Waits without limit; false on failure.
    bool Lock();
    // Releases the lock and closes the file.
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};
