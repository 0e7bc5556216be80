#pragma once
// The state file through which the service tells starters and status
// queries where it stands: "PorlinexService.state" in the run folder, two
// lines "State=<word>" and "Pid=<number>". It is replaced whole on every
// change, so a reader sees the old or the new record, never half of one.
#include <sys/types.h>

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

// Writes the record for this process. True when the file was replaced.
bool LServiceStateWrite(LServiceState state, pid_t pid);
// Reads the record; Unknown when the file is missing or does not parse.
LServiceStateRecord LServiceStateRead();
// The record as it stands for a status query: a record whose process no
// longer exists reads as stopped (the service was killed without a chance
// to write it).
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
