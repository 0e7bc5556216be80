#pragma once
// Machine-level places of the program. PORLINEX_ROOT, when set, moves every
// one of them under that folder so that tests and side-by-side installs never
// touch the real system.
#include <string>

enum class LKnownFolder {
    CommonAppData,   // R/var/lib
    UserAppData,     // R/home/.local/share, or $XDG_DATA_HOME
    MachineHive,     // R/etc/porlinex/machine.reg (a file)
    UserHive,        // R/home/.config/porlinex/user.reg, or $XDG_CONFIG_HOME/porlinex/user.reg
    RunFolder,       // R/run/porlinex
    UserRunFolder,   // $XDG_RUNTIME_DIR when no root is set, else the run folder
    Temp,            // R/tmp, or $TMPDIR, or /tmp
    ProgramFolder,   // folder of the running executable
};

// The root as configured: "" for "/" (so that root + "/var/lib" is a path).
std::string LPlatformRoot();

// Path of a known place, without a trailing slash. Nothing is created.
std::string LPlatformKnownFolder(LKnownFolder which);

// Creates the folder and its missing parents. New folders get `mode`.
// True when the folder exists afterwards.
bool LPlatformCreateFolderTree(const std::string& path, unsigned mode);

// The shared-access rule for data folders and files: owner and the group of
// allowed users, never world-writable.
constexpr unsigned LPlatformSharedFolderMode = 02770;
constexpr unsigned LPlatformSharedFileMode = 0660;
