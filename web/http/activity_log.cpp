#include "web/http/activity_log.h"

#include <cstring>
#include <mutex>
#include <ctime>
#include <string>
#include <string_view>

#include "foundation/data_folder.h"
#include "foundation/date_time.h"
#include "foundation/time_source.h"
#include "foundation/format.h"
#include "foundation/log.h"
#include "foundation/utf8.h"
#include "platform/root.h"
#include "web/http/log_file.h"

const std::string& LActivityLogFolder() {
    // Kept per root: tests run one process under several roots.
    static std::mutex lock;
    static std::string root, folder;
    thread_local std::string copy;
    std::lock_guard<std::mutex> guard(lock);
    std::string now_root = LPlatformRoot();
    if (folder.empty() || now_root != root) {
        root = now_root;
        folder = LDataSubfolderPath("Logs");
    }
    copy = folder;
    return copy;
}

void LActivityLogWrite(const char* suffix, const char* text) {
    char16_t wdate[260], wclock[260];
    LFormatLocalDateAndTime(LNow(), wdate, wclock);
    char date[260], clock[260];
    LWideToUTF8Buf(date, wdate);
    LWideToUTF8Buf(clock, wclock);
    const std::string time_only = clock;
    if (date[0]) {
        std::string stamp = std::string(date) + " " + clock;
        LCopyFieldA(clock, stamp.c_str());
    }
    LStringA line;
    line.Format("%s %s\r\n", clock, text ? text : "");
    std::string path = LActivityLogFolder() + "/" + date + (suffix ? suffix : "") + ".csv";
    // One append of the whole line: writers on other threads never split it.
    LWebAppendLineOnce(path, line.c_str(), line.length);
    // The mail activity and its errors also reach the service's terminal and
    // journal, which show the rest of its log.
    const std::string_view category(suffix ? suffix : "");
    if (category == " EMAIL" || category == " ERROR")
        LLogCopyToStandardError((time_only + std::string(category) + ": " + (text ? text : "")).c_str(),
                                category == " ERROR" ? LLogError : LLogInfo);
}

void LActivityLogWriteW(const char* suffix, const char16_t* text) {
    char buf[260];
    LWideToUTF8Buf(buf, text);
    LActivityLogWrite(suffix, buf);
}

const char* LActivityLogCategoryOf(const char16_t* name) {
    std::u16string_view n(name ? name : u"");
    if (n.size() < 14) return "";
    static const char kPattern[] = "dddd-dd-dd";
    for (size_t i = 0; i < 10; ++i) {
        bool digit = n[i] >= u'0' && n[i] <= u'9';
        if (kPattern[i] == 'd' ? !digit : n[i] != u'-') return "";
    }
    std::u16string_view rest = n.substr(10);
    if (rest == u".csv") return "activity";
    if (rest == u" EMAIL.csv") return "email";
    if (rest == u" ERROR.csv") return "error";
    if (rest == u" MCP.csv") return "mcp";
    return "";
}
