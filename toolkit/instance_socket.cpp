#include "toolkit/instance_socket.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "platform/root.h"
#include "toolkit/window_types.h"

namespace {

constexpr int kRingWaitMs = 1000;

bool Address(const std::string& path, sockaddr_un& a) {
    memset(&a, 0, sizeof a);
    a.sun_family = AF_UNIX;
    if (path.size() >= sizeof a.sun_path) return false;
    memcpy(a.sun_path, path.data(), path.size());
    return true;
}

int Connect(const std::string& path) {
    sockaddr_un a;
    if (!Address(path, a)) return -1;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool Acceptable(uint32_t m) { return m == LWM_OPENREQUEST || m == LWM_INSTANCEEXIT; }

}  // namespace

std::string LInstanceSocketPath() {
    // The run folder may be shared when a root is set: the user id keeps
    // each user's desktop apart.
    return LPlatformKnownFolder(LKnownFolder::UserRunFolder) + "/porlinex-desktop-" + std::to_string(getuid());
}

bool LInstanceSocket::Listen(const std::string& path) {
    path_ = path;
    size_t slash = path_.rfind('/');
    if (slash != std::string::npos && slash > 0) LPlatformCreateFolderTree(path_.substr(0, slash), 0700);
    int other = Connect(path_);
    if (other >= 0) {
        close(other);
        return false;
    }
    unlink(path_.c_str());
    sockaddr_un a;
    if (!Address(path_, a)) return false;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return false;
    socket_.Reset(fd);
    mode_t old = umask(0077);
    bool bound = bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    umask(old);
    if (!bound || listen(fd, 8) != 0) {
        socket_.Close();
        return false;
    }
    return true;
}

uint32_t LInstanceSocket::Accept() {
    int c = accept4(socket_.Fd(), nullptr, nullptr, SOCK_CLOEXEC);
    if (c < 0) return 0;
    LUnixSocket client(c);
    ucred cred{};
    socklen_t len = sizeof cred;
    if (getsockopt(c, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || cred.uid != getuid()) return 0;
    // One message id; a ringer that sends nothing in time is dropped.
    unsigned char buf[4];
    size_t got = 0;
    while (got < sizeof buf) {
        pollfd p{c, POLLIN, 0};
        if (poll(&p, 1, kRingWaitMs) <= 0) return 0;
        ssize_t n = read(c, buf + got, sizeof buf - got);
        if (n <= 0) return 0;
        got += static_cast<size_t>(n);
    }
    uint32_t m = buf[0] | (buf[1] << 8) | (buf[2] << 16) | (static_cast<uint32_t>(buf[3]) << 24);
    if (!Acceptable(m)) return 0;
    unsigned char ok = 1;
    (void)!write(c, &ok, 1);
    return m;
}

void LInstanceSocket::Close() {
    if (!socket_.Valid()) return;
    socket_.Close();
    unlink(path_.c_str());
}

bool LInstanceSocketSendTo(const std::string& path, uint32_t message) {
    int fd = Connect(path);
    if (fd < 0) return false;
    LUnixSocket s(fd);
    unsigned char buf[4] = {static_cast<unsigned char>(message), static_cast<unsigned char>(message >> 8),
                            static_cast<unsigned char>(message >> 16), static_cast<unsigned char>(message >> 24)};
    if (write(fd, buf, sizeof buf) != static_cast<ssize_t>(sizeof buf)) return false;
    pollfd p{fd, POLLIN, 0};
    unsigned char ok = 0;
    return poll(&p, 1, kRingWaitMs) > 0 && read(fd, &ok, 1) == 1 && ok == 1;
}
