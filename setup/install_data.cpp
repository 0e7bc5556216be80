#include "setup/install_data.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "platform/nofollow_path.h"
#include "platform/root.h"

namespace {

constexpr LPackagedFile kFiles[LPackagedFileCount] = {
    {LPackagedTarget::InstallFolder, nullptr, "shellmenu.dll"},
    {LPackagedTarget::InstallFolder, nullptr, "shellmenua.msix"},
    {LPackagedTarget::InstallFolder, nullptr, "shellmenub.msix"},
    {LPackagedTarget::DataSubfolder, "Web", "print.css"},
    {LPackagedTarget::DataSubfolder, "Web", "s.css"},
    {LPackagedTarget::DataSubfolder, "Web", "ajax.js"},
    {LPackagedTarget::DataSubfolder, "Web", "table.js"},
    {LPackagedTarget::DataSubfolder, "Web", "upsort.gif"},
    {LPackagedTarget::DataSubfolder, "Web", "downsort.gif"},
    {LPackagedTarget::DataSubfolder, "Web", "darkblue.gif"},
    {LPackagedTarget::DataSubfolder, "Web", "greybg.gif"},
    {LPackagedTarget::DataSubfolder, "Web", "favicon.ico"},
    {LPackagedTarget::DataSubfolder, "Web", "settings.html"},
    {LPackagedTarget::DataSubfolder, "Web", "backup.html"},
    {LPackagedTarget::DataSubfolder, "Web", "log.html"},
    {LPackagedTarget::DataSubfolder, "Web", "autoresponders.html"},
    {LPackagedTarget::DataSubfolder, "Web", "mcp.html"},
    {LPackagedTarget::DataSubfolder, "Web", "search.html"},
    {LPackagedTarget::DataSubfolder, "Web", "popupmenu.css"},
    {LPackagedTarget::DataSubfolder, "Web", "rules.html"},
    {LPackagedTarget::DataSubfolder, "Web", "emailaccounts.html"},
    {LPackagedTarget::DataSubfolder, "Web", "index.html"},
};

constexpr size_t kChunk = 16384;

uint32_t ReadLe32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

bool ReadAt(int fd, void* out, size_t n, uint64_t at) {
    auto* p = static_cast<unsigned char*>(out);
    while (n) {
        ssize_t got = pread(fd, p, n, static_cast<off_t>(at));
        if (got <= 0) return false;
        p += got;
        at += static_cast<uint64_t>(got);
        n -= static_cast<size_t>(got);
    }
    return true;
}

bool WriteAll(int fd, const unsigned char* p, size_t n) {
    while (n) {
        ssize_t put = write(fd, p, n);
        if (put <= 0) return false;
        p += put;
        n -= static_cast<size_t>(put);
    }
    return true;
}

// A file written under a temporary name, renamed into place by Commit and
// removed otherwise.
struct Staged {
    LPlatformFd folder;
    std::string temp, name;
    bool committed = false;
    Staged() = default;
    Staged(Staged&&) = default;
    ~Staged() {
        if (!committed && folder.IsValid() && !temp.empty()) unlinkat(folder.Get(), temp.c_str(), 0);
    }
};

std::string TargetFolder(const LPackagedFile& f, const LInstallTargets& t) {
    switch (f.target) {
        case LPackagedTarget::InstallFolder: return t.install_folder;
        case LPackagedTarget::DataFolder: return t.data_folder;
        case LPackagedTarget::DataSubfolder: break;
    }
    return t.data_folder + "/" + f.subfolder;
}

// The sizes and the checksum; false when the file does not hold exactly
// the contents its sizes announce.
bool ReadTrailer(int fd, std::vector<uint32_t>& sizes, uint32_t& checksum, uint64_t& content) {
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    uint64_t length = static_cast<uint64_t>(st.st_size);
    const uint64_t trailer_size = 4 * (sizes.size() + 1);
    if (length < trailer_size || length > LInstallDataMaxSize) return false;
    std::vector<unsigned char> trailer(trailer_size);
    if (!ReadAt(fd, trailer.data(), trailer.size(), length - trailer_size)) return false;
    content = 0;
    for (size_t i = 0; i < sizes.size(); ++i) {
        sizes[i] = ReadLe32(trailer.data() + 4 * i);
        content += sizes[i];
    }
    checksum = ReadLe32(trailer.data() + 4 * sizes.size());
    return content + trailer_size == length;
}

// The additive checksum of the content; false when the file cannot be read.
bool SumContent(int fd, uint64_t content, uint32_t& sum) {
    std::vector<unsigned char> buf(kChunk);
    sum = 0;
    for (uint64_t at = 0; at < content;) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(kChunk, content - at));
        if (!ReadAt(fd, buf.data(), n, at)) return false;
        for (size_t i = 0; i < n; ++i) sum += buf[i];
        at += n;
    }
    return true;
}

enum class StageResult { Ok, Failed, Stopped };

// Copies one row into a temporary file beside its target, adding the bytes
// it copies to sum.
StageResult StageRow(int data_fd, uint64_t at, uint32_t size, const std::string& path, Staged& out, uint32_t& sum,
                     LTaskProgress* progress) {
    size_t slash = path.rfind('/');
    std::string folder = slash == 0 ? "/" : path.substr(0, slash);
    out.name = path.substr(slash + 1);
    if (LPlatformOpenFolderNoLinks(folder, true, LPlatformSharedFolderMode, {}, &out.folder) != LPlatformWalk::Ok)
        return StageResult::Failed;
    out.temp = "." + out.name + ".part-" + std::to_string(getpid());
    unlinkat(out.folder.Get(), out.temp.c_str(), 0);
    LPlatformFd file(openat(out.folder.Get(), out.temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                            LPlatformSharedFileMode));
    if (!file.IsValid()) {
        out.temp.clear();
        return StageResult::Failed;
    }
    std::vector<unsigned char> buf(kChunk);
    uint32_t chunks = 0;
    for (uint32_t left = size; left;) {
        size_t n = std::min<size_t>(left, kChunk);
        if (!ReadAt(data_fd, buf.data(), n, at)) return StageResult::Failed;
        for (size_t i = 0; i < n; ++i) sum += buf[i];
        if (!WriteAll(file.Get(), buf.data(), n)) return StageResult::Failed;
        at += n;
        left -= static_cast<uint32_t>(n);
        if (++chunks % 256 == 0 && progress && progress->IsStopRequested()) return StageResult::Stopped;
    }
    if (fchmod(file.Get(), LPlatformSharedFileMode) != 0 || fsync(file.Get()) != 0) return StageResult::Failed;
    return StageResult::Ok;
}

}  // namespace

const LPackagedFile* LPackagedFiles() { return kFiles; }

int LUnpackInstallData(const std::string& data_path, const LInstallTargets& targets, LTaskProgress* progress,
                       const LPackagedFile* files, int count) {
    if (data_path.empty()) return LInstallStatusNoData;
    LPlatformFd data(open(data_path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!data.IsValid()) return LInstallStatusNoData;
    if (count <= 0) return LInstallStatusCorrupt;
    std::vector<uint32_t> sizes(static_cast<size_t>(count));
    uint32_t checksum = 0, sum = 0;
    uint64_t content = 0;
    // First pass: a file that is short, long or damaged writes nothing.
    if (!ReadTrailer(data.Get(), sizes, checksum, content) || !SumContent(data.Get(), content, sum) ||
        sum != checksum)
        return LInstallStatusCorrupt;

    // Second pass: the bytes actually written are summed again, so a file
    // changed between the passes is caught before any rename.
    std::vector<Staged> staged;
    staged.reserve(sizes.size());
    sum = 0;
    uint64_t at = 0;
    for (int i = 0; i < count; ++i) {
        if (sizes[i] == 0) continue;
        staged.emplace_back();
        StageResult r = StageRow(data.Get(), at, sizes[i], TargetFolder(files[i], targets) + "/" + files[i].name,
                                 staged.back(), sum, progress);
        if (r == StageResult::Stopped) return LInstallStatusRunning;
        if (r == StageResult::Failed) return LInstallStatusWriteFailed;
        at += sizes[i];
        if (progress && progress->IsStopRequested()) return LInstallStatusRunning;
    }
    if (sum != checksum) return LInstallStatusCorrupt;
    for (Staged& s : staged) {
        if (renameat(s.folder.Get(), s.temp.c_str(), s.folder.Get(), s.name.c_str()) != 0)
            return LInstallStatusWriteFailed;
        s.committed = true;
        fsync(s.folder.Get());
    }
    return LInstallStatusDone;
}
