#include "platform/file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/error.h"
#include "platform/root.h"

namespace {

bool Fail() {
    LPlatformSetLastErrorFromErrno();
    return false;
}

int LockFor(uint32_t access, uint32_t share) {
    if (access == 0) return 0;  // a query of size or time takes no part in sharing
    if ((share & LFileShareRead) && (share & LFileShareWrite)) return 0;
    if (!(access & LFileAccessWrite) && (share & LFileShareRead)) return LOCK_SH;
    return LOCK_EX;
}

int OpenFlags(uint32_t access) {
    // A query needs no read right on the file, as on Windows.
    if (access == 0) return O_PATH;
    if ((access & LFileAccessRead) && (access & LFileAccessWrite)) return O_RDWR;
    if (access & LFileAccessWrite) return O_WRONLY;
    return O_RDONLY;
}

}  // namespace

LPlatformFile& LPlatformFile::operator=(LPlatformFile&& o) noexcept {
    if (this != &o) {
        Close();
        fd_ = o.fd_;
        o.fd_ = -1;
    }
    return *this;
}

bool LPlatformFile::Open(const char* path, uint32_t access, uint32_t share, uint32_t disposition) {
    Close();
    if (!path || !*path) {
        errno = ENOENT;
        return Fail();
    }
    int flags = OpenFlags(access) | O_CLOEXEC;
    const bool writes = (access & LFileAccessWrite) || disposition != LFileOpenExisting;
    if (writes) flags |= O_NOFOLLOW;  // the program's own writes never follow a link
    bool created = false;
    int fd = -1;
    switch (disposition) {
    case LFileCreateNew:
        fd = open(path, flags | O_CREAT | O_EXCL, LPlatformSharedFileMode);
        created = fd >= 0;
        break;
    case LFileCreateAlways:
    case LFileOpenAlways:
        fd = open(path, flags | O_CREAT | O_EXCL, LPlatformSharedFileMode);
        created = fd >= 0;
        if (fd < 0 && errno == EEXIST) fd = open(path, flags);
        break;
    case LFileOpenExisting:
    case LFileTruncateExisting:
        fd = open(path, flags);
        break;
    default:
        errno = EINVAL;
        return Fail();
    }
    if (fd < 0) return Fail();
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        if (S_ISDIR(st.st_mode)) errno = EACCES;
        int saved = errno;
        close(fd);
        errno = saved;
        return Fail();
    }
    if (created) fchmod(fd, LPlatformSharedFileMode);  // whatever the umask says
    if (int lock = LockFor(access, share)) {
        while (flock(fd, lock | LOCK_NB) != 0) {
            if (errno == EINTR) continue;
            int saved = errno;  // EWOULDBLOCK: a sharing violation
            close(fd);
            errno = saved;
            return Fail();
        }
    }
    // Truncation waits for the lock so that a file in use is never cut.
    if ((disposition == LFileCreateAlways || disposition == LFileTruncateExisting) && !created &&
        ftruncate(fd, 0) != 0) {
        int saved = errno;
        close(fd);
        errno = saved;
        return Fail();
    }
    fd_ = fd;
    LPlatformSetLastError(LErrorSuccess);
    return true;
}

bool LPlatformFile::OpenForAppend(const char* path) {
    Close();
    const int flags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC;
    int fd = open(path, flags | O_CREAT | O_EXCL, LPlatformSharedFileMode);
    if (fd >= 0) {
        fchmod(fd, LPlatformSharedFileMode);  // whatever the umask says
    } else if (errno == EEXIST) {
        fd = open(path, flags);
    }
    if (fd < 0) return Fail();
    fd_ = fd;
    return true;
}

void LPlatformFile::Close() {
    if (fd_ < 0) return;
    close(fd_);
    fd_ = -1;
}

bool LPlatformFile::Read(void* buffer, uint32_t n, uint32_t* got) {
    *got = 0;
    for (;;) {
        ssize_t r = read(fd_, buffer, n);
        if (r >= 0) {
            *got = static_cast<uint32_t>(r);
            return true;
        }
        if (errno != EINTR) return Fail();
    }
}

bool LPlatformFile::Write(const void* data, uint64_t n) {
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        ssize_t w = write(fd_, p, n > (1u << 30) ? (1u << 30) : n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return Fail();
        }
        if (w == 0) {
            errno = EIO;
            return Fail();
        }
        p += w;
        n -= static_cast<uint64_t>(w);
    }
    return true;
}

bool LPlatformFile::Seek(int64_t offset, int whence, uint64_t* position) {
    int w = whence == 0 ? SEEK_SET : whence == 1 ? SEEK_CUR : SEEK_END;
    off_t r = lseek(fd_, offset, w);
    if (r < 0) return Fail();
    if (position) *position = static_cast<uint64_t>(r);
    return true;
}

bool LPlatformFile::SetEnd() {
    off_t pos = lseek(fd_, 0, SEEK_CUR);
    if (pos < 0 || ftruncate(fd_, pos) != 0) return Fail();
    return true;
}

int64_t LPlatformFile::Size() {
    struct stat st;
    if (fstat(fd_, &st) != 0) {
        Fail();
        return -1;
    }
    return st.st_size;
}

time_t LPlatformFile::WriteTime() {
    struct stat st;
    if (fstat(fd_, &st) != 0) return Fail(), 0;
    return st.st_mtime;
}

bool LPlatformGetFileInfo(const char* path, LPlatformFileInfo* info, bool follow_links) {
    *info = LPlatformFileInfo{};
    struct stat st;
    if (!path || (follow_links ? stat(path, &st) : lstat(path, &st)) != 0) return Fail();
    info->exists = true;
    info->is_folder = S_ISDIR(st.st_mode);
    info->is_link = S_ISLNK(st.st_mode);
    info->size = static_cast<uint64_t>(st.st_size);
    info->write_time = st.st_mtime;
    return true;
}

bool LPlatformDeleteFile(const char* path) { return unlink(path) == 0 || Fail(); }

bool LPlatformCopyFile(const char* from, const char* to, bool overwrite) {
    LPlatformFile in;
    if (!in.Open(from, LFileAccessRead, LFileShareRead, LFileOpenExisting)) return false;
    LPlatformFile out;
    if (!out.Open(to, LFileAccessWrite, LFileShareNone, overwrite ? LFileCreateAlways : LFileCreateNew)) return false;
    char buf[65536];
    for (;;) {
        uint32_t got;
        if (!in.Read(buf, sizeof buf, &got)) return false;
        if (got == 0) break;
        if (!out.Write(buf, got)) return false;
    }
    struct stat st;
    if (fstat(in.Descriptor(), &st) == 0) {
        timespec times[2] = {st.st_atim, st.st_mtim};
        futimens(out.Descriptor(), times);
    }
    return true;
}

bool LPlatformMoveFile(const char* from, const char* to) {
    if (rename(from, to) == 0) return true;
    if (errno != EXDEV) return Fail();
    return LPlatformCopyFile(from, to, true) && LPlatformDeleteFile(from);
}

bool LPlatformCreateFolder(const char* path, unsigned mode) {
    if (mkdir(path, mode == LPlatformDefaultFolderMode ? 0777 : mode) != 0) return Fail();
    if (mode != LPlatformDefaultFolderMode) chmod(path, mode);  // the umask must not take the group's rights away
    return true;
}

bool LPlatformRemoveFolder(const char* path) { return rmdir(path) == 0 || Fail(); }

bool LPlatformSetMode(const char* path, unsigned mode) {
    int fd = open(path, O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return Fail();
    struct stat st;
    bool ok = fstat(fd, &st) == 0 && !S_ISLNK(st.st_mode);
    if (ok) {
        // chmod through /proc of an O_PATH descriptor: the name cannot be
        // swapped for a link between the check and the change.
        char proc[64];
        std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
        ok = chmod(proc, mode) == 0;
    } else {
        errno = EPERM;
    }
    int saved = errno;
    close(fd);
    errno = saved;
    return ok || Fail();
}

bool LPlatformTightenMode(const char* path) {
    struct stat st;
    if (lstat(path, &st) != 0) return errno == ENOENT || Fail();
    if (S_ISLNK(st.st_mode) || (st.st_mode & S_IRWXO) == 0) return true;
    return LPlatformSetMode(path, S_ISDIR(st.st_mode) ? LPlatformSharedFolderMode : LPlatformSharedFileMode);
}

bool LPlatformRemoveWriteForOthers(const char* path) {
    struct stat st;
    if (lstat(path, &st) != 0) return errno == ENOENT || Fail();
    if (S_ISLNK(st.st_mode) || (st.st_mode & S_IWOTH) == 0) return true;
    return LPlatformSetMode(path, st.st_mode & 07777 & ~S_IWOTH);
}

bool LPlatformEnsureSharedFile(const char* path) {
    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, LPlatformSharedFileMode);
    if (fd >= 0) {
        fchmod(fd, LPlatformSharedFileMode);  // whatever the umask says
        close(fd);
        return true;
    }
    if (errno != EEXIST) return Fail();
    struct stat st;
    return (lstat(path, &st) == 0 && S_ISREG(st.st_mode)) || Fail();
}

bool LPlatformGetFileId(const char* path, LPlatformFileId* id) {
    struct stat st;
    if (stat(path, &st) != 0) return Fail();
    id->device = static_cast<uint64_t>(st.st_dev);
    id->inode = static_cast<uint64_t>(st.st_ino);
    return true;
}

void LPlatformWriteStandardError(const char* text, size_t n) {
    while (n > 0) {
        ssize_t w = write(STDERR_FILENO, text, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return;
        text += w;
        n -= static_cast<size_t>(w);
    }
}

bool LPlatformMakeFolderWritable(const char* path) {
    struct stat st;
    if (lstat(path, &st) != 0) return Fail();
    if (!S_ISDIR(st.st_mode)) {
        errno = ENOTDIR;
        return Fail();
    }
    if ((st.st_mode & S_IRWXU) == S_IRWXU) return true;
    return LPlatformSetMode(path, (st.st_mode & 07777) | S_IRWXU);
}

bool LPlatformFolderReader::Open(const char* path) {
    Close();
    int fd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return Fail();
    DIR* d = fdopendir(fd);
    if (!d) {
        close(fd);
        return Fail();
    }
    dir_ = d;
    dirfd_ = fd;
    return true;
}

bool LPlatformFolderReader::Next(const char** name, bool* is_folder, bool* is_link) {
    if (!dir_) return false;
    for (;;) {
        errno = 0;
        dirent* e = readdir(static_cast<DIR*>(dir_));
        if (!e) return false;
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        unsigned char type = e->d_type;
        if (type == DT_UNKNOWN) {
            struct stat st;
            if (fstatat(dirfd_, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
            type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : DT_REG;
        }
        *name = e->d_name;
        *is_folder = type == DT_DIR;
        *is_link = type == DT_LNK;
        return true;
    }
}

void LPlatformFolderReader::Close() {
    if (dir_) closedir(static_cast<DIR*>(dir_));  // closes dirfd_ too
    dir_ = nullptr;
    dirfd_ = -1;
}
