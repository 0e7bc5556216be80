#include "platform/root.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string EnvOr(const char* name, const std::string& fallback) {
    const char* v = std::getenv(name);
    return (v && *v) ? std::string(v) : fallback;
}

bool RootIsSet() {
    const char* v = std::getenv("PORLINEX_ROOT");
    return v && *v;
}

std::string HomeFolder() {
    return EnvOr("HOME", "/root");
}

std::string StripTrailingSlashes(std::string p) {
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return p;
}

}  // namespace

std::string LPlatformRoot() {
    if (!RootIsSet()) return "";
    std::string r = StripTrailingSlashes(std::getenv("PORLINEX_ROOT"));
    return r == "/" ? "" : r;
}

std::string LPlatformKnownFolder(LKnownFolder which) {
    const std::string root = LPlatformRoot();
    const bool rooted = RootIsSet();
    switch (which) {
    case LKnownFolder::CommonAppData:
        return root + "/var/lib";
    case LKnownFolder::UserAppData:
        if (rooted) return root + "/home/.local/share";
        return EnvOr("XDG_DATA_HOME", HomeFolder() + "/.local/share");
    case LKnownFolder::MachineHive:
        return root + "/etc/porlinex/machine.reg";
    case LKnownFolder::UserHive:
        if (rooted) return root + "/home/.config/porlinex/user.reg";
        return EnvOr("XDG_CONFIG_HOME", HomeFolder() + "/.config") + "/porlinex/user.reg";
    case LKnownFolder::RunFolder:
        return root + "/run/porlinex";
    case LKnownFolder::UserRunFolder:
        if (rooted) return root + "/run/porlinex";
        return StripTrailingSlashes(EnvOr("XDG_RUNTIME_DIR", root + "/run/porlinex"));
    case LKnownFolder::Temp:
        if (rooted) return root + "/tmp";
        return StripTrailingSlashes(EnvOr("TMPDIR", "/tmp"));
    case LKnownFolder::ProgramFolder: {
        char buf[4096];
        ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
        if (n <= 0) return ".";
        std::string exe(buf, static_cast<size_t>(n));
        size_t slash = exe.rfind('/');
        return slash == std::string::npos || slash == 0 ? std::string("/") : exe.substr(0, slash);
    }
    }
    return root;
}

bool LPlatformCreateFolderTree(const std::string& path, unsigned mode) {
    if (path.empty()) return false;
    struct stat st;
    if (stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0) {
        // Parents that we have to make are ordinary folders; only the leaf
        // gets the caller's access rule.
        if (!LPlatformCreateFolderTree(path.substr(0, slash), 0755)) return false;
    }
    if (mkdir(path.c_str(), mode) != 0 && errno != EEXIST) return false;
    // mkdir is subject to the umask; the shared mode must hold whatever the
    // caller's umask says, or the group of allowed users is shut out.
    chmod(path.c_str(), mode);
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
