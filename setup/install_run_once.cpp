#include "setup/install_run_once.h"

#include <filesystem>
#include <fstream>

#include "host/autostart.h"

std::string LInstallRunOncePath() { return LAutostartUserFolder() + "/porlinex-install.desktop"; }

bool LWriteInstallRunOnce(const std::string& setup_program) {
    if (setup_program.empty()) return false;
    std::error_code ec;
    std::filesystem::create_directories(LAutostartUserFolder(), ec);
    // The setup program is a self-extracting shell archive.
    std::ofstream out(LInstallRunOncePath(), std::ios::trunc);
    out << "[Desktop Entry]\nType=Application\nName=Porlinex Setup\nExec="
        << LDesktopExecValue("/bin/sh", setup_program.c_str()) << "\n";
    return static_cast<bool>(out.flush());
}

void LDeleteInstallRunOnce() {
    std::error_code ec;
    std::filesystem::remove(LInstallRunOncePath(), ec);
}
