// Base64 bodies of composed mail: blocks and whole files as 76-character
// lines.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <sys/stat.h>

#include "foundation/base64.h"
#include "net/mime/compose.h"

namespace {

constexpr uint32_t kLineTimeout = 20000;
// 57 bytes make one 76-character line; files are read many lines at a time.
constexpr size_t kLineBytes = 57;
constexpr size_t kChunkBytes = kLineBytes * 1024;

class LFileReader {
public:
    explicit LFileReader(const char* path) : fd_(::open(path, O_RDONLY | O_CLOEXEC)) {}
    ~LFileReader() {
        if (fd_ >= 0) ::close(fd_);
    }
    LFileReader(const LFileReader&) = delete;
    LFileReader& operator=(const LFileReader&) = delete;
    bool Ok() const { return fd_ >= 0; }
    int64_t Size() const {
        struct stat st;
        return fd_ >= 0 && fstat(fd_, &st) == 0 ? st.st_size : -1;
    }
    // Fills the buffer unless the file ends; -1 on a read error.
    ssize_t ReadFull(uint8_t* buf, size_t n) {
        size_t got = 0;
        while (got < n) {
            ssize_t r = ::read(fd_, buf + got, n - got);
            if (r < 0 && errno == EINTR) continue;
            if (r < 0) return -1;
            if (r == 0) break;
            got += size_t(r);
        }
        return ssize_t(got);
    }

private:
    int fd_;
};

}  // namespace

uint32_t LSmtpSendBase64Block(LTaskProgress& progress, LMimeWriter& conn, const uint8_t* bytes, size_t count) {
    if (count == 0) return 0;
    LStringA text;
    text.Reserve(LBase64EncodedLength(count, 0) + 3);
    LBase64EncodeA(bytes, count, text);
    // Every line ends with CR LF, the last (partial) one too.
    if (!text.View().ends_with("\r\n")) text.AppendN("\r\n", 2);
    return conn.Send(progress, text.c_str(), text.length, kLineTimeout);
}

uint32_t LSmtpSendFileBase64(LTaskProgress& progress, LMimeWriter& conn, const char16_t* path, double progressBase,
                             double progressSpan) {
    std::string name = LToUtf8(path);
    LFileReader file(name.c_str());
    int64_t size = file.Size();
    LString error;
    if (!file.Ok() || size < 0) {
        // A message without the file the user attached must not go out.
        error.Format(u"Unable to read the attachment \"%s\".", path);
        progress.ShowError(error.c_str());
        return 2;
    }
    progress.SetProgress(progressBase);
    auto last = std::chrono::steady_clock::now();
    std::string buf(kChunkBytes, '\0');
    int64_t done = 0;
    while (true) {
        if (progress.IsStopRequested()) return 0;  // the sender notices the stop afterwards
        ssize_t got = file.ReadFull(reinterpret_cast<uint8_t*>(buf.data()), kChunkBytes);
        if (got < 0) {
            error.Format(u"Unable to read the attachment \"%s\".", path);
            progress.ShowError(error.c_str());
            return 2;
        }
        if (got == 0) return 0;
        uint32_t r = LSmtpSendBase64Block(progress, conn, reinterpret_cast<uint8_t*>(buf.data()), size_t(got));
        if (r != 0) return r;
        done += got;
        auto now = std::chrono::steady_clock::now();
        if (size > 0 && now - last >= std::chrono::milliseconds(501)) {
            last = now;
            progress.SetProgress(progressBase + progressSpan * double(done) / double(size));
        }
        if (size_t(got) < kChunkBytes) return 0;
    }
}
