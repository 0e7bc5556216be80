#include "platform/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

LPlatformRegularRead LPlatformReadRegularFile(const std::string& path, uint64_t limit, std::string& out) {
    out.clear();
    // Non-blocking: opening a FIFO for reading would otherwise wait for a
    // writer before the type could even be looked at.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? LPlatformRegularRead::Missing : LPlatformRegularRead::Failed;
    struct stat st;
    LPlatformRegularRead r = LPlatformRegularRead::Ok;
    if (::fstat(fd, &st) != 0) {
        r = LPlatformRegularRead::Failed;
    } else if (!S_ISREG(st.st_mode)) {
        r = LPlatformRegularRead::NotRegular;
    } else if (static_cast<uint64_t>(st.st_size) > limit) {
        r = LPlatformRegularRead::TooLarge;
    } else {
        char buf[16384];
        for (;;) {
            ssize_t n = ::read(fd, buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                r = LPlatformRegularRead::Failed;
                break;
            }
            if (n == 0) break;
            // The file may grow while it is read.
            if (out.size() + static_cast<size_t>(n) > limit) {
                r = LPlatformRegularRead::TooLarge;
                break;
            }
            out.append(buf, static_cast<size_t>(n));
        }
    }
    ::close(fd);
    if (r != LPlatformRegularRead::Ok) out.clear();
    return r;
}
