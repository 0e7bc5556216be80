#pragma once
// Starting a program as the user at the desktop. The installer runs as
// root (through sudo or pkexec); what it starts for the user runs with the
// user's ids, groups and session (HOME, DISPLAY, XAUTHORITY,
// DBUS_SESSION_BUS_ADDRESS, XDG_RUNTIME_DIR), never as root.
#include <cstdint>
#include <string>
#include <vector>

struct LDesktopUser {
    uint32_t uid = 0, gid = 0;
    std::string name, home;
};

// The user who asked for this root process (SUDO_UID, else PKEXEC_UID),
// found in the password database; false when there is none.
bool LFindDesktopUser(LDesktopUser& user);
// That user's name, else the name this process runs as.
std::string LDesktopUserName();
// The argument vector that starts program as that user (through setpriv).
std::vector<std::string> LDesktopUserArgv(const LDesktopUser& user, const std::string& program,
                                          const std::vector<std::string>& arguments);
// Starts the program, detached. As root with a known desktop user it runs
// as that user, or not at all; otherwise as this process's user. False when
// the program is missing or could not be started.
bool LRunAsDesktopUser(const std::string& program, const std::vector<std::string>& arguments);
// The installed program started with -installsched as the desktop user.
bool LScheduleTasksAsDesktopUser();
// Under sudo or pkexec: removes the desktop user's own timers and autostart
// entries, acting as that user (root never follows links in a user's
// folders). Nothing happens without such a user, or under a root folder,
// where every user's places are this process's.
void LRemoveDesktopUserEntries();
