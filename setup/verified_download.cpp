#include "setup/verified_download.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "net/http/http_client.h"
#include "setup/maker_signature.h"

namespace {

// A temporary file beside the target, removed with the object unless kept.
class TempBeside {
public:
    explicit TempBeside(const std::string& target) {
        size_t slash = target.rfind('/');
        std::string folder = slash == std::string::npos ? "." : target.substr(0, slash);
        std::string pattern = folder + "/.download.XXXXXX";
        int fd = mkstemp(pattern.data());
        if (fd < 0) return;
        close(fd);
        path_ = pattern;
    }
    ~TempBeside() {
        if (!path_.empty()) unlink(path_.c_str());
    }
    TempBeside(const TempBeside&) = delete;
    TempBeside& operator=(const TempBeside&) = delete;
    const std::string& Path() const { return path_; }
    bool MoveTo(const std::string& target) {
        if (rename(path_.c_str(), target.c_str()) != 0) return false;
        path_.clear();
        return true;
    }

private:
    std::string path_;
};

// The whole fetch of a setup program may take half an hour; a signature,
// a minute.
constexpr uint32_t kBodyTotalMs = 30 * 60 * 1000;
constexpr uint32_t kSignatureTotalMs = 60 * 1000;

int Fetch(LTaskProgress& progress, const std::string& url, const std::string& path, uint64_t maxBytes,
          uint32_t totalMs) {
    LNetOpResult r = LNetFailed;
    LString wide = LFromUtf8(path);
    LHttpDownloadLimits limits;
    limits.maxBytes = maxBytes;
    limits.totalMs = totalMs;
    if (url.rfind("https://", 0) == 0)
        return int(LHttpsDownloadToFile(r, progress, url.c_str(), wide.c_str(), limits));
    return int(LHttpDownloadToFile(r, progress, url.c_str(), wide.c_str(), limits));
}

uint64_t SizeOf(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? uint64_t(st.st_size) : 0;
}

// The signature file holds exactly the 64 signature bytes.
std::vector<unsigned char> ReadSignature(const std::string& path) {
    std::vector<unsigned char> sig(65);
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return {};
    ssize_t n = read(fd, sig.data(), sig.size());
    close(fd);
    if (n != 64) return {};
    sig.resize(64);
    return sig;
}

}  // namespace

int LDownloadVerified(LTaskProgress& progress, const std::string& url, const std::string& target) {
    TempBeside body(target), signature(target);
    if (body.Path().empty() || signature.Path().empty()) return 2;
    if (int r = Fetch(progress, url, body.Path(), LMakerSignedMaxBytes, kBodyTotalMs); r != 0) return r;
    uint64_t size = SizeOf(body.Path());
    if (size == 0 || size > LMakerSignedMaxBytes) return 2;
    if (int r = Fetch(progress, url + ".sig", signature.Path(), 64, kSignatureTotalMs); r != 0) return r;
    std::vector<unsigned char> sig = ReadSignature(signature.Path());
    if (!LVerifyMakerSignature(LFromUtf8(body.Path()).c_str(), sig)) return 2;
    return body.MoveTo(target) ? 0 : 2;
}

int LDownloadVerifiedFromAny(LTaskProgress& progress, const std::vector<std::string>& urls,
                             const std::string& target) {
    int result = 2;
    for (const std::string& url : urls) {
        result = LDownloadVerified(progress, url, target);
        if (result != 2) return result;
    }
    return result;
}
