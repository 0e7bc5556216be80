#include "foundation/log.h"

#include <cstdio>
#include <ctime>
#include <mutex>
#include <string>

#include "foundation/data_folder.h"
#include "foundation/utf8.h"

namespace {

std::mutex g_log_lock;
bool g_logging = true;
bool g_service = false;

}  // namespace

void LLogSetEnabled(bool on) { g_logging = on; }
void LSetServiceFlag(bool on) { g_service = on; }
bool LGetServiceFlag() { return g_service; }

void LLogWrite(const char* text, int /*level*/) {
    if (!g_logging || !text) return;
    time_t now = time(nullptr);
    struct tm lt;
    localtime_r(&now, &lt);
    char name[128];
    std::snprintf(name, sizeof name, "%.4d-%.2d-%.2d Porlinex%s Log.txt", lt.tm_year + 1900, lt.tm_mon + 1,
                  lt.tm_mday, g_service ? " Service" : "");
    std::string path = LDataSubfolderPath("Logs") + "/" + name;
    std::lock_guard<std::mutex> lock(g_log_lock);
    FILE* f = std::fopen(path.c_str(), "ab");
    if (!f) return;
    std::fprintf(f, "%.2d:%.2d:%.2d %s\r\n", lt.tm_hour, lt.tm_min, lt.tm_sec, text);
    std::fclose(f);
}

int LLog(const char* text, int level) {
    LLogWrite(text, level);
    return 0;
}

int LLog(const char16_t* text, int level) {
    LLogWrite(LToUtf8(text).c_str(), level);
    return 0;
}

void LLogV(const char* fmt, int level, va_list ap) {
    if (!g_logging) return;
    char buf[512];
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    LLog(buf, level);
}

void LLogInfoF(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    LLogV(fmt, LLogInfo, ap);
    va_end(ap);
}

void LLogErrorF(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    LLogV(fmt, LLogError, ap);
    va_end(ap);
}

void LLogWarningF(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    LLogV(fmt, LLogWarning, ap);
    va_end(ap);
}

void LLogErrorWithDetail(const char* text, const char* detail) {
    if (!g_logging) return;
    std::string s = std::string(text ? text : "") + (detail ? detail : "");
    LLog(s.c_str(), LLogError);
}
