#include "web/http/static_file.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "foundation/log.h"
#include "foundation/time_source.h"
#include "foundation/utf8.h"
#include "web/http/file_miss_clock.h"
#include "web/http/static_rules.h"
#include "web/http/weblet.h"

namespace {

constexpr size_t kPiece = 16384;

// Closes on every path out.
struct Fd {
    int fd = -1;
    Fd() = default;
    explicit Fd(int f) : fd(f) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd >= 0) close(fd);
    }
};

bool InsideFolder(const char* resolved, const char* folder) {
    size_t n = std::strlen(folder);
    return std::strncmp(resolved, folder, n) == 0 && (resolved[n] == '/' || resolved[n] == 0);
}

// Opens a path beneath the folder; the kernel refuses any step ("..", an
// absolute or escaping symbolic link) that would leave it.
int OpenBeneath(const std::string& folder, const std::string& relative) {
    Fd dir(open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (dir.fd < 0) return -1;
    open_how how = {};
    how.flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    const char* rel = relative.empty() ? "." : relative.c_str();
    long fd = syscall(SYS_openat2, dir.fd, rel, &how, sizeof how);
    if (fd >= 0 || errno != ENOSYS) return static_cast<int>(fd);
    // Kernels before 5.6: resolve the path and check where it ended up.
    char real_folder[PATH_MAX], real_path[PATH_MAX];
    std::string full = folder + "/" + relative;
    if (!realpath(folder.c_str(), real_folder) || !realpath(full.c_str(), real_path)) return -1;
    if (!InsideFolder(real_path, real_folder)) return -1;
    return open(real_path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
}

std::string BaseName(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Misses of a file that is asked for again and again are errors; a lone
// miss after quiet days is only a warning.
void LogMiss(Weblet& request, const std::string& full_path) {
    if (BaseName(full_path) == "robots.txt") return;
    LStringA message;
    message.Format("File not found: %s", full_path.c_str());
    request.LogHttpError(404, message.c_str());
    int64_t now = static_cast<int64_t>(LNow());
    LWebFileMissTimes times = LWebRecordFileMiss(now);
    char peer[32];
    request.PeerText(peer);
    LStringA line;
    line.Format("Weblet: File not found: %s for connection %s", full_path.c_str(), peer);
    LLog(line.c_str(), now - times.installed < 86400 || now - times.previous_miss < 259200 ? LLogError : LLogWarning);
}

// Streams count bytes from offset; false when the file ends early or a send
// fails (the promised length can then not be kept: the connection ends).
bool SendBody(Weblet& request, int fd, uint64_t offset, uint64_t count) {
    static thread_local char piece[kPiece];
    while (count > 0) {
        size_t want = count < kPiece ? static_cast<size_t>(count) : kPiece;
        ssize_t got = pread(fd, piece, want, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        if (!request.Send(piece, static_cast<size_t>(got), 60000)) return false;
        offset += static_cast<uint64_t>(got);
        count -= static_cast<uint64_t>(got);
    }
    return true;
}

void DispositionLine(LStringA& out, const std::string& name) {
    out.Format("Content-Disposition: attachment; filename=\"%s\"; filename*=UTF-8''%U\r\n", name.c_str(),
               name.c_str());
}

}  // namespace

bool LWebFileExists(const std::string& folder, const std::string& relative) {
    Fd fd(OpenBeneath(folder, relative));
    struct stat st;
    return fd.fd >= 0 && fstat(fd.fd, &st) == 0 && S_ISREG(st.st_mode);
}

LWebFileResult LWebletSendFile(Weblet& request, const std::string& folder, const std::string& relative) {
    std::string full = folder + "/" + relative;
    Fd file(OpenBeneath(folder, relative));
    struct stat st;
    if (file.fd < 0 || fstat(file.fd, &st) != 0) {
        LogMiss(request, full);
        return LWebFileResult::NotFound;
    }
    if (S_ISDIR(st.st_mode)) return LWebFileResult::IsFolder;
    if (!S_ISREG(st.st_mode)) {
        LogMiss(request, full);
        return LWebFileResult::NotFound;
    }

    std::u16string wide_name;
    {
        LString w;
        w.SetUtf8(relative.c_str());
        wide_name.assign(w.c_str(), w.length);
    }
    int max_age = 0;
    bool is_inline = false;
    const char* type = LWebletContentType(wide_name.c_str(), &max_age, &is_inline);
    uint64_t length = static_cast<uint64_t>(st.st_size);
    int64_t mtime = static_cast<int64_t>(st.st_mtim.tv_sec);
    char last_modified[64], etag[64];
    if (!LWebletFileValidators(mtime, length, request.Header(u"If-None-Match"), request.Header(u"If-Modified-Since"),
                               last_modified, etag)) {
        return request.Printf("HTTP/1.1 304 Not Modified\r\nCache-Control: max-age=%d\r\nLast-Modified: %s\r\nETag: "
                              "\"%s\"\r\n\r\n",
                              max_age, last_modified, etag)
                   ? LWebFileResult::Sent
                   : LWebFileResult::SendFailed;
    }
    std::string name = BaseName(relative);
    LStringA disposition;
    if (!is_inline) DispositionLine(disposition, name);
    const char* csp = std::strcmp(type, "text/html") == 0 ? "Content-Security-Policy: frame-ancestors 'none';\r\n" : "";

    uint64_t first = 0, last = 0;
    switch (LWebParseRange(request.Header(u"Range"), length, &first, &last)) {
    case LWebRangeResult::Unsatisfiable:
        return request.Printf("HTTP/1.1 416 Requested Range Not Satisfiable\r\nContent-Range: bytes */%Iu\r\n"
                              "Content-Length: 0\r\n\r\n",
                              length)
                   ? LWebFileResult::Sent
                   : LWebFileResult::SendFailed;
    case LWebRangeResult::Partial: {
        uint64_t count = last - first + 1;
        bool ok = request.Printf("HTTP/1.1 206 Partial Content\r\nContent-Length: %Iu\r\nContent-Range: bytes "
                                 "%Iu-%Iu/%Iu\r\nContent-Type: %s\r\n%sCache-Control: max-age=%d\r\nLast-Modified: "
                                 "%s\r\nETag: \"%s\"\r\n\r\n",
                                 count, first, last, length, type, disposition, max_age, last_modified, etag) &&
                  SendBody(request, file.fd, first, count);
        return ok ? LWebFileResult::Sent : LWebFileResult::SendFailed;
    }
    case LWebRangeResult::Ignore:
        break;
    }

    if (LWebAcceptsGzip(request.Header(u"Accept-Encoding"))) {
        Fd gz(OpenBeneath(folder, relative + ".gz"));
        struct stat gst;
        if (gz.fd >= 0 && fstat(gz.fd, &gst) == 0 && S_ISREG(gst.st_mode)) {
            uint64_t gz_length = static_cast<uint64_t>(gst.st_size);
            bool ok = request.Printf("HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: %Iu\r\n"
                                     "Content-Type: %s\r\n%s%sCache-Control: max-age=%d\r\nLast-Modified: %s\r\n"
                                     "ETag: \"%s\"\r\n\r\n",
                                     gz_length, type, csp, disposition, max_age, last_modified, etag) &&
                      SendBody(request, gz.fd, 0, gz_length);
            return ok ? LWebFileResult::Sent : LWebFileResult::SendFailed;
        }
    }
    bool ok = request.Printf("HTTP/1.1 200 OK\r\nContent-Length: %Iu\r\nContent-Type: %s\r\n%sAccept-Ranges: bytes\r\n"
                             "%sCache-Control: max-age=%d\r\nLast-Modified: %s\r\nETag: \"%s\"\r\n\r\n",
                             length, type, csp, disposition, max_age, last_modified, etag) &&
              SendBody(request, file.fd, 0, length);
    return ok ? LWebFileResult::Sent : LWebFileResult::SendFailed;
}
