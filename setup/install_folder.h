#pragma once
// The install folder (R/opt/porlinex) and the installed program in it.
#include <string>

// Works out and makes the install folder and tests that it can be written
// to (a "testfolder" made and removed); records InstalledByAdmin. Without
// the rights: the administrator message and false. Once known the folder is
// kept for the process and returned without touching the disk.
bool LPrepareInstallFolder(std::string& folder);
// The folder without making or testing anything.
std::string LInstallFolderPath();
// The installed program: "porlinex" in the given folder.
std::string LInstalledProgramPath(const std::string& folder);
// Forgets the process's install folder (after an uninstall, and in tests
// that install under several roots).
void LForgetInstallFolder();
