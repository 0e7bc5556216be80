#include "platform/service_state.h"

#include <fcntl.h>
#include <pthread.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/root.h"

namespace {

constexpr const char* kWords[] = {"unknown", "stopped", "start-pending", "stop-pending", "running"};

extern "C" char** environ;

bool ProcessExists(pid_t pid) { return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM); }

// posix_spawnp with std streams on /dev/null, no other descriptor of the
// caller and "/" as its folder (a service started this way must hold no
// file, socket or folder of its starter); the child's pid or -1.
pid_t SpawnQuiet(const std::vector<std::string>& argv) {
    if (argv.empty()) return -1;
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&fa, 3);
    posix_spawn_file_actions_addchdir_np(&fa, "/");
    // The child starts with no blocked signals, whatever the caller blocks.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);
    pid_t pid = -1;
    int r = posix_spawnp(&pid, args[0], &fa, &attr, args.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&fa);
    return r == 0 ? pid : -1;
}

int WaitExit(pid_t pid) {
    int st = 0;
    while (waitpid(pid, &st, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

}  // namespace

std::string LServiceStatePath() {
    return LPlatformKnownFolder(LKnownFolder::RunFolder) + "/PorlinexService.state";
}

const char* LServiceStateWord(LServiceState s) {
    int i = static_cast<int>(s);
    return (i >= 0 && i <= 4) ? kWords[i] : kWords[0];
}

LServiceState LServiceStateFromWord(const std::string& word) {
    for (int i = 1; i <= 4; ++i)
        if (word == kWords[i]) return static_cast<LServiceState>(i);
    return LServiceState::Unknown;
}

bool LServiceStateWrite(LServiceState state, pid_t pid) {
    std::string folder = LPlatformKnownFolder(LKnownFolder::RunFolder);
    if (!LPlatformCreateFolderTree(folder, LPlatformSharedFolderMode)) return false;
    char text[96];
    std::snprintf(text, sizeof text, "State=%s\nPid=%d\n", LServiceStateWord(state), static_cast<int>(pid));
    return LServiceReplaceFile(LServiceStatePath(), text, LPlatformSharedFileMode);
}

LServiceStateRecord LServiceStateRead() {
    LServiceStateRecord r;
    std::ifstream f(LServiceStatePath());
    std::string line;
    while (std::getline(f, line)) {
        if (line.rfind("State=", 0) == 0) r.state = LServiceStateFromWord(line.substr(6));
        if (line.rfind("Pid=", 0) == 0) r.pid = static_cast<pid_t>(std::strtol(line.c_str() + 4, nullptr, 10));
    }
    return r;
}

namespace {

std::string LifeLockPath() { return LPlatformKnownFolder(LKnownFolder::RunFolder) + "/PorlinexService.lock"; }

// The whole file, as a write lock.
struct flock WholeFile(short type) {
    struct flock l {};
    l.l_type = type;
    l.l_whence = SEEK_SET;
    return l;
}

// Set while this process holds the life lock. Record locks belong to the
// process, and closing any descriptor of the file would drop them: the
// holder never opens the file again to ask.
std::atomic<pid_t> g_life_lock_holder{0};

}  // namespace

LServiceLifeLock::~LServiceLifeLock() {
    if (fd_ < 0) return;
    g_life_lock_holder = 0;
    close(fd_);  // releases the lock
}

bool LServiceLifeLock::Take() {
    if (fd_ >= 0) return true;
    std::string folder = LPlatformKnownFolder(LKnownFolder::RunFolder);
    if (!LPlatformCreateFolderTree(folder, LPlatformSharedFolderMode)) return false;
    int fd = open(LifeLockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, LPlatformSharedFileMode);
    if (fd < 0) return false;
    fchmod(fd, LPlatformSharedFileMode);  // status queries of the group read it
    struct flock l = WholeFile(F_WRLCK);
    if (fcntl(fd, F_SETLK, &l) != 0) {
        close(fd);
        return false;
    }
    fd_ = fd;
    g_life_lock_holder = getpid();
    return true;
}

pid_t LServiceLifeLockHolder() {
    if (pid_t mine = g_life_lock_holder.load()) return mine;
    int fd = open(LifeLockPath().c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return 0;
    struct flock l = WholeFile(F_WRLCK);
    pid_t holder = fcntl(fd, F_GETLK, &l) == 0 && l.l_type != F_UNLCK ? l.l_pid : 0;
    close(fd);
    return holder;
}

LServiceStateRecord LServiceStateQuery() {
    LServiceStateRecord r = LServiceStateRead();
    pid_t holder = LServiceLifeLockHolder();
    if (holder <= 0) {
        if (r.state != LServiceState::Unknown) r.state = LServiceState::Stopped;
        r.pid = 0;
    } else if (r.pid != holder) {
        r.state = LServiceState::StartPending;
        r.pid = holder;
    }
    return r;
}

bool LServiceSpawnDetached(const std::string& program, const std::vector<std::string>& args) {
    // setsid --fork: the service gets a session of its own and, its parent
    // ending at once, is re-parented to init; the caller never has to reap
    // it and it outlives the caller.
    std::vector<std::string> argv = {"setsid", "--fork", program};
    argv.insert(argv.end(), args.begin(), args.end());
    return LServiceRunTool(argv) == 0;
}

int LServiceRunTool(const std::vector<std::string>& argv) {
    pid_t pid = SpawnQuiet(argv);
    return pid > 0 ? WaitExit(pid) : -1;
}

bool LServiceSignalStop(pid_t pid) { return pid > 0 && kill(pid, SIGTERM) == 0; }

bool LServiceProcessExists(pid_t pid) { return ProcessExists(pid); }

void LServiceSetProcessLimits(uint64_t descriptors) {
    umask(007);
    rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= descriptors) return;
    limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? descriptors : std::min<rlim_t>(limit.rlim_max, descriptors);
    setrlimit(RLIMIT_NOFILE, &limit);
}

bool LServiceSystemdRuns() {
    struct stat st;
    return LPlatformRoot().empty() && stat("/run/systemd/system", &st) == 0 && S_ISDIR(st.st_mode);
}

namespace {

// False when the name is no user of this machine.
bool LookUpUser(const std::string& name, std::string* home) {
    std::vector<char> buf(16384);
    passwd pw;
    passwd* found = nullptr;
    if (name.empty() || getpwnam_r(name.c_str(), &pw, buf.data(), buf.size(), &found) != 0 || !found) return false;
    if (home) *home = found->pw_dir ? found->pw_dir : "";
    return true;
}

}  // namespace

bool LServiceUserExists(const std::string& name) { return LookUpUser(name, nullptr); }

std::string LServiceUserHome(const std::string& name) {
    std::string home;
    LookUpUser(name, &home);
    return home;
}

bool LServiceGroupExists(const std::string& name) {
    std::vector<char> buf(16384);
    group gr;
    group* found = nullptr;
    return !name.empty() && getgrnam_r(name.c_str(), &gr, buf.data(), buf.size(), &found) == 0 && found;
}

bool LServiceReplaceFile(const std::string& path, const std::string& text, unsigned mode) {
    // The process id keeps two writers (a failing second service, say) off
    // each other's temporary file.
    std::string tmp = path + "." + std::to_string(getpid()) + ".tmp";
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, mode);
    if (fd < 0) return false;
    bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    // The mode must hold whatever the umask says.
    ok = fchmod(fd, mode) == 0 && ok;
    ok = fsync(fd) == 0 && ok;
    ok = close(fd) == 0 && ok;
    if (!ok || rename(tmp.c_str(), path.c_str()) != 0) {
        unlink(tmp.c_str());
        return false;
    }
    return true;
}

bool LServiceRemoveFile(const std::string& path) { return unlink(path.c_str()) == 0 || errno == ENOENT; }

bool LServiceSetLink(const std::string& link, const std::string& target, bool present) {
    if (!LServiceRemoveFile(link)) return false;
    return !present || symlink(target.c_str(), link.c_str()) == 0;
}

bool LServiceProgramRunnable(const std::string& path) { return access(path.c_str(), X_OK) == 0; }

LServiceControlSignals::LServiceControlSignals() {
    sigset_t controls;
    sigemptyset(&controls);
    sigaddset(&controls, SIGTERM);
    sigaddset(&controls, SIGINT);
    pthread_sigmask(SIG_BLOCK, &controls, nullptr);
    signal(SIGHUP, SIG_IGN);
    signal(SIGPIPE, SIG_IGN);
    fd_ = signalfd(-1, &controls, SFD_CLOEXEC | SFD_NONBLOCK);
}

LServiceControlSignals::~LServiceControlSignals() {
    if (fd_ >= 0) close(fd_);
}

uint32_t LServiceControlSignals::Next() {
    signalfd_siginfo si;
    if (fd_ < 0 || read(fd_, &si, sizeof si) != static_cast<ssize_t>(sizeof si)) return 0;
    return si.ssi_signo == SIGINT ? 5 : 1;
}
