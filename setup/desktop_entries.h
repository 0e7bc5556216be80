#pragma once
// The program's menu entries in the machine's applications folder
// (R/usr/local/share/applications): "porlinex.desktop" with an "Uninstall"
// action, and the suite launcher's "vek-suite.desktop". Nothing is put in
// users' desktop folders.
#include <string>

std::string LApplicationsFolder();
// Writes the program entry; the suite entry only when neither it nor the
// older "vek-software.desktop" exists. False when the program entry could
// not be written.
bool LWriteDesktopEntries(const std::string& program);
// Removes the program entry and those suite entries that run this program
// (a user's own entry pointing elsewhere stays).
void LRemoveDesktopEntries(const std::string& program);
