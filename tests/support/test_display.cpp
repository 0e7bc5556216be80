#include "tests/support/test_display.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

extern char** environ;

namespace {

// Starts argv with its standard output (and, when given, descriptor 3) on
// the write end of a pipe; returns the pid or -1.
pid_t SpawnWithPipe(const std::vector<std::string>& argv, int pipe_write, bool on_fd3, bool with_stderr = false) {
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    posix_spawn_file_actions_adddup2(&fa, null, 0);
    if (on_fd3) {
        posix_spawn_file_actions_adddup2(&fa, null, 1);
        posix_spawn_file_actions_adddup2(&fa, pipe_write, 3);
    } else {
        posix_spawn_file_actions_adddup2(&fa, pipe_write, 1);
    }
    posix_spawn_file_actions_adddup2(&fa, with_stderr ? pipe_write : null, 2);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, args[0], &fa, nullptr, args.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&fa);
    close(null);
    return pid;
}

// Reads until the end or the deadline.
std::string ReadAll(int fd, int timeout_ms, bool until_newline) {
    std::string out;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        int left = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count());
        if (left <= 0) break;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, left) <= 0) break;
        char buf[4096];
        ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) break;
        out.append(buf, static_cast<size_t>(n));
        if (until_newline && out.find('\n') != std::string::npos) break;
    }
    return out;
}

void Stop(int& pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            pid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
}

}  // namespace

std::string LTestRunCapture(const std::vector<std::string>& argv, int timeout_ms, int* exit_code, bool with_stderr) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return "";
    pid_t pid = SpawnWithPipe(argv, fds[1], false, with_stderr);
    close(fds[1]);
    std::string out = pid > 0 ? ReadAll(fds[0], timeout_ms, false) : "";
    close(fds[0]);
    int code = -1;
    if (pid > 0) {
        int st = 0;
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        while (waitpid(pid, &st, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > end) {
                kill(pid, SIGKILL);
                waitpid(pid, &st, 0);
                st = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (st != -1 && WIFEXITED(st)) code = WEXITSTATUS(st);
    }
    if (exit_code) *exit_code = code;
    return out;
}

LTestDisplay& LTestDisplay::Shared() {
    static LTestDisplay d;
    return d;
}

LTestDisplay::LTestDisplay() {
    char tmpl[] = "/tmp/porlinex-display-XXXXXX";
    if (!mkdtemp(tmpl)) {
        error_ = "no temporary folder";
        return;
    }
    folder_ = tmpl;
    chmod(folder_.c_str(), 0700);
    // Only DejaVu, so text looks and measures the same on every machine.
    std::ofstream(folder_ + "/fonts.conf")
        << "<?xml version=\"1.0\"?><!DOCTYPE fontconfig SYSTEM \"fonts.dtd\"><fontconfig>"
           "<dir>/usr/share/fonts/truetype/dejavu</dir><cachedir>"
        << folder_
        << "/fontcache</cachedir>"
           "<alias><family>sans-serif</family><prefer><family>DejaVu Sans</family></prefer></alias>"
           "<alias><family>Sans</family><prefer><family>DejaVu Sans</family></prefer></alias>"
           "</fontconfig>\n";
    setenv("FONTCONFIG_FILE", (folder_ + "/fonts.conf").c_str(), 1);
    setenv("GTK_THEME", "Adwaita", 1);
    setenv("GDK_BACKEND", "x11", 1);
    setenv("GSETTINGS_BACKEND", "memory", 1);
    setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (folder_ + "/config").c_str(), 1);
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("NO_AT_BRIDGE");
    ok_ = StartXvfb() && StartBus();
}

LTestDisplay::~LTestDisplay() {
    Stop(bus_pid_);
    Stop(xvfb_pid_);
    if (!folder_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
}

bool LTestDisplay::StartXvfb() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    xvfb_pid_ = SpawnWithPipe({"Xvfb", "-displayfd", "3", "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                               "-noreset", "-dpi", "96"},
                              fds[1], true);
    close(fds[1]);
    std::string number = xvfb_pid_ > 0 ? ReadAll(fds[0], 20000, true) : "";
    close(fds[0]);
    while (!number.empty() && (number.back() == '\n' || number.back() == '\r')) number.pop_back();
    if (number.empty()) {
        error_ = "Xvfb did not start (is the xvfb package installed?)";
        return false;
    }
    display_ = ":" + number;
    setenv("DISPLAY", display_.c_str(), 1);
    return true;
}

bool LTestDisplay::StartBus() {
    std::string address = "unix:path=" + folder_ + "/bus";
    std::vector<std::string> argv = {"dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + address};
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    // The bus and the services it starts write to a log of their own: on
    // the test's output they would hold ctest's pipe open after a test
    // that crashed, and ctest would wait for them.
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, (folder_ + "/bus.log").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
    pid_t pid;
    int spawned = posix_spawnp(&pid, "dbus-daemon", &fa, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (spawned != 0) {
        error_ = "dbus-daemon did not start";
        return false;
    }
    bus_pid_ = pid;
    for (int i = 0; i < 500; ++i) {
        struct stat st;
        if (stat((folder_ + "/bus").c_str(), &st) == 0) {
            setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    error_ = "the session bus did not come up";
    return false;
}

// Leak checks: GTK, GLib, fontconfig and the accessibility bridge keep
// process-long caches and objects that they never free; what they hold is
// not ours to report.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libgtk-3.so\nleak:libgdk-3.so\nleak:libglib-2.0.so\nleak:libgobject-2.0.so\nleak:libgio-2.0.so\n"
           "leak:libfontconfig.so\nleak:libatk-bridge-2.0.so\nleak:libatspi.so\nleak:libpango-1.0.so\n"
           "leak:libpangoft2-1.0.so\nleak:libcairo.so\nleak:libdbus-1.so\n";
}
