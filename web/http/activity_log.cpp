#include "web/http/activity_log.h"

#include <cstdio>
#include <ctime>
#include <mutex>
#include <string>

#include "foundation/data_folder.h"
#include "foundation/utf8.h"

namespace {
std::mutex g_activity_lock;
}

void LActivityLogWrite(const char* suffix, const char* text) {
    time_t t = time(nullptr);
    if (t == 0) return;
    struct tm lt;
    localtime_r(&t, &lt);
    char date[32], clock[32];
    std::snprintf(date, sizeof date, "%.4d-%.2d-%.2d", lt.tm_year + 1900, lt.tm_mon + 1, lt.tm_mday);
    std::snprintf(clock, sizeof clock, "%.2d:%.2d:%.2d", lt.tm_hour, lt.tm_min, lt.tm_sec);
    std::string path = LDataSubfolderPath("Logs") + "/" + date + (suffix ? suffix : "") + ".csv";
    std::lock_guard<std::mutex> lock(g_activity_lock);
    if (FILE* f = std::fopen(path.c_str(), "ab")) {
        std::fprintf(f, "%s %s\r\n", clock, text ? text : "");
        std::fclose(f);
    }
}

void LActivityLogWriteW(const char* suffix, const char16_t* text) {
    char buf[260];
    LWideToUTF8Buf(buf, text);
    LActivityLogWrite(suffix, buf);
}
