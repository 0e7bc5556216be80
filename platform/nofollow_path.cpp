#include "platform/nofollow_path.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/error.h"

namespace {

// One component below a folder; a link there is refused, not followed.
int OpenComponent(int dir, const std::string& name, int flags) {
    open_how how{};
    how.flags = static_cast<uint64_t>(flags | O_NOFOLLOW | O_CLOEXEC);
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS | RESOLVE_BENEATH;
    long fd = syscall(SYS_openat2, dir, name.c_str(), &how, sizeof how);
    if (fd < 0 && errno == ENOSYS) fd = openat(dir, name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC);
    return static_cast<int>(fd);
}

// The components of a path; false for an empty one, "." or "..".
bool SplitComponents(const std::string& path, std::vector<std::string>& parts) {
    size_t at = 0;
    while (at < path.size()) {
        size_t slash = path.find('/', at);
        std::string part = path.substr(at, slash == std::string::npos ? std::string::npos : slash - at);
        if (part.empty() || part == "." || part == "..") return false;
        parts.push_back(part);
        if (slash == std::string::npos) break;
        at = slash + 1;
        if (at == path.size()) return false;
    }
    return true;
}

bool NodeIdOfFd(int fd, LPlatformNodeId* id) {
    struct stat st;
    if (fstat(fd, &st) != 0) return false;
    id->device = st.st_dev;
    id->inode = st.st_ino;
    return true;
}

bool IsForbidden(int fd, const std::vector<LPlatformNodeId>& forbidden) {
    LPlatformNodeId id;
    if (!NodeIdOfFd(fd, &id)) return true;
    for (const LPlatformNodeId& f : forbidden)
        if (f == id) return true;
    return false;
}

}  // namespace

LPlatformFd& LPlatformFd::operator=(LPlatformFd&& o) noexcept {
    if (this != &o) {
        Reset(o.fd_);
        o.fd_ = -1;
    }
    return *this;
}

void LPlatformFd::Reset(int fd) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
}

bool LPlatformNodeIdOf(const std::string& path, LPlatformNodeId* id) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
    id->device = st.st_dev;
    id->inode = st.st_ino;
    return true;
}

LPlatformWalk LPlatformOpenFolderNoLinks(const std::string& path, bool create, unsigned mode,
                                         const std::vector<LPlatformNodeId>& forbidden, LPlatformFd* folder) {
    std::vector<std::string> parts;
    if (path.empty() || path[0] != '/' || !SplitComponents(path.substr(1), parts)) return LPlatformWalk::Failed;
    LPlatformFd dir(open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!dir.IsValid()) return LPlatformWalk::Failed;
    if (IsForbidden(dir.Get(), forbidden)) return LPlatformWalk::Forbidden;
    for (const std::string& part : parts) {
        int fd = OpenComponent(dir.Get(), part, O_PATH | O_DIRECTORY);
        if (fd < 0 && errno == ENOENT && create) {
            if (mkdirat(dir.Get(), part.c_str(), mode) != 0 && errno != EEXIST) {
                LPlatformSetLastErrorFromErrno();
                return LPlatformWalk::Failed;
            }
            fd = OpenComponent(dir.Get(), part, O_PATH | O_DIRECTORY);
        }
        if (fd < 0) {
            LPlatformSetLastErrorFromErrno();
            return LPlatformWalk::Failed;
        }
        dir.Reset(fd);
        if (IsForbidden(dir.Get(), forbidden)) return LPlatformWalk::Forbidden;
    }
    *folder = std::move(dir);
    return LPlatformWalk::Ok;
}

bool LPlatformOpenRegularFileBeneath(const std::string& root, const std::string& relative, LPlatformFd* file) {
    std::vector<std::string> parts;
    if (relative.empty() || !SplitComponents(relative, parts)) return false;
    LPlatformFd dir(open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!dir.IsValid()) return false;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        int fd = OpenComponent(dir.Get(), parts[i], O_PATH | O_DIRECTORY);
        if (fd < 0) return false;
        dir.Reset(fd);
    }
    // O_NONBLOCK: a FIFO planted under the name must not hang the open.
    LPlatformFd f(OpenComponent(dir.Get(), parts.back(), O_RDONLY | O_NONBLOCK));
    struct stat st;
    if (!f.IsValid() || fstat(f.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    int flags = fcntl(f.Get(), F_GETFL);
    if (flags < 0 || fcntl(f.Get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return false;
    *file = std::move(f);
    return true;
}

bool LPlatformReplaceFileAt(const LPlatformFd& folder, const std::string& name, const LPlatformFd& source,
                            unsigned mode) {
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) return false;
    struct stat st;
    if (fstatat(folder.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(st.st_mode)) return false;
    unsigned char random[8];
    if (getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) return false;
    char temp[64];
    std::snprintf(temp, sizeof temp, ".porlinex-%02x%02x%02x%02x%02x%02x%02x%02x.tmp", random[0], random[1], random[2],
                  random[3], random[4], random[5], random[6], random[7]);
    LPlatformFd out(openat(folder.Get(), temp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    if (!out.IsValid()) return false;
    bool ok = fchmod(out.Get(), mode) == 0 && lseek(source.Get(), 0, SEEK_SET) == 0;
    char buffer[65536];
    while (ok) {
        ssize_t n = read(source.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        for (ssize_t done = 0; ok && done < n;) {
            ssize_t w = write(out.Get(), buffer + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            ok = w > 0;
            done += w > 0 ? w : 0;
        }
    }
    ok = ok && fsync(out.Get()) == 0;
    out.Reset();
    // Checked again just before the rename: whatever took the name since is
    // left alone unless it is a regular file (a rename replaces a link
    // itself, never what it points at).
    if (ok && fstatat(folder.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(st.st_mode)) ok = false;
    ok = ok && renameat(folder.Get(), temp, folder.Get(), name.c_str()) == 0;
    if (!ok) unlinkat(folder.Get(), temp, 0);
    return ok;
}
