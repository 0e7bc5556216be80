#include "setup/zip_extract.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "foundation/lstring.h"
#include "setup/remove_tree.h"

namespace {

struct ArchiveCloser {
    void operator()(archive* a) const { archive_read_free(a); }
};
using ArchivePtr = std::unique_ptr<archive, ArchiveCloser>;

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            if (fd_ >= 0) close(fd_);
            fd_ = other.fd_;
            other.fd_ = -1;
        }
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd_ >= 0) close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
};

enum class Step { Done, Skipped, Failed };

// The entry's name split into its parts; false for a name that could reach
// outside the new folder or is deeper than allowed.
bool SplitEntryName(const char* name, unsigned maxDepth, std::vector<std::string>& parts) {
    parts.clear();
    if (!name || !*name || name[0] == '/') return false;
    std::string current;
    for (const char* p = name;; ++p) {
        if (*p == '/' || *p == 0) {
            if (current == "..") return false;
            if (!current.empty() && current != ".") parts.push_back(current);
            current.clear();
            if (*p == 0) break;
        } else {
            current += *p;
        }
    }
    return parts.size() <= maxDepth;
}

// Opens (making when missing) the folders of parts[0..count) below root,
// never following a link.
Fd OpenFolders(int root, const std::vector<std::string>& parts, size_t count) {
    Fd dir(dup(root));
    for (size_t i = 0; i < count && dir.get() >= 0; ++i) {
        mkdirat(dir.get(), parts[i].c_str(), 0755);
        dir = Fd(openat(dir.get(), parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    }
    return dir;
}

Step CopyFile(archive* a, archive_entry* entry, int root, const std::vector<std::string>& parts, uint64_t& total,
              uint64_t maxTotal) {
    Fd dir = OpenFolders(root, parts, parts.size() - 1);
    mode_t mode = (archive_entry_perm(entry) & 0100) ? 0755 : 0644;
    Fd file(dir.get() < 0 ? -1
                          : openat(dir.get(), parts.back().c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, mode));
    if (file.get() < 0) return archive_read_data_skip(a) == ARCHIVE_OK ? Step::Skipped : Step::Failed;
    char chunk[65536];
    for (;;) {
        la_ssize_t n = archive_read_data(a, chunk, sizeof chunk);
        if (n == 0) return Step::Done;
        if (n < 0) return Step::Failed;
        total += static_cast<uint64_t>(n);
        if (total > maxTotal) return Step::Failed;
        for (la_ssize_t off = 0; off < n;) {
            ssize_t w = write(file.get(), chunk + off, static_cast<size_t>(n - off));
            if (w <= 0) return Step::Failed;
            off += w;
        }
    }
}

Step ExtractEntry(archive* a, archive_entry* entry, int root, const LZipLimits& limits, uint64_t& total) {
    std::vector<std::string> parts;
    const char* name = archive_entry_pathname_utf8(entry);
    if (!name) name = archive_entry_pathname(entry);
    if (!SplitEntryName(name, limits.maxDepth, parts) || archive_entry_hardlink(entry)) return Step::Failed;
    mode_t type = archive_entry_filetype(entry);
    if (type == AE_IFDIR) {
        Fd dir = OpenFolders(root, parts, parts.size());
        return dir.get() < 0 ? Step::Skipped : Step::Done;
    }
    if (type != AE_IFREG || parts.empty()) return Step::Failed;
    return CopyFile(a, entry, root, parts, total, limits.maxTotalBytes);
}

bool ExtractInto(const std::string& archivePath, int root, const LZipLimits& limits) {
    ArchivePtr a(archive_read_new());
    if (!a) return false;
    archive_read_support_format_zip(a.get());
    if (archive_read_open_filename(a.get(), archivePath.c_str(), 65536) != ARCHIVE_OK) return false;
    uint64_t entries = 0, total = 0;
    for (;;) {
        archive_entry* entry = nullptr;
        int r = archive_read_next_header(a.get(), &entry);
        if (r == ARCHIVE_EOF) return true;
        if (r != ARCHIVE_OK && r != ARCHIVE_WARN) return false;
        if (++entries > limits.maxEntries) return false;
        if (ExtractEntry(a.get(), entry, root, limits, total) == Step::Failed) return false;
    }
}

// The archive's file name without its extension.
std::string FolderName(const std::string& archivePath) {
    size_t slash = archivePath.rfind('/');
    std::string name = slash == std::string::npos ? archivePath : archivePath.substr(slash + 1);
    size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.resize(dot);
    return name == "." || name == ".." ? std::string() : name;
}

}  // namespace

bool LExtractZipArchive(const char16_t* archive, const char16_t* destination, const LZipLimits& limits) {
    if (!archive || !destination || !*destination) return false;
    std::string archivePath = LToUtf8(archive), dest = LToUtf8(destination);
    std::string name = FolderName(archivePath);
    if (name.empty()) return false;
    // Unpacked beside its final place first, so that a refused or broken
    // archive never leaves half a component behind nor removes a working one.
    std::string staging = dest + "/." + name + ".XXXXXX";
    if (!mkdtemp(staging.data())) return false;
    Fd root(open(staging.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    bool ok = root.get() >= 0 && fchmod(root.get(), 0755) == 0 && ExtractInto(archivePath, root.get(), limits);
    root = Fd();
    std::string target = dest + "/" + name;
    if (ok) ok = LRemoveTreeNoFollow(target) && rename(staging.c_str(), target.c_str()) == 0;
    if (!ok) LRemoveTreeNoFollow(staging);
    return ok;
}
