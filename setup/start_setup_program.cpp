#include "setup/start_setup_program.h"

#include <spawn.h>

#include "foundation/log.h"

extern char** environ;

bool LStartSetupProgram(const std::string& path) {
    char sh[] = "/bin/sh";
    std::string program = path;
    char* argv[] = {sh, program.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, sh, nullptr, nullptr, argv, environ) == 0) return true;
    LLogErrorF("Could not start the setup program %s", path.c_str());
    return false;
}
