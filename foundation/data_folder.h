#pragma once
// The per-machine data folder and the joining of paths into fixed fields.
#include <string>

// out receives the data folder (created with its two levels when missing).
bool LGetDataFolder(char16_t out[260]);
// out receives the named folder inside the data folder, created when missing.
bool LGetDataSubfolder(const char16_t* name, char16_t out[260]);
// folder + "/" (unless empty or ending in a separator) + name + suffix, cut to fit.
char16_t* LPathCombine(char16_t out[260], const char16_t* folder, const char16_t* name, const char16_t* suffix);

// The same places as UTF-8 paths, for code that talks to POSIX.
std::string LDataFolderPath();
std::string LDataSubfolderPath(const char* name);
