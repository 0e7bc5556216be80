#pragma once
// Files and folders on POSIX with the Windows semantics the program relies
// on. Paths are UTF-8. Every failing call sets the platform's last error
// (platform/error.h).
//
// Share modes are kept between the program's own opens with flock(): a
// read-only open that lets others read takes a shared lock, one that lets
// others read and write takes none, every other open an exclusive lock. An
// open that meets a conflicting lock fails with a sharing violation, which
// the retrying file operations wait out.
#include <cstddef>
#include <cstdint>
#include <ctime>

constexpr uint32_t LFileAccessRead = 0x80000000u;
constexpr uint32_t LFileAccessWrite = 0x40000000u;
constexpr uint32_t LFileAccessReadWrite = LFileAccessRead | LFileAccessWrite;

constexpr uint32_t LFileShareNone = 0;
constexpr uint32_t LFileShareRead = 1;
constexpr uint32_t LFileShareWrite = 2;
constexpr uint32_t LFileShareDelete = 4;

constexpr uint32_t LFileCreateNew = 1;
constexpr uint32_t LFileCreateAlways = 2;
constexpr uint32_t LFileOpenExisting = 3;
constexpr uint32_t LFileOpenAlways = 4;
constexpr uint32_t LFileTruncateExisting = 5;

class LPlatformFile {
public:
    LPlatformFile() = default;
    ~LPlatformFile() { Close(); }
    LPlatformFile(const LPlatformFile&) = delete;
    LPlatformFile& operator=(const LPlatformFile&) = delete;
    LPlatformFile(LPlatformFile&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
    LPlatformFile& operator=(LPlatformFile&& o) noexcept;

    // Files are created with the shared file mode (0660) and never through
    // a symbolic link when written. A folder cannot be opened as a file.
    bool Open(const char* path, uint32_t access, uint32_t share, uint32_t disposition);
    // For appending lines (created with the shared mode when missing): every
    // write goes to the end of the file, whoever else appends, and takes no
    // part in sharing.
    bool OpenForAppend(const char* path);
    void Close();
    bool IsValid() const { return fd_ >= 0; }
    int Descriptor() const { return fd_; }

    // Reads up to n bytes; *got is 0 at the end of the file.
    bool Read(void* buffer, uint32_t n, uint32_t* got);
    // True when all n bytes were written.
    bool Write(const void* data, uint64_t n);
    // whence: 0 from the start, 1 from the current position, 2 from the end.
    bool Seek(int64_t offset, int whence, uint64_t* position = nullptr);
    // Ends the file at the current position.
    bool SetEnd();
    // Size in bytes, -1 on failure.
    int64_t Size();
    // Last-write time; 0 on failure.
    time_t WriteTime();

private:
    int fd_ = -1;
};

struct LPlatformFileInfo {
    bool exists = false;
    bool is_folder = false;
    bool is_link = false;  // the entry itself is a symbolic link
    uint64_t size = 0;
    time_t write_time = 0;
};

// follow_links false describes a symbolic link itself.
bool LPlatformGetFileInfo(const char* path, LPlatformFileInfo* info, bool follow_links);
// Deletes a file or a symbolic link (never a folder).
bool LPlatformDeleteFile(const char* path);
// Copies contents and write time; an existing target is replaced when
// overwrite is set.
bool LPlatformCopyFile(const char* from, const char* to, bool overwrite);
// Renames, replacing an existing file; across file systems a file is copied
// and the original deleted.
bool LPlatformMoveFile(const char* from, const char* to);
// Creates one folder with the given mode (the umask does not apply; with
// LPlatformDefaultFolderMode the umask decides). Fails with "already exists"
// when something is there.
constexpr unsigned LPlatformDefaultFolderMode = 0;
bool LPlatformCreateFolder(const char* path, unsigned mode);
bool LPlatformRemoveFolder(const char* path);
// Gives the owner read, write and search rights on a folder (never through
// a symbolic link), so that its entries can be deleted.
bool LPlatformMakeFolderWritable(const char* path);
// Sets mode bits on a file or folder, never through a symbolic link.
bool LPlatformSetMode(const char* path, unsigned mode);
// A file or folder that others may use (any of the bits for others set) is
// given the shared mode (files 0660, folders 02770); anything else is left
// as it is. Never through a symbolic link. False when it could not be read
// or changed; true when nothing is there.
bool LPlatformTightenMode(const char* path);
// Takes the write right of others from a file or folder (never through a
// symbolic link); true when they have none afterwards or nothing is there.
bool LPlatformRemoveWriteForOthers(const char* path);
// Creates an empty file with the shared mode when nothing is there (never
// through a symbolic link). True when a file is there afterwards.
bool LPlatformEnsureSharedFile(const char* path);

// What a path names (device and inode), to tell a file from another that
// took its name. False when nothing is there.
struct LPlatformFileId {
    uint64_t device = 0;
    uint64_t inode = 0;
    bool operator==(const LPlatformFileId&) const = default;
};
bool LPlatformGetFileId(const char* path, LPlatformFileId* id);

// Writes text to the process's standard error as it is (for a terminal or
// the journal); nothing when it is closed.
void LPlatformWriteStandardError(const char* text, size_t n);

// The entries of one folder, without "." and "..".
class LPlatformFolderReader {
public:
    LPlatformFolderReader() = default;
    ~LPlatformFolderReader() { Close(); }
    LPlatformFolderReader(const LPlatformFolderReader&) = delete;
    LPlatformFolderReader& operator=(const LPlatformFolderReader&) = delete;
    bool Open(const char* path);
    // Next entry's name (valid until the next call) and kind; false at the end.
    bool Next(const char** name, bool* is_folder, bool* is_link);
    void Close();

private:
    void* dir_ = nullptr;
    int dirfd_ = -1;
};
