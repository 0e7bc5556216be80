#include "platform/hive_file.h"

#include <cerrno>
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

LPlatformReadResult LPlatformReadWholeFile(const std::string& path, std::string& out) {
    out.clear();
    LFd f(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (f.fd < 0) return errno == ENOENT || errno == ENOTDIR ? LPlatformReadResult::Missing : LPlatformReadResult::Failed;
    char buf[16384];
    for (;;) {
        ssize_t r = ::read(f.fd, buf, sizeof buf);
        if (r < 0) {
            if (errno == EINTR) continue;
            return LPlatformReadResult::Failed;
        }
        if (r == 0) break;
        out.append(buf, static_cast<size_t>(r));
    }
    return LPlatformReadResult::Ok;
}

bool LPlatformReplaceFile(const std::string& path, std::string_view content, unsigned mode) {
    const std::string folder = FolderOf(path);
    if (!LPlatformCreateFolderTree(folder, 0755)) return false;
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) mode = st.st_mode & 07777;
    // The pid keeps temporaries of two processes apart; the lock keeps two
    // threads of one process from writing at once.
    const std::string temp = path + ".tmp" + std::to_string(::getpid());
    {
        LFd f(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (f.fd < 0) return false;
        bool ok = LPlatformWriteAll(f.fd, content.data(), content.size()) && ::fchmod(f.fd, mode) == 0 && ::fsync(f.fd) == 0;
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
