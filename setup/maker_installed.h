#pragma once
// Whether one of the maker's other programs is installed: its Settings key
// exists.
#include <string>

// True when "Software\Vek Software\<key>\Settings" exists in the machine or
// the user hive, or, unless vekOnly, the same under "Vek Dalmor". A user's
// own installation writes the user hive, so both hives count.
bool LIsMakerProgramInstalled(const std::u16string& key, bool vekOnly);
