#pragma once
// The maker's other programs as they are installed on this machine: under
// the machine's program folder (R/opt/porlinex) or the user's data folder,
// in "Vek Software" and, unless limited to those, "Vek Dalmor".
#include <string>

// The first existing of <machine>/Vek Software/NAME/NAME,
// <user>/Vek Software/Program Files/NAME/NAME, then the same two under
// "Vek Dalmor". A name that is not a plain file name finds nothing.
bool LFindMakerProgram(bool vekOnly, const std::string& name, std::string& path);
// A plain file name: letters, digits, '.', '_', '-' and ' ', not starting
// with '.', at most 100 bytes.
bool LIsPlainProgramName(const std::string& name);
