#pragma once
// The values a setup program was started with (-instsvar, -instrefdata),
// kept in the machine's "Software" section for the usage query.
#include <string>
#include <vector>

// The argument after the first one equal to name, ignoring case, looked for
// from the first argument after the program to the last but one.
std::string LInstallerSwitchValue(const std::vector<std::string>& args, const char* name);

void LStoreInstallerSVar();
void LStoreInstallerRefData();
