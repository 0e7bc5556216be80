#include "mcp/clients/client_files.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "platform/root.h"
#include "platform/spawn.h"

namespace {

// Configuration files are small; a larger one is not read into memory.
constexpr off_t kMaxConfigBytes = 16 * 1024 * 1024;

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

bool Rooted() { return !Env("PORLINEX_ROOT").empty(); }

std::string HomeFolder() {
    std::string home = Env("HOME");
    if (!home.empty()) return home;
    // A client started with a bare environment still has a home.
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::string buffer(size > 0 ? static_cast<size_t>(size) : 16384, '\0');
    passwd pw{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &pw, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
        return found->pw_dir;
    return "";
}

std::string Folder(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}


class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    bool Close() {
        int fd = fd_;
        fd_ = -1;
        return close(fd) == 0;
    }

private:
    int fd_;
};

}  // namespace

std::string LMcpUserConfigFolder() {
    if (Rooted()) return LPlatformRoot() + "/home/.config";
    std::string xdg = Env("XDG_CONFIG_HOME");
    // The base directory specification ignores a relative value.
    if (!xdg.empty() && xdg[0] == '/') return xdg;
    std::string home = HomeFolder();
    return home.empty() ? "" : home + "/.config";
}

std::string LMcpProgramPath() {
    std::string path(PATH_MAX, '\0');
    ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
    if (n <= 0 || static_cast<size_t>(n) >= path.size()) return "";
    path.resize(static_cast<size_t>(n));
    return path;
}

std::string LClaudeDesktopConfigGetPath() {
    std::string base = LMcpUserConfigFolder();
    return base.empty() ? "" : base + "/Claude/claude_desktop_config.json";
}

std::string LAntigravityConfigGetPath() {
    std::string base = LMcpUserConfigFolder();
    return base.empty() ? "" : base + "/.gemini/config/mcp_config.json";
}

std::string LCodexConfigGetPath() {
    if (Rooted()) return LPlatformRoot() + "/home/.codex/config.toml";
    std::string codex = Env("CODEX_HOME");
    if (!codex.empty()) return codex + "/config.toml";
    std::string home = Env("HOME");
    return home.empty() ? "" : home + "/.codex/config.toml";
}

bool LMcpConfigReadFile(const std::string& path, std::string& bytes, bool& exists) {
    bytes.clear();
    exists = false;
    if (path.empty()) return false;
    Fd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return errno == ENOENT;
    exists = true;
    struct stat st;
    if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxConfigBytes) return false;
    bytes.resize(static_cast<size_t>(st.st_size));
    size_t have = 0;
    for (;;) {
        if (have == bytes.size()) bytes.resize(have + 4096);
        ssize_t r = read(fd.get(), bytes.data() + have, bytes.size() - have);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return false;
        if (r == 0) break;
        have += static_cast<size_t>(r);
        if (have > static_cast<size_t>(kMaxConfigBytes)) return false;
    }
    bytes.resize(have);
    return true;
}

bool LMcpConfigMakeFolder(const std::string& path) {
    std::string folder = Folder(path);
    struct stat st;
    if (stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    if (folder != "/" && folder != "." && !LMcpConfigMakeFolder(folder)) return false;
    return mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

bool LMcpConfigWriteFile(const std::string& path, const std::string& bytes) {
    std::string target = path;
    struct stat st;
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char real[PATH_MAX];
        if (!realpath(path.c_str(), real)) return false;
        target = real;
    }
    bool existed = stat(target.c_str(), &st) == 0;
    if (existed && !S_ISREG(st.st_mode)) return false;
    std::string folder = Folder(target);
    std::string temp = folder + "/." + target.substr(target.rfind('/') + 1) + ".XXXXXX";
    Fd fd(mkostemp(temp.data(), O_CLOEXEC));
    if (fd.get() < 0) return false;
    bool ok = fchmod(fd.get(), existed ? (st.st_mode & 07777) : 0600) == 0;
    // Running as root for another user's file must not take it from them.
    if (ok && existed && (st.st_uid != geteuid() || st.st_gid != getegid()))
        ok = fchown(fd.get(), st.st_uid, st.st_gid) == 0;
    ok = ok && LPlatformWriteAll(fd.get(), bytes.data(), bytes.size()) && fsync(fd.get()) == 0;
    ok = fd.Close() && ok;
    if (!ok || rename(temp.c_str(), target.c_str()) != 0) {
        unlink(temp.c_str());
        return false;
    }
    // The rename itself reaches the disk with the folder.
    Fd dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) fsync(dir.get());
    return true;
}
