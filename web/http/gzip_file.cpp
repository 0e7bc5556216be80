#include "web/http/gzip_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstring>

#include "foundation/log.h"
#include "foundation/task_progress.h"
#include "foundation/zlib_library.h"

namespace {

constexpr std::array<uint32_t, 256> MakeCrcTable() {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[i] = c;
    }
    return t;
}
constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

void PutLE32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

}  // namespace

uint32_t LCrc32(const void* data, size_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) c = kCrcTable[(c ^ p[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

bool LGzipFrame(LByteBuffer& out, const uint8_t* zlib_stream, size_t zlib_length, const void* data,
                uint64_t length, uint32_t mtime) {
    if (zlib_length < 6 || length > 0xFFFFFFFFu) return false;
    size_t deflate_length = zlib_length - 6;
    uint8_t header[10] = {0x1F, 0x8B, 0, 0, 0, 0, 0, 0, 0, 0};
    header[2] = zlib_stream[0] & 0x0F;
    PutLE32(header + 4, mtime);
    // XFL from zlib's level bits: fastest (0) is 4, maximum (3) is 2.
    switch (zlib_stream[1] >> 6) {
    case 0: header[8] = 4; break;
    case 3: header[8] = 2; break;
    default: header[8] = 0; break;
    }
    uint8_t trailer[8];
    PutLE32(trailer, LCrc32(data, static_cast<size_t>(length)));
    PutLE32(trailer + 4, static_cast<uint32_t>(length));
    out.SetLength(0);
    return out.Append(header, sizeof header) && out.Append(zlib_stream + 2, deflate_length) &&
           out.Append(trailer, sizeof trailer);
}

bool LGzipCompress(LByteBuffer& out, const void* data, uint64_t length, uint32_t mtime) {
    if (length > 0xFFFFFFFFu) return false;
    LZlibLibrary zlib;
    if (!zlib.available) return false;
    LHeapBlock stream;
    uint64_t size = 0;
    if (!zlib.Compress(data, length, stream, size)) return false;
    return LGzipFrame(out, static_cast<const uint8_t*>(stream.block), static_cast<size_t>(size), data, length, mtime);
}

bool LGzipWriteFile(const char* path, const void* data, uint64_t length, uint32_t mtime) {
    LByteBuffer gz;
    if (!LGzipCompress(gz, data, length, mtime)) return false;
    std::string temp = std::string(path) + ".tmp";
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0660);
    if (fd < 0) return false;
    fchmod(fd, 0660);  // whatever the umask says
    uint64_t done = 0;
    while (done < gz.length) {
        ssize_t w = write(fd, gz.buffer + done, static_cast<size_t>(gz.length - done));
        if (w <= 0) break;
        done += static_cast<uint64_t>(w);
    }
    bool ok = close(fd) == 0 && done == gz.length;
    if (!ok || rename(temp.c_str(), path) != 0) {
        unlink(temp.c_str());
        return false;
    }
    return true;
}

namespace {

bool IsCompressible(const char* name) {
    const char* dot = std::strrchr(name, '.');
    if (!dot) return false;
    for (const char* ext : {".css", ".html", ".js", ".svg", ".wasm"})
        if (strcasecmp(dot, ext) == 0) return true;
    return false;
}

bool ReadWhole(int fd, LByteBuffer& out, uint64_t size) {
    out.SetLength(0);
    if (size > 0 && !out.Reserve(size)) return false;
    char piece[65536];
    for (;;) {
        ssize_t got = read(fd, piece, sizeof piece);
        if (got < 0) return false;
        if (got == 0) return true;
        if (!out.Append(piece, static_cast<uint64_t>(got))) return false;
    }
}

}  // namespace

int LWebCompressFolder(LTaskProgress& progress, const std::string& folder) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return 0;
    int written = 0;
    while (dirent* e = readdir(dir)) {
        if (progress.IsStopRequested()) break;
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        std::string path = folder + "/" + e->d_name;
        struct stat st;
        if (lstat(path.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            written += LWebCompressFolder(progress, path);
            continue;
        }
        if (!S_ISREG(st.st_mode) || !IsCompressible(e->d_name)) continue;
        int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) continue;
        LByteBuffer bytes;
        bool read_ok = ReadWhole(fd, bytes, static_cast<uint64_t>(st.st_size));
        close(fd);
        if (!read_ok) continue;
        std::string gz = path + ".gz";
        unlink(gz.c_str());
        if (LGzipWriteFile(gz.c_str(), bytes.buffer, bytes.length, static_cast<uint32_t>(st.st_mtim.tv_sec))) {
            ++written;
        } else {
            LDebugSaveCallStackF(
                "GZip failed, compressed file not written '%s'. Check that the ZLib component is installed.", gz.c_str());
            LLogErrorF("GZip failed, compressed file not written '%s'. Check that the ZLib component is installed.",
                       gz.c_str());
        }
    }
    closedir(dir);
    return written;
}
