#include "tests/support/test_root.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <set>
#include <sstream>
#include <thread>

extern char** environ;

LTestRoot::LTestRoot() {
    const char* old = std::getenv("PORLINEX_ROOT");
    if (old) {
        had_root_ = true;
        old_root_ = old;
    }
    std::string base = std::filesystem::temp_directory_path().string() + "/porlinex-test-XXXXXX";
    std::vector<char> buf(base.begin(), base.end());
    buf.push_back(0);
    char* p = mkdtemp(buf.data());
    path_ = p ? p : "";
    setenv("PORLINEX_ROOT", path_.c_str(), 1);
}

LTestRoot::~LTestRoot() {
    if (had_root_) {
        setenv("PORLINEX_ROOT", old_root_.c_str(), 1);
    } else {
        unsetenv("PORLINEX_ROOT");
    }
    std::error_code ec;
    if (!path_.empty() && !std::getenv("PORLINEX_KEEP_TEST_ROOT")) std::filesystem::remove_all(path_, ec);
}

namespace {

// Whether a listener could bind this port on every address right now. The
// listeners under test bind INADDR_ANY, so a port that is free on 127.0.0.1
// alone may still be held by a socket on another loopback address (a client
// of another test, or its TIME_WAIT remains).
bool PortBindable(int port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    a.sin_port = htons(static_cast<uint16_t>(port));
    bool ok = bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    return ok;
}

int EphemeralLow() {
    std::ifstream f("/proc/sys/net/ipv4/ip_local_port_range");
    int low = 0;
    return (f >> low) ? low : 0;
}

}  // namespace

// Ports come from below the ephemeral range, so a port handed out and not yet
// bound cannot be taken meanwhile by some connect() on the machine, and at
// random, so test processes running side by side seldom pick the same one.
int LTestFreePort() {
    static std::mutex mutex;
    static std::set<int> given;
    static std::mt19937 rng{std::random_device{}()};
    std::lock_guard<std::mutex> lock(mutex);
    int low = 10000, high = EphemeralLow() - 1;
    if (high - low < 1000) {
        low = 40000;
        high = 60999;
    }
    std::uniform_int_distribution<int> pick(low, high);
    for (int tries = 0; tries < 1000; ++tries) {
        int port = pick(rng);
        if (given.count(port) || !PortBindable(port)) continue;
        given.insert(port);
        return port;
    }
    return 0;
}

LTestProcess::LTestProcess(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<std::string> env_store;
    for (char** e = environ; *e; ++e) env_store.emplace_back(*e);
    for (const auto& e : extra_env) env_store.push_back(e);
    std::vector<char*> env;
    for (auto& e : env_store) env.push_back(e.data());
    env.push_back(nullptr);
    if (posix_spawnp(&pid_, args[0], nullptr, nullptr, args.data(), env.data()) != 0) pid_ = -1;
}

LTestProcess::~LTestProcess() {
    if (pid_ > 0 && Running()) {
        if (Signal(SIGTERM, 5000) == -1) Signal(SIGKILL, 5000);
    }
}

bool LTestProcess::Running() {
    if (pid_ <= 0 || status_ != -1) return false;
    int st;
    pid_t r = waitpid(pid_, &st, WNOHANG);
    if (r == pid_) {
        status_ = st;
        return false;
    }
    return r == 0;
}

int LTestProcess::Wait(int timeout_ms) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (Running()) {
        if (std::chrono::steady_clock::now() > until) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (status_ == -1) return -1;
    if (WIFEXITED(status_)) return WEXITSTATUS(status_);
    if (WIFSIGNALED(status_)) return 128 + WTERMSIG(status_);
    return -1;
}

int LTestProcess::Signal(int sig, int timeout_ms) {
    if (pid_ > 0 && Running()) kill(pid_, sig);
    return Wait(timeout_ms);
}

std::string LTestProgramPath() { return std::string(PORLINEX_TEST_BINARY_DIR) + "/porlinex"; }

std::string LTestReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

bool LTestWaitFor(int timeout_ms, const std::function<bool()>& pred) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}
