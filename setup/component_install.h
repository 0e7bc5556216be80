#pragma once
// Installing a downloaded on-demand component or setup program: a .zip is
// unpacked into the component folder and registered; anything else is a
// setup program started from an argument vector that tells it who asked.
#include <string>
#include <vector>

// The machine folder (R/opt/porlinex/Vek Software/Components/Shared) and
// the user's; true when it exists or was made, and is writable.
bool LGetComponentsFolder(std::string& out);
bool LGetSharedComponentsFolder(std::string& out);

// The setup program's arguments after its own path: [-LQUIET] -instby
// <by>Porlinex, then -instsvar and -instrefdata with the stored values
// when they are not empty.
std::vector<std::string> LInstallerArguments(const char* by, bool quiet);

// 0 installed (or started), 2 failed. The -installcomponent switch runs
// this too (LInstallComponent of the host's entry points).
int LInstallComponentFile(const std::string& file, const char* by, bool quiet);
