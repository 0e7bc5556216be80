#pragma once
// A private display for the desktop tests: Xvfb on a display number it
// picks itself (-displayfd), a private session bus (for the accessibility
// bus and taskbar signals), fixed fonts (DejaVu only) and a fixed theme
// (Adwaita). Started once per test process, stopped when it exits; the
// process's environment points GTK and every child tool at it.
#include <string>
#include <vector>

class LTestDisplay {
public:
    // The shared instance, started on first use; Ok() tells whether it runs.
    static LTestDisplay& Shared();
    ~LTestDisplay();
    bool Ok() const { return ok_; }
    const std::string& Display() const { return display_; }
    const std::string& Folder() const { return folder_; }
    // What went wrong when it did not start.
    const std::string& Error() const { return error_; }

private:
    LTestDisplay();
    bool StartXvfb();
    bool StartBus();
    bool ok_ = false;
    int xvfb_pid_ = -1;
    int bus_pid_ = -1;
    std::string display_, folder_, error_;
};

// Runs a program (argv, no shell) with the process's environment and
// returns its standard output (and its standard error too when asked);
// *exit_code gets its exit code, or -1 when it did not end within
// timeout_ms (it is killed then).
std::string LTestRunCapture(const std::vector<std::string>& argv, int timeout_ms, int* exit_code = nullptr,
                            bool with_stderr = false);
