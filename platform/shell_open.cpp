#include "platform/shell_open.h"

#include <fcntl.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdint>

extern char** environ;

namespace {

// Reaps the opener so that it does not stay a zombie.
void* Reap(void* pid) {
    int status;
    waitpid(static_cast<pid_t>(reinterpret_cast<intptr_t>(pid)), &status, 0);
    return nullptr;
}

}  // namespace

bool LPlatformShellOpen(const char* target) {
    if (!target || !*target) return false;
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    char* argv[] = {const_cast<char*>("xdg-open"), const_cast<char*>(target), nullptr};
    pid_t pid;
    int r = posix_spawnp(&pid, "xdg-open", &actions, &attr, argv, environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (r != 0) return false;
    pthread_t reaper;
    if (pthread_create(&reaper, nullptr, &Reap, reinterpret_cast<void*>(static_cast<intptr_t>(pid))) == 0) {
        pthread_detach(reaper);
    } else {
        waitpid(pid, nullptr, 0);
    }
    return true;
}
