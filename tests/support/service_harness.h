#pragma once
// Starts the built program as the service (`porlinex -service ...`) under
// the current PORLINEX_ROOT and waits until its state file says running;
// stops it with SIGTERM when the object goes.
#include <memory>
#include <string>
#include <vector>

#include "tests/support/test_root.h"

class LTestService {
public:
    explicit LTestService(const std::vector<std::string>& start_args = {"-manual"});
    ~LTestService();
    LTestService(const LTestService&) = delete;
    LTestService& operator=(const LTestService&) = delete;

    // Waits up to timeout_ms for the state file to say `word`.
    bool WaitForState(const char* word, int timeout_ms = 20000);
    bool WaitRunning(int timeout_ms = 20000) { return WaitForState("running", timeout_ms); }
    // Waits until both web ports take connections: the listeners have
    // started (after the certificates of a first start are made), so their
    // "listening" events are behind anyone who links to the service later.
    bool WaitWebListening(int timeout_ms = 30000);
    // SIGTERM and the exit code (-1 when it did not end in time).
    int Stop(int timeout_ms = 20000);
    LTestProcess& Process() { return *process_; }
    // The text of the service's daily log file and activity file.
    static std::string LogText();
    static std::string ActivityText();

private:
    std::unique_ptr<LTestProcess> process_;
};

// Gives the web server free ports in the current root's settings (unless
// set), so that services of tests running side by side never fight over the
// default ports. LTestService does it itself.
void LTestUseFreeWebPorts();

// The state word of the run folder's state file, "" when there is none.
std::string LTestServiceStateWord();
