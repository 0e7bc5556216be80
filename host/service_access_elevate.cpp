#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "foundation/log.h"
#include "host/service_access_dialog.h"

extern char** environ;

namespace {

std::string ProgramPath() {
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
}

std::string FindOnPath(const char* name) {
    const char* path = std::getenv("PATH");
    std::string all = path ? path : "";
    size_t start = 0;
    while (start <= all.size()) {
        size_t end = all.find(':', start);
        if (end == std::string::npos) end = all.size();
        std::string candidate = all.substr(start, end - start) + "/" + name;
        if (end > start && access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return {};
}

// Waits for the child at most timeout_ms; a child still running then is
// left to finish on its own (it only applies the stored choice).
bool WaitBounded(pid_t pid, int timeout_ms) {
    for (int waited = 0; waited < timeout_ms; waited += 50) {
        int status = 0;
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (r < 0) return false;
        usleep(50 * 1000);
    }
    LLogWarningF("Applying the service permissions goes on in the background.");
    return true;
}

}  // namespace

bool LServiceApplyAccessElevated(std::string& command_out) {
    if (geteuid() == 0) return LServiceApplyAccess();
    std::string program = ProgramPath();
    std::string quoted;
    for (char c : program) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    command_out = "sudo '" + quoted + "' -setaccess";
    std::string pkexec = FindOnPath("pkexec");
    if (pkexec.empty() || program.empty()) return false;
    std::string flag = "-setaccess";
    char* argv[] = {pkexec.data(), program.data(), flag.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, pkexec.c_str(), nullptr, nullptr, argv, environ) != 0) return false;
    return WaitBounded(pid, 20000);
}
