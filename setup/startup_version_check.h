#pragma once
// The version check at an ordinary start: after a crash, or when the
// operating system changed since the last check, the newest version is
// fetched and, when newer, the user is offered the update.
#include <ctime>
#include <functional>


struct LStartupFacts {
    time_t now = 0;
    time_t build = 0;        // the program's build date
    time_t osReleased = 0;   // the running system release's date
    int osVersion = 0;       // major * 100 + minor
    int osRelease = 0;       // release number, 0 before Windows 10
    bool logon = false;      // started by the log-on entry
};

// The facts of this process: clock, build date and system answers.
LStartupFacts LCurrentStartupFacts();

// The steps the start-up check hands out: the newest version (0, 1 or 2 as
// LGetNewerVersion), the offer (true for "Update") and the update download
// (0, 1 or 2).
struct LStartupSteps {
    std::function<int(double&)> getNewer;
    std::function<bool()> askUpdate;
    std::function<int()> downloadUpdate;
};

// True to go on starting, false to exit (an installer took over, or the
// check was stopped).
bool LCheckVersionAtStartupWith(const LStartupFacts& facts, const LStartupSteps& steps);
