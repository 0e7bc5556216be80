#pragma once
// The HTTP logs ("HTTP <date>.csv", "HTTP Error <date>.csv") take a line per
// request: their files stay open between lines, and a line for another file
// (the next day's, another data folder's) closes the one open and opens
// that. Each line is one append, whole, whichever thread writes it.
#include <cstddef>
#include <mutex>
#include <string>

#include "platform/file.h"

class LWebLogFile {
public:
    void Append(const std::string& path, const char* line, size_t n);

private:
    std::mutex lock_;
    std::string path_;
    LPlatformFile file_;
};

LWebLogFile& LWebAccessLogFile();
LWebLogFile& LWebHttpErrorLogFile();

// One line appended to a file opened for it alone (logs written seldom).
void LWebAppendLineOnce(const std::string& path, const char* line, size_t n);
