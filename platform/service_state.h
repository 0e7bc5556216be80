#pragma once
// The state file through which the service tells starters and status
// queries where it stands: "PorlinexService.state" in the run folder, two
// lines "State=<word>" and "Pid=<number>". It is replaced whole on every
// change, so a reader sees the old or the new record, never half of one.
#include <sys/types.h>

#include <string>

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
