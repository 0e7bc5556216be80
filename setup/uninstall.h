#pragma once
// Removing the installation.
#include <string>
#include <sys/types.h>

struct LUninstallState {
    bool delete_data_files = false;
    // No questions asked: a blocked removal is only logged.
    bool quiet = false;
};

// A process other than this one that runs the given program; 0 when none.
pid_t LFindProgramUser(const std::string& program);
// The removal in order; false (nothing removed) when another process runs
// the installed program or the service cannot be removed.
bool LRemoveInstallation(const LUninstallState& state);
