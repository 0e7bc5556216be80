#pragma once
// Starting the desktop when a user signs in, as XDG autostart entries: the
// machine's folder (every user; writable by root) and the user's own, each
// with a "porlinex.desktop" whose Exec line carries "-logon". A second user
// entry, "porlinex-runonstartup.desktop" with "-runonstartup", belongs to
// the seven-day start of the scheduled install and is not touched here.
#include <string>

std::string LAutostartMachineFolder();
std::string LAutostartUserFolder();

// True when the machine's (or the user's) entry exists with an Exec line.
bool LRunOnStartupIsSet();
bool LRunOnStartupIsSetForUser();
// Writes the machine's entry; where that is refused, the user's.
bool LRunOnStartupSet(const std::string& program);
// Removes the user's entry when there is one, else the machine's. There is
// no elevated copy to ask: without the right to the machine's folder the
// removal fails and the log says how to do it.
bool LRunOnStartupRemove();

// The desktop entry text for program and its one argument, Exec quoted by
// the Desktop Entry rules.
std::string LAutostartEntryText(const std::string& program, const char* argument);
// The Exec value of a desktop entry running program with one argument
// (none when null or empty): quoted by the Desktop Entry rules.
std::string LDesktopExecValue(const std::string& program, const char* argument);
