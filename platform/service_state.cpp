#include "platform/service_state.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/root.h"

namespace {

constexpr const char* kWords[] = {"unknown", "stopped", "start-pending", "stop-pending", "running"};

bool ProcessExists(pid_t pid) { return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM); }

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
    std::string path = LServiceStatePath();
    std::string tmp = path + "." + std::to_string(getpid()) + ".tmp";
    char text[96];
    int n = std::snprintf(text, sizeof text, "State=%s\nPid=%d\n", LServiceStateWord(state), static_cast<int>(pid));
    // O_NOFOLLOW: the service never writes through a link planted in the
    // run folder.
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, LPlatformSharedFileMode);
    if (fd < 0) return false;
    bool ok = write(fd, text, static_cast<size_t>(n)) == n;
    ok = fchmod(fd, LPlatformSharedFileMode) == 0 && ok;
    ok = close(fd) == 0 && ok;
    if (!ok || rename(tmp.c_str(), path.c_str()) != 0) {
        unlink(tmp.c_str());
        return false;
    }
    return true;
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

LServiceStateRecord LServiceStateQuery() {
    LServiceStateRecord r = LServiceStateRead();
    if (r.state != LServiceState::Unknown && r.state != LServiceState::Stopped && !ProcessExists(r.pid))
        r.state = LServiceState::Stopped;
    return r;
}
