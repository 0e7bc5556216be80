#pragma once
// File primitives of the settings hives: an exclusive lock file beside the
// hive, whole-file reads, and a replace that a crash can never leave torn.
#include <string>
#include <string_view>

// Holds an exclusive flock on "<hive>.lock" for its life. Every writer of a
// hive takes it before it re-reads the file, so no writer loses another's
// value, whether the other is a thread or a process.
class LPlatformHiveLock {
public:
    explicit LPlatformHiveLock(const std::string& hive_path);
    ~LPlatformHiveLock();
    LPlatformHiveLock(const LPlatformHiveLock&) = delete;
    LPlatformHiveLock& operator=(const LPlatformHiveLock&) = delete;
    bool Held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

enum class LPlatformReadResult { Ok, Missing, Failed };

// The largest hive read: far beyond any settings, far below what a file
// replaced by something else could make the reader hold.
constexpr uint64_t LPlatformHiveMaxBytes = 64u << 20;

// Reads a whole regular file into out. A file whose mode grants more than
// maxMode is tightened to it (never loosened) when this process may: a hive
// once left readable by everyone stops being so at the next read.
LPlatformReadResult LPlatformReadWholeFile(const std::string& path, std::string& out, unsigned maxMode);

// Writes the content to a temporary file beside path, fsyncs it, renames it
// over path and fsyncs the folder. A new file gets exactly `mode`, whatever
// the umask; an existing one keeps its owner, group and mode, tightened to
// `mode`. Temporaries that a killed writer left are removed first (the
// caller holds the hive's lock, so no other writer is at work). The folder
// is created when missing.
bool LPlatformReplaceFile(const std::string& path, std::string_view content, unsigned mode);

// Renames path to path + suffix (replacing an older file of that name).
bool LPlatformMoveAside(const std::string& path, const char* suffix);
