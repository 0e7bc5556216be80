#pragma once
// The activity logs for the user: daily files "<date><suffix>.csv" in the
// data folder's "Logs", one line "YYYY-MM-DD HH:MM:SS text" (local time)
// each. Suffixes: none for general activity, " EMAIL", " ERROR", " MCP".
// Despite the extension, lines are not split into CSV fields.
#include "foundation/lstring.h"

void LActivityLogWrite(const char* category_suffix, const char* text);
// The text is cut to 259 bytes of UTF-8 on the way.
void LActivityLogWriteW(const char* category_suffix, const char16_t* text);

template <class... A>
void LActivityLogF(const char* suffix, const char16_t* fmt, const A&... a) {
    LString text;
    text.Format(fmt, a...);
    // The formatted text is bounded before it is cut to a line.
    text.Truncate(8191);
    LActivityLogWriteW(suffix, text.c_str());
}
template <class... A>
void LActivityLog(const char16_t* fmt, const A&... a) { LActivityLogF("", fmt, a...); }
template <class... A>
void LActivityLogEmail(const char16_t* fmt, const A&... a) { LActivityLogF(" EMAIL", fmt, a...); }
template <class... A>
void LActivityLogError(const char16_t* fmt, const A&... a) { LActivityLogF(" ERROR", fmt, a...); }
template <class... A>
void LActivityLogMcp(const char16_t* fmt, const A&... a) { LActivityLogF(" MCP", fmt, a...); }

// "activity", "email", "error" or "mcp" for a valid log file name (a date
// "YYYY-MM-DD" and exactly ".csv", " EMAIL.csv", " ERROR.csv" or
// " MCP.csv"); "" for any other name. Only such names are ever opened.
const char* LActivityLogCategoryOf(const char16_t* file_name);
// The folder of the activity logs, UTF-8, made once and then kept.
const std::string& LActivityLogFolder();

class LJsonWriter;
// {"file":..., "category":..., "size":"<bytes>"} of one log file (size 0
// when it cannot be read).
void LActivityLogFileJson(LJsonWriter& json, const char* file_name, const char* category);
