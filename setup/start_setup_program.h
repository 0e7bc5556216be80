#pragma once
// Starts a setup program (a self-extracting shell archive) on its own; it
// runs on after this process ends. False when it could not be started.
#include <string>

bool LStartSetupProgram(const std::string& path);
