#include "platform/spawn.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>

#include "platform/socket.h"

extern char** environ;

namespace {

// Children whose objects went while they ran: reaped at every later start,
// so an abandoned child never stays a zombie for long.
std::mutex g_orphans_lock;
std::vector<pid_t> g_orphans;

void ReapOrphans() {
    std::lock_guard<std::mutex> lock(g_orphans_lock);
    for (size_t i = 0; i < g_orphans.size();) {
        pid_t r = waitpid(g_orphans[i], nullptr, WNOHANG);
        if (r == 0) {
            ++i;
            continue;
        }
        g_orphans[i] = g_orphans.back();
        g_orphans.pop_back();
    }
}

int ExitCodeOf(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

class LSpawnActions {
public:
    LSpawnActions() { ok = posix_spawn_file_actions_init(&actions) == 0; }
    ~LSpawnActions() {
        if (ok) posix_spawn_file_actions_destroy(&actions);
    }
    LSpawnActions(const LSpawnActions&) = delete;
    LSpawnActions& operator=(const LSpawnActions&) = delete;
    bool Stream(int child_fd, int fd) {
        if (fd == LSpawnInherit) return true;
        if (fd == LSpawnDevNull)
            return posix_spawn_file_actions_addopen(&actions, child_fd, "/dev/null",
                                                    child_fd == 0 ? O_RDONLY : O_WRONLY, 0) == 0;
        return posix_spawn_file_actions_adddup2(&actions, fd, child_fd) == 0;
    }
    posix_spawn_file_actions_t actions;
    bool ok = false;
};

}  // namespace

LPlatformProcess::~LPlatformProcess() {
    if (pid_ > 0 && !HasEnded()) Detach();
    LPlatformCloseFd(pidfd_);
}

bool LPlatformProcess::Start(const std::vector<std::string>& argv, const LPlatformSpawnOptions& o) {
    ReapOrphans();
    if (pid_ > 0 || argv.empty()) return false;
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    LSpawnActions fa;
    if (!fa.ok || !fa.Stream(0, o.stdinFd) || !fa.Stream(1, o.stdoutFd) || !fa.Stream(2, o.stderrFd)) return false;
    if (!o.folder.empty() && posix_spawn_file_actions_addchdir_np(&fa.actions, o.folder.c_str()) != 0) return false;
    posix_spawnattr_t attr;
    if (posix_spawnattr_init(&attr) != 0) return false;
    // The child starts with default signal handling and an empty mask, whatever
    // this process ignores or blocks (SIGPIPE is ignored here).
    sigset_t all, none;
    sigfillset(&all);
    sigemptyset(&none);
    short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
    if (o.newSession) flags |= POSIX_SPAWN_SETSID;
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, flags);
    const bool search = argv[0].find('/') == std::string::npos;
    pid_t pid = -1;
    int rc = search ? posix_spawnp(&pid, args[0], &fa.actions, &attr, args.data(), environ)
                    : posix_spawn(&pid, args[0], &fa.actions, &attr, args.data(), environ);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) return false;
    pid_ = pid;
    ended_ = false;
    exit_code_ = -1;
    pidfd_ = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (pidfd_ >= 0) fcntl(pidfd_, F_SETFD, FD_CLOEXEC);
    return true;
}

bool LPlatformProcess::HasEnded() {
    if (pid_ <= 0 || ended_) return ended_;
    int status = 0;
    pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_ || (r < 0 && errno == ECHILD)) {
        ended_ = true;
        exit_code_ = r == pid_ ? ExitCodeOf(status) : -1;
    }
    return ended_;
}

bool LPlatformProcess::Wait(uint32_t ms) {
    if (pid_ <= 0) return false;
    if (HasEnded()) return true;
    if (pidfd_ < 0) {
        // No pidfd (an old kernel): poll the status in small steps.
        for (uint32_t waited = 0; ms == 0xFFFFFFFFu || waited < ms; waited += 10) {
            usleep(10000);
            if (HasEnded()) return true;
        }
        return false;
    }
    LPlatformPollReadable(pidfd_, ms);
    return HasEnded();
}

void LPlatformProcess::Kill() {
    if (pid_ > 0 && !HasEnded()) kill(pid_, SIGKILL);
}

void LPlatformProcess::Detach() {
    if (pid_ > 0 && !HasEnded()) {
        std::lock_guard<std::mutex> lock(g_orphans_lock);
        g_orphans.push_back(pid_);
    }
    pid_ = -1;
    ended_ = false;
    LPlatformCloseFd(pidfd_);
}

bool LPlatformMakePipe(int fds[2]) {
    // A child that ends before it read what we write must not end us too.
    LPlatformIgnoreSigpipe();
    return pipe2(fds, O_CLOEXEC) == 0;
}

void LPlatformSetPipeSize(int fd, size_t n) {
    if (n > 4096 && n < (1u << 20)) fcntl(fd, F_SETPIPE_SZ, static_cast<int>(n));
}

size_t LPlatformPipeAvailable(int fd) {
    int n = 0;
    return ioctl(fd, FIONREAD, &n) == 0 && n > 0 ? static_cast<size_t>(n) : 0;
}

bool LPlatformPollReadable(int fd, uint32_t ms) {
    pollfd p{fd, POLLIN, 0};
    int timeout = ms == 0xFFFFFFFFu ? -1 : ms > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(ms);
    for (;;) {
        int r = poll(&p, 1, timeout);
        if (r < 0 && errno == EINTR) continue;
        return r > 0;
    }
}

bool LPlatformWriteAll(int fd, const void* data, size_t n) {
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        ssize_t w = write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

bool LPlatformReadAll(int fd, void* data, size_t n) {
    char* p = static_cast<char*>(data);
    while (n > 0) {
        ssize_t r = read(fd, p, n);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

size_t LPlatformReadSome(int fd, void* data, size_t n) {
    for (;;) {
        ssize_t r = read(fd, data, n);
        if (r < 0 && errno == EINTR) continue;
        return r > 0 ? static_cast<size_t>(r) : 0;
    }
}

void LPlatformCloseFd(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

int LPlatformOpenOutputFile(const std::string& path) {
    return open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
}

int LPlatformTakeStandardOutput() {
    int fd = fcntl(1, F_DUPFD_CLOEXEC, 3);
    if (fd >= 0) dup2(2, 1);
    return fd;
}

void LPlatformExitOnCrashSignals(void (*handler)(int)) {
    LPlatformIgnoreSigpipe();
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) signal(sig, handler);
}

std::string LPlatformSelfExecutable() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

std::string LPlatformFindOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string list = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= list.size()) {
        size_t colon = list.find(':', start);
        std::string dir = list.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
        if (colon == std::string::npos) break;
        start = colon + 1;
    }
    return {};
}
