#include "platform/unix_socket.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/root.h"

namespace {

int64_t NowMs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Milliseconds left before the deadline for poll(): -1 means no limit.
int PollBudget(uint32_t ms, int64_t start) {
    if (ms == LSocketNoLimit) return -1;
    int64_t left = start + ms - NowMs();
    return left < 0 ? 0 : static_cast<int>(left);
}

bool FillAddress(const std::string& path, sockaddr_un& a) {
    std::memset(&a, 0, sizeof a);
    a.sun_family = AF_UNIX;
    if (path.size() >= sizeof a.sun_path) return false;
    std::memcpy(a.sun_path, path.c_str(), path.size() + 1);
    return true;
}

// Waits for the socket to be ready for `events` or stop_fd to be readable.
uint32_t WaitReady(int fd, short events, int stop_fd, uint32_t ms, int64_t start) {
    for (;;) {
        pollfd p[2] = {{fd, events, 0}, {stop_fd, POLLIN, 0}};
        int n = poll(p, stop_fd >= 0 ? 2 : 1, PollBudget(ms, start));
        if (n < 0) {
            if (errno == EINTR) continue;
            return LSocketFailed;
        }
        if (n == 0) return LSocketFailed;
        if (stop_fd >= 0 && (p[1].revents & POLLIN)) return LSocketStopped;
        if (p[0].revents & (events | POLLERR | POLLHUP | POLLNVAL)) return LSocketDone;
    }
}

bool UserInGroup(uid_t uid, gid_t primary, gid_t group) {
    if (primary == group) return true;
    std::vector<char> buf(16384);
    passwd pw;
    passwd* found = nullptr;
    if (getpwuid_r(uid, &pw, buf.data(), buf.size(), &found) != 0 || !found) return false;
    int count = 64;
    std::vector<gid_t> groups(count);
    if (getgrouplist(pw.pw_name, pw.pw_gid, groups.data(), &count) < 0) {
        groups.resize(count);
        if (getgrouplist(pw.pw_name, pw.pw_gid, groups.data(), &count) < 0) return false;
    }
    for (int i = 0; i < count; ++i)
        if (groups[i] == group) return true;
    return false;
}

}  // namespace

void LUnixSocket::Reset(int fd) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
}

void LUnixSocket::Shutdown() {
    if (fd_ >= 0) shutdown(fd_, SHUT_RDWR);
}

std::string LServiceSocketPath() { return LPlatformKnownFolder(LKnownFolder::RunFolder) + "/PorlinexService"; }

bool LUnixSocketListen(const std::string& path, LUnixSocket& out) {
    sockaddr_un a;
    if (!FillAddress(path, a)) return false;
    size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0 &&
        !LPlatformCreateFolderTree(path.substr(0, slash), LPlatformSharedFolderMode))
        return false;
    struct stat st;
    if (lstat(path.c_str(), &st) == 0) {
        // Only a socket that nobody serves any more may be replaced: a live
        // one belongs to a running service, anything else is not ours.
        if (!S_ISSOCK(st.st_mode)) return false;
        LUnixSocket probe;
        if (LUnixSocketConnect(path, probe)) return false;
        unlink(path.c_str());
    }
    LUnixSocket s(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!s.Valid()) return false;
    if (bind(s.Fd(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return false;
    // bind honours the umask; the access rule must hold whatever it says.
    // The folder is not open to others, so the moment before chmod is safe.
    if (chmod(path.c_str(), LPlatformSharedFileMode) != 0 || listen(s.Fd(), 64) != 0) {
        unlink(path.c_str());
        return false;
    }
    out = std::move(s);
    return true;
}

uint32_t LUnixSocketAccept(int listen_fd, int stop_fd, LUnixSocket& out) {
    for (;;) {
        int fd = accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd >= 0) {
            out.Reset(fd);
            return LSocketDone;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return LSocketFailed;
        uint32_t r = WaitReady(listen_fd, POLLIN, stop_fd, LSocketNoLimit, NowMs());
        if (r != LSocketDone) return r;
    }
}

gid_t LPathGroup(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return static_cast<gid_t>(-1);
    return st.st_gid;
}

bool LUnixSocketPeerAllowed(int fd, gid_t allowed_group) {
    ucred cred;
    socklen_t len = sizeof cred;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) return false;
    if (cred.uid == 0 || cred.uid == geteuid()) return true;
    if (allowed_group == static_cast<gid_t>(-1)) return false;
    return UserInGroup(cred.uid, cred.gid, allowed_group);
}

bool LUnixSocketPeerUid(int fd, uid_t& uid) {
    ucred cred;
    socklen_t len = sizeof cred;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) return false;
    uid = cred.uid;
    return true;
}

bool LUnixSocketConnect(const std::string& path, LUnixSocket& out) {
    sockaddr_un a;
    if (!FillAddress(path, a)) return false;
    LUnixSocket s(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!s.Valid()) return false;
    int r;
    do {
        r = connect(s.Fd(), reinterpret_cast<sockaddr*>(&a), sizeof a);
    } while (r != 0 && errno == EINTR);
    if (r != 0) return false;
    // Connected blocking (a Unix connect completes at once or fails), then
    // non-blocking for the time-limited reads and writes.
    int flags = fcntl(s.Fd(), F_GETFL);
    if (flags < 0 || fcntl(s.Fd(), F_SETFL, flags | O_NONBLOCK) != 0) return false;
    out = std::move(s);
    return true;
}

uint32_t LUnixSocketRead(int fd, void* buf, size_t n, uint32_t ms, int stop_fd) {
    auto* p = static_cast<unsigned char*>(buf);
    int64_t start = NowMs();
    size_t got = 0;
    while (got < n) {
        ssize_t r = recv(fd, p + got, n - got, MSG_DONTWAIT);
        if (r > 0) {
            got += static_cast<size_t>(r);
            continue;
        }
        if (r == 0) return LSocketFailed;
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return LSocketFailed;
        uint32_t w = WaitReady(fd, POLLIN, stop_fd, ms, start);
        if (w != LSocketDone) return w;
    }
    return LSocketDone;
}

uint32_t LUnixSocketWrite(int fd, const void* buf, size_t n, uint32_t ms, int stop_fd) {
    const auto* p = static_cast<const unsigned char*>(buf);
    int64_t start = NowMs();
    size_t sent = 0;
    while (sent < n) {
        ssize_t r = send(fd, p + sent, n - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (r > 0) {
            sent += static_cast<size_t>(r);
            continue;
        }
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return LSocketFailed;
        uint32_t w = WaitReady(fd, POLLOUT, stop_fd, ms, start);
        if (w != LSocketDone) return w;
    }
    return LSocketDone;
}
