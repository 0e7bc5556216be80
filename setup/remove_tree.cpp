#include "setup/remove_tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

namespace {

// Deeper trees than any the program makes are left alone rather than
// recursed into without end.
constexpr int kMaxDepth = 64;

bool RemoveEntries(int folder, int depth) {
    if (depth > kMaxDepth) return false;
    int copy = dup(folder);
    if (copy < 0) return false;
    DIR* dir = fdopendir(copy);
    if (!dir) {
        close(copy);
        return false;
    }
    std::vector<std::string> names;
    while (dirent* e = readdir(dir)) {
        std::string n = e->d_name;
        if (n != "." && n != "..") names.push_back(n);
    }
    closedir(dir);
    bool ok = true;
    for (const std::string& n : names) {
        if (unlinkat(folder, n.c_str(), 0) == 0 || errno == ENOENT) continue;
        int sub = openat(folder, n.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (sub < 0) {
            ok = false;
            continue;
        }
        ok = RemoveEntries(sub, depth + 1) && ok;
        close(sub);
        if (unlinkat(folder, n.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT) ok = false;
    }
    return ok;
}

}  // namespace

bool LRemoveTreeNoFollow(const std::string& path) {
    if (path.empty() || path == "/") return false;
    if (unlink(path.c_str()) == 0 || errno == ENOENT) return true;
    int folder = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0) return false;
    bool ok = RemoveEntries(folder, 0);
    close(folder);
    return rmdir(path.c_str()) == 0 && ok;
}
