#pragma once
// The daily log: "YYYY-MM-DD Porlinex[ Service] Log.txt" in the data folder's
// "Logs", UTF-8 lines "HH:MM:SS text" ending in CR LF, local time. Every line
// also goes to whoever watches live: the desktop's log view when one is
// attached, else the service's pipe clients. Error lines are queued for the
// error e-mail while no view is attached. Those three live here only as
// hooks that the upper layers register at start-up.
#include <cstdarg>
#include <cstdint>

// Debug lines (per-request and per-round chatter) are written only while
// debug logging is on, and then as information lines.
enum LLogLevel : int { LLogInfo = 0, LLogError = 1, LLogWarning = 2, LLogDebug = 3 };

// Always 0.
int LLog(const char* text, int level);
int LLog(const char16_t* text, int level);
// The file and live-view part of LLog.
void LLogWrite(const char* text, int level);
// printf-style into 512 characters (cut to 511); nothing while logging is off.
void LLogV(const char* fmt, int level, va_list ap);
void LLogInfoF(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void LLogErrorF(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void LLogWarningF(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void LLogDebugF(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// text and detail joined without a separator, as an error.
void LLogErrorWithDetail(const char* text, const char* detail);

// Error lines that fold repeats: within interval_s seconds of the last line
// written for the same text, a repeat is only counted; the next line after
// the interval carries the count as " [n]". A text that stopped repeating
// gets a "text [~n]" line once twice its interval has passed.
void LLogRateLimited(uint32_t interval_s, const char* text);
void LLogRateLimitedF(uint32_t interval_s, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
// Forgets every folded text without writing its count (at exit, and for tests).
void LLogRateLimitClear();

// Logging is on from start-up to exit; while off nothing is written.
void LLogSetEnabled(bool on);
bool LLogIsEnabled();
// Closes the day's file (at exit; the next line opens it again).
void LLogCloseFile();

// Every line also goes to standard error ("HH:MM:SS text"): the service in
// the foreground shows its log in a terminal and in the journal.
void LLogSetStandardErrorCopy(bool on);
// Only error and warning lines go to standard error too: a job run from a
// terminal says there why it failed.
void LLogSetStandardErrorErrors(bool on);
// A line from elsewhere (the activity logs) for standard error, under the
// same rule as the log's own lines of that level.
void LLogCopyToStandardError(const char* text, int level);

// Debug lines are off unless the machine settings turn them on
// (Settings\DebugLog not empty and not "0"); the host reads it at start.
void LLogSetDebug(bool on);
bool LLogDebugIsOn();

// Appends one line to the day's file with a single write, without the
// log's own lock or share rule: a child reports for a process that still
// holds the file open (the crashed service).
void LLogAppendLineUnshared(const char* text);

// The service process names its file with the suffix " Service".
void LSetServiceFlag(bool on);
bool LGetServiceFlag();

// Live watchers, registered by the layers above. Texts are UTF-8.
using LLogLineSink = void (*)(const char* time_text, const char* text, int level);
// The desktop's log view; while set, lines go there and not to the pipe,
// and errors are not queued for the error e-mail. Null detaches it.
void LLogAttachView(LLogLineSink add_line);
// The service's pipe server broadcast; null when there is none.
void LLogSetPipeBroadcast(LLogLineSink broadcast);

// The error e-mail queue: the implementation registers itself; until then
// (and in processes without one) queued texts are dropped.
using LErrorEmailQueueFunc = void (*)(const char* text);
void LSetErrorEmailQueue(LErrorEmailQueueFunc queue);
void LErrorEmailQueue(const char* text);

// Diagnostic call-stack records of failures that are not crashes (a table
// that is not registered, a failed insert, a compressed copy not written):
// the message, the time, the thread's tag and the caller's return
// addresses, carried by the next crash or problem report. The host
// registers the recorder at start-up; without one nothing is recorded. An
// empty message is recorded as "Unknown".
using LCallStackRecorder = void (*)(const char* message);
void LSetCallStackRecorder(LCallStackRecorder recorder);
void LDebugSaveCallStack(const char* message);
void LDebugSaveCallStackF(const char* format, ...) __attribute__((format(printf, 1, 2)));
