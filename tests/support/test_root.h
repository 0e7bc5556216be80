#pragma once
// Helpers shared by every test program: a fresh PORLINEX_ROOT in a temporary
// folder, free loopback ports, and child processes that are always stopped.
#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

// Makes a fresh temporary folder and points PORLINEX_ROOT at it for the
// object's life; removes it afterwards.
class LTestRoot {
public:
    LTestRoot();
    ~LTestRoot();
    LTestRoot(const LTestRoot&) = delete;
    LTestRoot& operator=(const LTestRoot&) = delete;
    const std::string& Path() const { return path_; }
    std::string DataFolder() const { return path_ + "/var/lib/Vek Software/Porlinex"; }

private:
    std::string path_;
    std::string old_root_;
    bool had_root_ = false;
};

// A TCP port on 127.0.0.1 that nothing listens on right now.
int LTestFreePort();

// A child process started from an argument vector, killed (SIGKILL after a
// grace period) if still running when the object goes.
class LTestProcess {
public:
    LTestProcess() = default;
    explicit LTestProcess(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env = {});
    ~LTestProcess();
    LTestProcess(const LTestProcess&) = delete;
    LTestProcess& operator=(const LTestProcess&) = delete;
    pid_t Pid() const { return pid_; }
    bool Running();
    // Sends a signal and waits up to timeout_ms; returns the exit code, or
    // -1 when it did not exit in time, or 128 + signal when killed by one.
    int Signal(int sig, int timeout_ms);
    int Wait(int timeout_ms);

private:
    pid_t pid_ = -1;
    int status_ = -1;
};

// Path of the built program.
std::string LTestProgramPath();
// Reads a whole file; empty when missing.
std::string LTestReadFile(const std::string& path);
// Polls until the predicate holds or timeout_ms passes.
bool LTestWaitFor(int timeout_ms, const std::function<bool()>& pred);
