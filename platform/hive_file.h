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

// Reads a whole file into out.
LPlatformReadResult LPlatformReadWholeFile(const std::string& path, std::string& out);

// Writes the content to a temporary file beside path, fsyncs it, renames it
// over path and fsyncs the folder. An existing file keeps its mode; a new
// one gets `mode`. The folder is created when missing.
bool LPlatformReplaceFile(const std::string& path, std::string_view content, unsigned mode);

// Renames path to path + suffix (replacing an older file of that name).
bool LPlatformMoveAside(const std::string& path, const char* suffix);
