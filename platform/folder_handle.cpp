#include "platform/folder_handle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/error.h"
#include "platform/spawn.h"

bool LPlatformFolderHandle::Open(const std::string& path, bool create, unsigned create_mode) {
    Close();
    if (create && mkdir(path.c_str(), create_mode) != 0 && errno != EEXIST) {
        LPlatformSetLastErrorFromErrno();
        return false;
    }
    // O_NOFOLLOW refuses a link in the last component; O_DIRECTORY anything
    // that is not a folder.
    fd_ = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd_ < 0) LPlatformSetLastErrorFromErrno();
    return fd_ >= 0;
}

void LPlatformFolderHandle::Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

bool LPlatformFolderHandle::SetMode(unsigned mode) { return fd_ >= 0 && fchmod(fd_, mode) == 0; }

LPlatformFolderHandle::ReadResult LPlatformFolderHandle::ReadFile(const char* name, size_t max_bytes,
                                                                  std::string& out) const {
    out.clear();
    int fd = openat(fd_, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return errno == ENOENT ? ReadMissing : ReadFailed;
    struct stat st;
    ReadResult result = ReadFailed;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_size) <= max_bytes) {
        out.resize(static_cast<size_t>(st.st_size));
        // A file that shrank while read is not taken for what it was.
        if (LPlatformReadAll(fd, out.data(), out.size())) result = ReadOk;
    }
    close(fd);
    if (result != ReadOk) out.clear();
    return result;
}

bool LPlatformFolderHandle::WriteFile(const char* name, const void* data, size_t n, unsigned mode) const {
    if (fd_ < 0) return false;
    std::string temp = std::string(".") + name + ".new";
    unlinkat(fd_, temp.c_str(), 0);
    int fd = openat(fd_, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode & 0777);
    if (fd < 0) return false;
    // The umask may have taken bits away, and an inherited access list must
    // not widen what the mode says: the mode is set explicitly.
    bool ok = fchmod(fd, mode) == 0 && LPlatformWriteAll(fd, data, n) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (ok) ok = renameat(fd_, temp.c_str(), fd_, name) == 0;
    if (!ok) {
        unlinkat(fd_, temp.c_str(), 0);
        return false;
    }
    fsync(fd_);
    return true;
}

bool LPlatformFolderHandle::DeleteFile(const char* name) const {
    if (fd_ < 0) return false;
    if (unlinkat(fd_, name, 0) == 0 || errno == ENOENT) return true;
    LPlatformSetLastErrorFromErrno();
    return false;
}

bool LPlatformFolderHandle::SetFileMode(const char* name, unsigned mode) const {
    int fd = openat(fd_, name, O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok && (st.st_mode & 07777) != mode) {
        // fchmod does not take an O_PATH descriptor; its /proc name reaches
        // the very file that was opened, never a link.
        std::string proc = "/proc/self/fd/" + std::to_string(fd);
        ok = chmod(proc.c_str(), mode) == 0;
    }
    close(fd);
    return ok;
}

bool LPlatformFolderHandle::HasFile(const char* name) const {
    struct stat st;
    return fd_ >= 0 && fstatat(fd_, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
}
