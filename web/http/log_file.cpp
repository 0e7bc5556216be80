#include "web/http/log_file.h"

void LWebLogFile::Append(const std::string& path, const char* line, size_t n) {
    std::lock_guard<std::mutex> guard(lock_);
    if (path != path_ || !file_.IsValid()) {
        // A file that cannot be opened is tried again with the next line.
        file_.OpenForAppend(path.c_str());
        path_ = file_.IsValid() ? path : std::string();
    }
    if (file_.IsValid()) file_.Write(line, n);
}

// Never destroyed: connection threads may still log while statics go at exit.
LWebLogFile& LWebAccessLogFile() {
    static LWebLogFile* file = new LWebLogFile;
    return *file;
}

LWebLogFile& LWebHttpErrorLogFile() {
    static LWebLogFile* file = new LWebLogFile;
    return *file;
}

void LWebAppendLineOnce(const std::string& path, const char* line, size_t n) {
    LPlatformFile file;
    if (file.OpenForAppend(path.c_str())) file.Write(line, n);
}
