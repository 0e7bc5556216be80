#pragma once
// The local channel between desktops and the service: a Unix domain stream
// socket in the run folder, in place of a named pipe. Reads and writes take
// a time limit and a stop descriptor, so a reader thread can be told to end
// and a stuck peer cannot hold a writer for long.
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

// Results of the waiting operations.
constexpr uint32_t LSocketDone = 0;
constexpr uint32_t LSocketStopped = 1;
constexpr uint32_t LSocketFailed = 2;  // failure, time-out or the peer went away
constexpr uint32_t LSocketNoLimit = 0xFFFFFFFFu;

// An owned descriptor: closed when the object goes.
class LUnixSocket {
public:
    LUnixSocket() = default;
    explicit LUnixSocket(int fd) : fd_(fd) {}
    ~LUnixSocket() { Close(); }
    LUnixSocket(LUnixSocket&& o) noexcept : fd_(o.Release()) {}
    LUnixSocket& operator=(LUnixSocket&& o) noexcept {
        if (this != &o) Reset(o.Release());
        return *this;
    }
    LUnixSocket(const LUnixSocket&) = delete;
    LUnixSocket& operator=(const LUnixSocket&) = delete;

    int Fd() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    int Release() {
        int f = fd_;
        fd_ = -1;
        return f;
    }
    void Reset(int fd = -1);
    void Close() { Reset(); }
    // Ends both directions so that a thread blocked on the socket wakes,
    // while the descriptor stays valid until Close.
    void Shutdown();

private:
    int fd_ = -1;
};

// The service socket "PorlinexService" in the run folder.
std::string LServiceSocketPath();

// Makes the run folder (owner and the group of allowed users), replaces a
// stale socket file, binds and listens. The socket file gets mode 0660 and
// the folder's group, so only the service's user and that group can connect.
bool LUnixSocketListen(const std::string& path, LUnixSocket& out);

// Accepts one client, waiting until one comes or stop_fd is readable.
// LSocketDone with out set; LSocketStopped; LSocketFailed with errno kept.
uint32_t LUnixSocketAccept(int listen_fd, int stop_fd, LUnixSocket& out);

// True when the connected peer may talk to this process: root, the same
// user, or a member of the group that owns the socket's folder.
bool LUnixSocketPeerAllowed(int fd, gid_t allowed_group);
// The connected peer's user id; false when it cannot be read.
bool LUnixSocketPeerUid(int fd, uid_t& uid);
// The group of a file or folder; (gid_t)-1 when it cannot be read.
gid_t LPathGroup(const std::string& path);

// Connects to the socket at path. False when nobody listens there.
bool LUnixSocketConnect(const std::string& path, LUnixSocket& out);

// Reads exactly n bytes within ms (LSocketNoLimit: no limit), ending early
// with LSocketStopped when stop_fd (may be -1) becomes readable.
uint32_t LUnixSocketRead(int fd, void* buf, size_t n, uint32_t ms, int stop_fd);
// Writes all n bytes within ms, with the same stop rule.
uint32_t LUnixSocketWrite(int fd, const void* buf, size_t n, uint32_t ms, int stop_fd);
