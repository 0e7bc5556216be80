#include "platform/hive_file.h"

#include <cerrno>
#include <dirent.h>
#include <string_view>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/root.h"
#include "platform/spawn.h"

namespace {

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

class LFd {
public:
    explicit LFd(int fd) : fd(fd) {}
    ~LFd() {
        if (fd >= 0) ::close(fd);
    }
    LFd(const LFd&) = delete;
    LFd& operator=(const LFd&) = delete;
    int fd;
};

}  // namespace

LPlatformHiveLock::LPlatformHiveLock(const std::string& hive_path) {
    const std::string folder = FolderOf(hive_path);
    LPlatformCreateFolderTree(folder, 0755);
    const std::string lock_path = hive_path + ".lock";
    fd_ = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0660);
    if (fd_ < 0) fd_ = ::open(lock_path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd_ < 0) return;
    while (::flock(fd_, LOCK_EX) != 0) {
        if (errno == EINTR) continue;
        ::close(fd_);
        fd_ = -1;
        return;
    }
}

LPlatformHiveLock::~LPlatformHiveLock() {
    // Closing the descriptor drops the lock.
    if (fd_ >= 0) ::close(fd_);
}

namespace {

// Removes bits beyond maxMode; only the owner (or root) may, and only
// taking rights away is ever done here.
void Tighten(int fd, const struct stat& st, unsigned maxMode) {
    unsigned mode = st.st_mode & 07777;
    if ((mode & ~maxMode) == 0) return;
    uid_t me = ::geteuid();
    if (me == 0 || st.st_uid == me) (void)::fchmod(fd, mode & maxMode);
}

// "<name>.tmp<digits>" beside the hive: a temporary of a writer that died.
void RemoveStaleTemporaries(const std::string& path) {
    const std::string folder = FolderOf(path);
    const std::string prefix = path.substr(path.rfind('/') + 1) + ".tmp";
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    while (dirent* e = ::readdir(dir)) {
        std::string_view name(e->d_name);
        if (!name.starts_with(prefix) || name.size() == prefix.size()) continue;
        if (name.substr(prefix.size()).find_first_not_of("0123456789") != std::string_view::npos) continue;
        ::unlinkat(::dirfd(dir), e->d_name, 0);
    }
    ::closedir(dir);
}

}  // namespace

LPlatformReadResult LPlatformReadWholeFile(const std::string& path, std::string& out, unsigned maxMode) {
    out.clear();
    LFd f(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (f.fd < 0) return errno == ENOENT || errno == ENOTDIR ? LPlatformReadResult::Missing : LPlatformReadResult::Failed;
    struct stat st;
    if (::fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<uint64_t>(st.st_size) > LPlatformHiveMaxBytes)
        return LPlatformReadResult::Failed;
    Tighten(f.fd, st, maxMode);
    char buf[16384];
    for (;;) {
        ssize_t r = ::read(f.fd, buf, sizeof buf);
        if (r < 0) {
            if (errno == EINTR) continue;
            return LPlatformReadResult::Failed;
        }
        if (r == 0) break;
        if (out.size() + static_cast<size_t>(r) > LPlatformHiveMaxBytes) return LPlatformReadResult::Failed;
        out.append(buf, static_cast<size_t>(r));
    }
    return LPlatformReadResult::Ok;
}

bool LPlatformReplaceFile(const std::string& path, std::string_view content, unsigned mode) {
    const std::string folder = FolderOf(path);
    if (!LPlatformCreateFolderTree(folder, 0755)) return false;
    RemoveStaleTemporaries(path);
    struct stat st;
    const bool existing = ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    if (existing) mode &= st.st_mode & 07777;
    // The pid keeps temporaries of two processes apart; the lock keeps two
    // threads of one process from writing at once.
    const std::string temp = path + ".tmp" + std::to_string(::getpid());
    {
        LFd f(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (f.fd < 0) return false;
        // A write by root must not hand the file to root: the owner and the
        // group stay whoever they were (a failure here, for anyone but
        // root, only means the file was ours already or cannot be given).
        if (existing && (st.st_uid != ::geteuid() || st.st_gid != ::getegid()))
            (void)::fchown(f.fd, st.st_uid, st.st_gid);
        // fchmod after fchown: a change of owner may clear set-id bits.
        bool ok = LPlatformWriteAll(f.fd, content.data(), content.size()) && ::fchmod(f.fd, mode) == 0 &&
                  ::fsync(f.fd) == 0;
        if (!ok) {
            ::unlink(temp.c_str());
            return false;
        }
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    // The rename itself must reach the disk, or a crash may bring back the
    // old file after the caller was told the new value is stored.
    LFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.fd >= 0) ::fsync(dir.fd);
    return true;
}

bool LPlatformMoveAside(const std::string& path, const char* suffix) {
    return ::rename(path.c_str(), (path + suffix).c_str()) == 0;
}
