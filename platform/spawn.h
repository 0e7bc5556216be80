#pragma once
// Child processes: started with posix_spawn from an argument vector (never
// a shell line, never fork() in a threaded process), with pipes for their
// standard streams. A process handle is a pidfd, readable once the child
// has ended, so it can be waited on together with events and sockets.
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What a child's standard stream is connected to.
constexpr int LSpawnInherit = -1;   // the parent's own stream
constexpr int LSpawnDevNull = -2;   // /dev/null

struct LPlatformSpawnOptions {
    int stdinFd = LSpawnDevNull;
    int stdoutFd = LSpawnDevNull;
    int stderrFd = LSpawnDevNull;
    // Working folder of the child; empty: the parent's.
    std::string folder;
    // A session of its own (no controlling terminal), for programs that
    // are started and left running.
    bool newSession = false;
};

class LPlatformProcess {
public:
    LPlatformProcess() = default;
    // A child still running when its object goes is left to run; it is
    // reaped later, never left a zombie.
    ~LPlatformProcess();
    LPlatformProcess(const LPlatformProcess&) = delete;
    LPlatformProcess& operator=(const LPlatformProcess&) = delete;

    // argv[0] without a slash is looked up on PATH.
    bool Start(const std::vector<std::string>& argv, const LPlatformSpawnOptions& options);
    bool IsStarted() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }
    // The pidfd: readable once the child has ended; -1 when not started.
    int Handle() const { return pidfd_; }
    // True once the child has ended (its exit code is then known).
    bool HasEnded();
    // Waits up to ms (0xFFFFFFFF: no limit); true when the child has ended.
    bool Wait(uint32_t ms);
    // Exit code, or 128 + signal when a signal ended it; -1 while running.
    int ExitCode() const { return exit_code_; }
    // SIGKILL; the caller waits for the end.
    void Kill();
    // Forgets the child: it runs on and is reaped in the background.
    void Detach();

private:
    pid_t pid_ = -1;
    int pidfd_ = -1;
    bool ended_ = false;
    int exit_code_ = -1;
};

// A pipe whose ends are not inherited by any child (each child gets only
// the ends it is given, as its standard streams).
bool LPlatformMakePipe(int fds[2]);
// Asks for a pipe buffer of at least n bytes (best effort).
void LPlatformSetPipeSize(int fd, size_t n);
// Bytes waiting in a pipe; 0 when none or on failure.
size_t LPlatformPipeAvailable(int fd);
// True when the descriptor is readable or hung up within ms.
bool LPlatformPollReadable(int fd, uint32_t ms);
// Whole-buffer reads and writes on pipes; false at end of file or failure.
bool LPlatformWriteAll(int fd, const void* data, size_t n);
bool LPlatformReadAll(int fd, void* data, size_t n);
// One read: the bytes read, 0 at end of file or failure.
size_t LPlatformReadSome(int fd, void* data, size_t n);
void LPlatformCloseFd(int& fd);
// Opens (creating or emptying) a file for a child's output; -1 on failure.
int LPlatformOpenOutputFile(const std::string& path);
// Moves this process's standard output to a new descriptor, which it
// returns, and points descriptor 1 at standard error: a child copy of the
// program keeps its message channel to itself that way. -1 on failure.
int LPlatformTakeStandardOutput();
// Ends the process at once with exit code 1 on a crash signal (and ignores
// SIGPIPE: a parent that is gone is seen as a failed write).
void LPlatformExitOnCrashSignals(void (*handler)(int));
// The running program's own file.
std::string LPlatformSelfExecutable();
// The first executable file of that name on PATH; empty when none.
std::string LPlatformFindOnPath(const std::string& name);
