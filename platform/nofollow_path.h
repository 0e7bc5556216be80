#pragma once
// Paths walked one component at a time from "/" without following any
// symbolic link, for files written or read on behalf of a client whose
// paths are not to be trusted: a link planted anywhere on the way cannot
// send a write into another folder, and a file's name is only ever replaced
// when a regular file (or nothing) stands there.
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

// An open descriptor, closed when the object goes.
class LPlatformFd {
public:
    LPlatformFd() = default;
    explicit LPlatformFd(int fd) : fd_(fd) {}
    ~LPlatformFd() { Reset(); }
    LPlatformFd(const LPlatformFd&) = delete;
    LPlatformFd& operator=(const LPlatformFd&) = delete;
    LPlatformFd(LPlatformFd&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
    LPlatformFd& operator=(LPlatformFd&& o) noexcept;
    int Get() const { return fd_; }
    bool IsValid() const { return fd_ >= 0; }
    void Reset(int fd = -1);

private:
    int fd_ = -1;
};

// What a folder is on disk (device and inode), to know it under any name.
struct LPlatformNodeId {
    uint64_t device = 0;
    uint64_t inode = 0;
    bool operator==(const LPlatformNodeId&) const = default;
};
// The node a path names (links followed); false when nothing is there.
bool LPlatformNodeIdOf(const std::string& path, LPlatformNodeId* id);

enum class LPlatformWalk {
    Ok,
    Forbidden,  // the path runs through one of the forbidden folders
    Failed,     // a component is missing (and was not to be made), a link, not a folder, or could not be made
};
// Opens the folder of an absolute path, component by component. Missing
// folders are made with `mode` when `create` is set. No component may be a
// symbolic link, "." or "..", and no folder on the way may be one of
// `forbidden`.
LPlatformWalk LPlatformOpenFolderNoLinks(const std::string& path, bool create, unsigned mode,
                                         const std::vector<LPlatformNodeId>& forbidden, LPlatformFd* folder);
// Opens a regular file for reading at a path below `root`, following no
// link between them. False for anything but a regular file.
bool LPlatformOpenRegularFileBeneath(const std::string& root, const std::string& relative, LPlatformFd* file);
// Copies the whole of `source` into the name inside `folder`: written to a
// temporary file of mode `mode`, flushed, then renamed over the name. False,
// with nothing changed, when the name holds anything but a regular file.
bool LPlatformReplaceFileAt(const LPlatformFd& folder, const std::string& name, const LPlatformFd& source,
                            unsigned mode);
