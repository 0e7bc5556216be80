#pragma once
// Calendar times: the UTC text stamps of the database ("YYYY-MM-DD HH:MM:SS"),
// local dates and times for people, lenient parsing of typed dates, and month
// arithmetic. Times are time_t seconds since 1970.
//
// Year rule of every parser and constructor: a year below 70 is 2000 + year,
// 70 to 1899 is 1900 + year, 1900 and above stays as it is.
//
// A time the calendar routines cannot represent (before 1970 or after the
// year 3000) counts as a failure: the out value is left as it was.
#include <cstdint>
#include <ctime>

// Parsing. Each returns true when it wrote the out value.
// "Y-M-D" and "h:m:s" in local time; missing parts are day 1, month 1,
// year 0 (2000) and 0 for the time. An empty date gives 0.
bool LParseLocalDateAndTime(time_t* out, const char16_t* date, const char16_t* time);
// The date at 12:00 local time; empty gives 0.
bool LParseLocalDate(time_t* out, const char16_t* date);
// "Y-M-D h:m:s" as UTC; a missing time is 12:00:00; empty gives 0.
bool LParseDateTimeUTC(time_t* out, const char16_t* text);
bool LMakeLocalTime(time_t* out, int year, int month, int day, int hour, int minute, int second);
bool LMakeTimeUTC(time_t* out, int year, int month, int day, int hour, int minute, int second);
// A file time (100 ns units since 1601, UTC) in whole seconds, taken
// through the local calendar; 0 when it cannot be represented.
time_t LFileTimeToTime(uint64_t fileTime);

// Formatting into fixed fields (at least 20 units; the usual 260 will do).
void LFormatDateTimeUTC(time_t t, char16_t* out);
void LFormatDateUTC(time_t t, char16_t* out);
// The current time; empty when the clock reads 0.
void LNowDateTimeUTC(char16_t* out);
void LTodayDateUTC(char16_t* out);
void LNowDateTimeUTCA(char* out);
// Local "YYYY-MM-DD" and "HH:MM:SS"; both empty for time 0.
void LFormatLocalDateAndTime(time_t t, char16_t* outDate, char16_t* outTime);

// 28 to 31 by the Gregorian rule; 0 for a month outside 1 to 12.
int LDaysInMonth(int year, int month);
// n months later (or earlier) in local time, the day cut to the target month.
bool LAddMonths(time_t t, time_t* out, int n);
// Local midnight of the day the program was built.
bool LGetBuildDate(time_t* out);
// The compiler's date text ("Mmm dd yyyy") as local midnight; an unknown
// month name reads as month 0.
bool LParseCompilerDate(const char* text, time_t* out);
