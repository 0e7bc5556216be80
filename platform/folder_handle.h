#pragma once
// A folder opened once and then used only by names relative to it, for
// places a service running as root writes secrets into: nothing here follows
// a symbolic link, neither the folder itself nor any file in it, so a link
// planted by a local user never redirects a write or a read.
#include <cstddef>
#include <string>

class LPlatformFolderHandle {
public:
    LPlatformFolderHandle() = default;
    ~LPlatformFolderHandle() { Close(); }
    LPlatformFolderHandle(const LPlatformFolderHandle&) = delete;
    LPlatformFolderHandle& operator=(const LPlatformFolderHandle&) = delete;

    // Opens a real folder (never a link to one); creates it with the mode
    // first when missing and create is set (its parent must exist).
    bool Open(const std::string& path, bool create, unsigned create_mode);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    int Descriptor() const { return fd_; }
    bool SetMode(unsigned mode);

    enum ReadResult { ReadOk = 0, ReadMissing = 1, ReadFailed = 2 };
    // A regular file of at most max_bytes; a link, another kind of file or
    // a larger one is ReadFailed.
    ReadResult ReadFile(const char* name, size_t max_bytes, std::string& out) const;
    // Replaces the file whole: a temporary file in the folder, written,
    // synced, given the mode, then renamed over the name, and the folder
    // synced; a reader sees the old or the new file, never a part.
    bool WriteFile(const char* name, const void* data, size_t n, unsigned mode) const;
    // True when nothing of that name is left (also when there was none).
    // A sharing-style failure (busy) is reported as such through the
    // platform's last error so that the caller may retry.
    bool DeleteFile(const char* name) const;
    // Sets the mode of a regular file; false for a link or a missing file.
    bool SetFileMode(const char* name, unsigned mode) const;
    // True when the name is a regular file (not a link to one).
    bool HasFile(const char* name) const;

private:
    int fd_ = -1;
};
