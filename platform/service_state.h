#pragma once
// The state file through which the service tells starters and status
// queries where it stands: "PorlinexService.state" in the run folder, two
// lines "State=<word>" and "Pid=<number>". It is replaced whole on every
// change, so a reader sees the old or the new record, never half of one.
#include <sys/types.h>

#include <cstdint>

#include <string>
#include <vector>

// The service manager's state numbers, kept so callers can compare them.
enum class LServiceState : int {
    Unknown = 0,
    Stopped = 1,
    StartPending = 2,
    StopPending = 3,
    Running = 4,
};

struct LServiceStateRecord {
    LServiceState state = LServiceState::Unknown;
    pid_t pid = 0;
};

std::string LServiceStatePath();
const char* LServiceStateWord(LServiceState s);
LServiceState LServiceStateFromWord(const std::string& word);

// The lock a service holds for its whole life: "PorlinexService.lock" in
// the run folder. A pid in the state file is believed only while the
// process of that pid holds the lock: a service that was killed leaves its
// pid behind, and that pid may name any other process by now.
class LServiceLifeLock {
public:
    LServiceLifeLock() = default;
    ~LServiceLifeLock();
    LServiceLifeLock(const LServiceLifeLock&) = delete;
    LServiceLifeLock& operator=(const LServiceLifeLock&) = delete;
    // False when another process holds it, or it cannot be made.
    bool Take();

private:
    int fd_ = -1;
};
// The pid of the process that holds the life lock; 0 when none does.
pid_t LServiceLifeLockHolder();

// Writes the record for this process. True when the file was replaced.
bool LServiceStateWrite(LServiceState state, pid_t pid);
// Reads the record; Unknown when the file is missing or does not parse.
LServiceStateRecord LServiceStateRead();
// The record as it stands for a status query, its pid that of the life
// lock's holder: without a holder it reads as stopped (the service was
// killed without a chance to write it), and a holder that has not written
// its record yet reads as starting.
LServiceStateRecord LServiceStateQuery();

// The process side of starting and stopping the service.
// Starts program with args detached from the caller: a session of its own,
// re-parented away from the caller, standard streams on /dev/null.
bool LServiceSpawnDetached(const std::string& program, const std::vector<std::string>& args);
// Runs a tool (looked up in PATH), std streams on /dev/null, and waits for
// it: its exit code, or -1 when it could not run.
int LServiceRunTool(const std::vector<std::string>& argv);
// Sends the stop control (SIGTERM). False when it could not be sent.
bool LServiceSignalStop(pid_t pid);
bool LServiceProcessExists(pid_t pid);
// True when systemd manages this machine and the root is "/": only then is
// the service started and stopped through systemctl.
bool LServiceSystemdRuns();
// True when the account names a user of this machine.
bool LServiceUserExists(const std::string& name);
// The user's home folder; empty when unknown.
std::string LServiceUserHome(const std::string& name);
bool LServiceGroupExists(const std::string& name);

// Files of the service layer (the state file, the systemd unit).
// Replaces a file whole: a temporary file beside it, fsync, rename; never
// written through a symbolic link.
bool LServiceReplaceFile(const std::string& path, const std::string& text, unsigned mode);
// True when the file is gone afterwards (also when it was never there).
bool LServiceRemoveFile(const std::string& path);
// Makes the symbolic link to target (replacing what is there), or removes it.
bool LServiceSetLink(const std::string& link, const std::string& target, bool present);
bool LServiceProgramRunnable(const std::string& path);

// The service's own process: whatever it makes without a mode of its own
// is never open to others (umask 007), and it may hold up to `descriptors`
// open files where the hard limit allows (the soft limit of a shell, 1024,
// is too few for its connections).
void LServiceSetProcessLimits(uint64_t descriptors);

// The stop (SIGTERM) and shutdown (SIGINT) controls. The constructor blocks
// both in the calling thread, so every thread started later inherits the
// mask and no thread is ever interrupted by them; SIGHUP and SIGPIPE are
// ignored. Handle() becomes readable while a control is pending.
class LServiceControlSignals {
public:
    LServiceControlSignals();
    ~LServiceControlSignals();
    LServiceControlSignals(const LServiceControlSignals&) = delete;
    LServiceControlSignals& operator=(const LServiceControlSignals&) = delete;
    int Handle() const { return fd_; }
    // The next pending control: 1 stop, 5 shutdown, 0 none.
    uint32_t Next();

private:
    int fd_ = -1;
};
