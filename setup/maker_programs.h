#pragma once
// The maker's other programs on this machine: whether one is installed (its
// Settings key exists) and where its program file is.
#include <string>

// True when "Software\Vek Software\<key>\Settings" exists in the machine or
// the user hive, or, unless vekOnly, the same under "Vek Dalmor". A user's
// own installation writes the user hive, so both hives count.
bool LIsMakerProgramInstalled(const std::u16string& key, bool vekOnly);

// The first executable file of: R/opt/Vek Software/<key>/<key>, the user's
// data folder's "Vek Software/Program Files/<key>/<key>", then, unless
// vekOnly, the same two under "Vek Dalmor". This program's own key finds
// the installed program. False for a key that could leave its folder.
bool LFindMakerProgram(bool vekOnly, const std::u16string& key, std::string& path);
