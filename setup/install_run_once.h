#pragma once
// The entry that starts the setup program again at the next log-on while an
// interactive installation is unfinished: a user autostart entry,
// "porlinex-install.desktop", present only between the start of the pages
// and the end of the installation.
#include <string>

bool LWriteInstallRunOnce(const std::string& setup_program);
void LDeleteInstallRunOnce();
std::string LInstallRunOncePath();
