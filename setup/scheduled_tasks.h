#pragma once
// Later runs of the installed program as systemd user timers: for each
// purpose (a suffix such as "SevenDays") a "porlinex-SUFFIX.timer" and
// ".service" in the user's systemd folder, firing once at a local time and
// kept for 30 days after it; a marker value per suffix in the "Scheduler"
// section lets every one be found again.
#include <cstdint>
#include <string>
#include <vector>

// The user's unit folder (under a root: R/home/.config/systemd/user).
std::string LUserUnitFolder();
// An ExecStart= value running argv: each word quoted by systemd's rules,
// so nothing in it is read by a shell. Empty when argv cannot be written
// (no absolute program, a control character, a quote or backslash in
// the program's name, which systemd refuses).
std::string LSystemdExecLine(const std::vector<std::string>& argv);
// "YYYY-MM-DD HH:MM:SS" in local time.
std::string LSystemdLocalTime(int64_t at);
std::string LTimerUnitText(const std::string& suffix, int64_t at);
std::string LServiceUnitText(const std::string& suffix, const std::string& exec_line);
void LDeleteAllScheduledTasks();
