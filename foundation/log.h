#pragma once
// The daily log file: "YYYY-MM-DD Porlinex[ Service] Log.txt" in the data
// folder's "Logs", lines "HH:MM:SS text" with CR LF, local time.
#include <cstdarg>

enum LLogLevel : int { LLogInfo = 0, LLogError = 1, LLogWarning = 2 };

int LLog(const char16_t* text, int level);
int LLog(const char* text, int level);
void LLogWrite(const char* text, int level);
void LLogInfoF(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void LLogErrorF(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void LLogWarningF(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void LLogV(const char* fmt, int level, va_list ap);
void LLogErrorWithDetail(const char* text, const char* detail);

// Logging is on from start-up to exit; while off nothing is written.
void LLogSetEnabled(bool on);
// The service process names its file with the suffix " Service".
void LSetServiceFlag(bool on);
bool LGetServiceFlag();
