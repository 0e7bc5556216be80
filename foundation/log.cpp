#include "foundation/log.h"

#include <atomic>
#include <cstdio>
#include <mutex>

#include "foundation/data_folder.h"
#include "foundation/date_time.h"
#include "foundation/files.h"
#include "foundation/format.h"
#include "foundation/time_source.h"
#include "foundation/utf8.h"
#include "platform/file.h"

namespace {

std::atomic<bool> g_logging{true};
std::atomic<bool> g_service{false};
std::atomic<bool> g_stderr_copy{false};
std::atomic<bool> g_stderr_errors{false};
std::atomic<bool> g_debug{false};
std::atomic<LLogLineSink> g_view{nullptr};
std::atomic<LLogLineSink> g_pipe{nullptr};
std::atomic<LErrorEmailQueueFunc> g_error_email{nullptr};
std::atomic<LCallStackRecorder> g_call_stack_recorder{nullptr};

// The open file of the current day, under the log lock. Never destroyed:
// threads may still log while static objects go away at exit.
struct LogFile {
    std::mutex lock;
    LFileHandle file;
    char16_t date[260] = {0};  // the local date of the last line, whole
};

LogFile& TheLog() {
    static LogFile* log = new LogFile;
    return *log;
}

bool SameText(const char16_t* a, const char16_t* b) {
    while (*a && *a == *b) ++a, ++b;
    return *a == *b;
}

// The day's file; false without its folder (the line is lost then rather
// than written elsewhere).
bool DailyPath(const char16_t* date, char16_t path[260]) {
    char16_t folder[260], name[260];
    if (!LGetDataSubfolder(u"Logs", folder) || !folder[0]) return false;
    LFormatEscPathW(name, u"%s Porlinex%s Log.txt", date, LGetServiceFlag() ? u" Service" : u"");
    LPathCombine(path, folder, name, nullptr);
    return true;
}

bool CopiesToStandardError(int level) {
    return g_stderr_copy || (g_stderr_errors && (level == LLogError || level == LLogWarning));
}

void OpenFor(LogFile& log, const char16_t* date) {
    char16_t path[260];
    if (!DailyPath(date, path)) return;
    // An invalid handle is kept too: the next line tries again.
    log.file = LCreateFileRetry(path, LFileAccessReadWrite, LFileShareRead, LFileOpenAlways, 500);
    if (log.file.IsValid()) log.file.Seek(0, 2);
}

}  // namespace

void LLogSetEnabled(bool on) { g_logging = on; }
bool LLogIsEnabled() { return g_logging; }
void LSetServiceFlag(bool on) { g_service = on; }
void LLogSetStandardErrorCopy(bool on) { g_stderr_copy = on; }
void LLogSetStandardErrorErrors(bool on) { g_stderr_errors = on; }
void LLogSetDebug(bool on) { g_debug = on; }
bool LLogDebugIsOn() { return g_debug; }

void LLogCopyToStandardError(const char* text, int level) {
    if (!text || !*text || !CopiesToStandardError(level)) return;
    LStringA line;
    line.AppendFormat("%s\n", text);
    LPlatformWriteStandardError(line.c_str(), line.length);
}

void LLogAppendLineUnshared(const char* text) {
    if (!g_logging || !text || !*text) return;
    char16_t date[260], time[260], path[260];
    LFormatLocalDateAndTime(LNow(), date, time);
    char time_text[260];
    LWideToUTF8Buf(time_text, time);
    LStringA line;
    line.AppendFormat("%s %s\r\n", time_text, text);
    LPlatformFile file;
    // O_APPEND: the one write lands whole after whatever the holder wrote.
    if (DailyPath(date, path) && file.OpenForAppend(LUTF8FromWide(path).text)) file.Write(line.c_str(), line.length);
    if (CopiesToStandardError(LLogError)) {
        line.Truncate(line.length - 2);
        line.Append("\n");
        LPlatformWriteStandardError(line.c_str(), line.length);
    }
}
bool LGetServiceFlag() { return g_service; }
void LLogAttachView(LLogLineSink add_line) { g_view = add_line; }
void LLogSetPipeBroadcast(LLogLineSink broadcast) { g_pipe = broadcast; }
void LSetErrorEmailQueue(LErrorEmailQueueFunc queue) { g_error_email = queue; }

void LErrorEmailQueue(const char* text) {
    if (LErrorEmailQueueFunc f = g_error_email.load()) f(text ? text : "");
}

void LLogCloseFile() {
    LogFile& log = TheLog();
    std::lock_guard<std::mutex> g(log.lock);
    log.file.Close();
    log.date[0] = 0;
}

void LLogWrite(const char* text, int level) {
    if (!g_logging || !text || !*text) return;
    if (level == LLogDebug) {
        if (!g_debug) return;
        level = LLogInfo;
    }
    char16_t date[260], time[260];
    LFormatLocalDateAndTime(LNow(), date, time);
    char time_text[260];
    LWideToUTF8Buf(time_text, time);
    LStringA line;
    line.AppendFormat("%s %s\r\n", time_text, text);
    {
        LogFile& log = TheLog();
        std::lock_guard<std::mutex> g(log.lock);
        // The whole date decides: the same day of another month is another file.
        if (!SameText(log.date, date)) {
            log.file.Close();
            LCopyField(log.date, date);
            OpenFor(log, date);
        } else if (!log.file.IsValid()) {
            OpenFor(log, date);
        }
        // From the end each time: a reporting child appends to this file
        // while this process still has it open.
        if (log.file.IsValid() && log.file.Seek(0, 2)) log.file.Write(line.c_str(), line.length);
        if (CopiesToStandardError(level)) {
            // A terminal and the journal want a bare line end.
            line.Truncate(line.length - 2);
            line.Append("\n");
            LPlatformWriteStandardError(line.c_str(), line.length);
        }
    }
    if (LLogLineSink view = g_view.load()) {
        view(time_text, text, level);
    } else if (LLogLineSink pipe = g_pipe.load()) {
        pipe(time_text, text, level);
    }
}

int LLog(const char* text, int level) {
    LLogWrite(text, level);
    if (level == LLogError && !g_view.load()) LErrorEmailQueue(text);
    return 0;
}

int LLog(const char16_t* text, int level) {
    LUTF8FromWide utf8(text ? text : u"");
    return LLog(utf8.text, level);
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

void LLogDebugF(const char* fmt, ...) {
    if (!g_debug) return;
    va_list ap;
    va_start(ap, fmt);
    LLogV(fmt, LLogDebug, ap);
    va_end(ap);
}

void LLogErrorWithDetail(const char* text, const char* detail) {
    if (!g_logging) return;
    LStringA s;
    s.Append(text ? text : "");
    s.Append(detail ? detail : "");
    LLog(s.c_str(), LLogError);
}

void LSetCallStackRecorder(LCallStackRecorder recorder) { g_call_stack_recorder = recorder; }

void LDebugSaveCallStack(const char* message) {
    if (LCallStackRecorder f = g_call_stack_recorder.load()) f(message ? message : "");
}

void LDebugSaveCallStackF(const char* format, ...) {
    if (!g_call_stack_recorder.load()) return;
    char buf[512];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(buf, sizeof buf, format, ap);
    va_end(ap);
    LDebugSaveCallStack(buf);
}
