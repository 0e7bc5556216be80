#include "foundation/date_time.h"

#include <cstdio>
#include <cstring>

#include "foundation/time_source.h"

namespace {

// The range of the C runtime the program was first written for: 1970 up to
// the end of the year 3000. Keeping it makes typed dates behave the same on
// every host.
constexpr time_t kLastTime = 32535215999;

bool Representable(time_t t) { return t >= 0 && t <= kLastTime; }

int ApplyYearRule(int year) {
    if (year < 70) return 2000 + year;
    if (year < 1900) return 1900 + year;
    return year;
}

// Only ASCII matters to the scanners; anything else stops them.
void ToScanText(const char16_t* w, char (&out)[128]) {
    size_t n = 0;
    if (w)
        for (; n < sizeof out - 1 && w[n]; ++n) out[n] = w[n] < 0x80 ? static_cast<char>(w[n]) : '?';
    out[n] = 0;
}

bool IsEmpty(const char16_t* w) { return !w || !*w; }

tm MakeTm(int year, int month, int day, int hour, int minute, int second) {
    tm parts{};
    parts.tm_year = ApplyYearRule(year) - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    parts.tm_isdst = -1;
    return parts;
}

bool Store(time_t t, time_t* out) {
    if (!Representable(t)) return false;
    *out = t;
    return true;
}

void Widen(const char* s, char16_t* out) {
    while ((*out++ = static_cast<unsigned char>(*s++))) {
    }
}

bool UtcParts(time_t t, tm* parts) { return Representable(t) && gmtime_r(&t, parts); }

}  // namespace

bool LMakeLocalTime(time_t* out, int year, int month, int day, int hour, int minute, int second) {
    tm parts = MakeTm(year, month, day, hour, minute, second);
    return Store(mktime(&parts), out);
}

bool LMakeTimeUTC(time_t* out, int year, int month, int day, int hour, int minute, int second) {
    tm parts = MakeTm(year, month, day, hour, minute, second);
    return Store(timegm(&parts), out);
}

bool LParseLocalDateAndTime(time_t* out, const char16_t* date, const char16_t* time) {
    if (IsEmpty(date)) {
        *out = 0;
        return true;
    }
    int y = 0, mo = 1, d = 1, h = 0, mi = 0, s = 0;
    char buf[128];
    ToScanText(date, buf);
    std::sscanf(buf, "%d-%d-%d", &y, &mo, &d);
    ToScanText(time, buf);
    std::sscanf(buf, "%d:%d:%d", &h, &mi, &s);
    return LMakeLocalTime(out, y, mo, d, h, mi, s);
}

bool LParseLocalDate(time_t* out, const char16_t* date) {
    if (IsEmpty(date)) {
        *out = 0;
        return true;
    }
    return LParseLocalDateAndTime(out, date, u"12:00:00");
}

bool LParseDateTimeUTC(time_t* out, const char16_t* text) {
    if (IsEmpty(text)) {
        *out = 0;
        return true;
    }
    int y = 0, mo = 1, d = 1, h = 12, mi = 0, s = 0;
    char buf[128];
    ToScanText(text, buf);
    std::sscanf(buf, "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s);
    return LMakeTimeUTC(out, y, mo, d, h, mi, s);
}

time_t LFileTimeToTime(uint64_t fileTime) {
    constexpr uint64_t kEpochDelta = 11644473600ull;  // seconds from 1601 to 1970
    uint64_t secs = fileTime / 10000000ull;
    if (secs < kEpochDelta) return 0;
    time_t t = static_cast<time_t>(secs - kEpochDelta);
    tm parts{};
    if (!Representable(t) || !localtime_r(&t, &parts)) return 0;
    time_t result = 0;
    LMakeLocalTime(&result, parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min,
                   parts.tm_sec);
    return result;
}

void LFormatDateTimeUTC(time_t t, char16_t* out) {
    tm p{};
    out[0] = 0;
    if (!UtcParts(t, &p)) return;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.4d-%.2d-%.2d %.2d:%.2d:%.2d", p.tm_year + 1900, p.tm_mon + 1, p.tm_mday,
                  p.tm_hour, p.tm_min, p.tm_sec);
    Widen(buf, out);
}

void LFormatDateUTC(time_t t, char16_t* out) {
    tm p{};
    out[0] = 0;
    if (!UtcParts(t, &p)) return;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.4d-%.2d-%.2d", p.tm_year + 1900, p.tm_mon + 1, p.tm_mday);
    Widen(buf, out);
}

void LNowDateTimeUTC(char16_t* out) {
    time_t now = LNow();
    out[0] = 0;
    if (now != 0) LFormatDateTimeUTC(now, out);
}

void LTodayDateUTC(char16_t* out) {
    time_t now = LNow();
    out[0] = 0;
    if (now != 0) LFormatDateUTC(now, out);
}

void LNowDateTimeUTCA(char* out) {
    char16_t wide[32];
    LNowDateTimeUTC(wide);
    size_t i = 0;
    for (; wide[i]; ++i) out[i] = static_cast<char>(wide[i]);
    out[i] = 0;
}

void LFormatLocalDateAndTime(time_t t, char16_t* outDate, char16_t* outTime) {
    outDate[0] = outTime[0] = 0;
    tm p{};
    if (t == 0 || !Representable(t) || !localtime_r(&t, &p)) return;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.4d-%.2d-%.2d", p.tm_year + 1900, p.tm_mon + 1, p.tm_mday);
    Widen(buf, outDate);
    std::snprintf(buf, sizeof buf, "%.2d:%.2d:%.2d", p.tm_hour, p.tm_min, p.tm_sec);
    Widen(buf, outTime);
}

int LDaysInMonth(int year, int month) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    if (month == 2 && (year % 400 == 0 || (year % 4 == 0 && year % 100 != 0))) return 29;
    return kDays[month - 1];
}

bool LAddMonths(time_t t, time_t* out, int n) {
    tm p{};
    if (!Representable(t) || !localtime_r(&t, &p)) return false;
    // Floor division, so that January - 12 months is January of the year
    // before and January - 13 months is December two years before.
    int m = p.tm_mon + n;
    int yearShift = m >= 0 ? m / 12 : -((-m + 11) / 12);
    int month = m - yearShift * 12 + 1;
    int year = p.tm_year + 1900 + yearShift;
    int day = p.tm_mday;
    int last = LDaysInMonth(year, month);
    if (day > last) day = last;
    return LMakeLocalTime(out, year, month, day, p.tm_hour, p.tm_min, p.tm_sec);
}

bool LParseCompilerDate(const char* text, time_t* out) {
    static const char kMonths[12][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    int month = 0;
    for (int i = 0; i < 12; ++i)
        if (std::strncmp(text, kMonths[i], 3) == 0) month = i + 1;
    int day = 0, year = 0;
    if (std::strlen(text) > 3) std::sscanf(text + 3, "%d %d", &day, &year);
    return LMakeLocalTime(out, year, month, day, 0, 0, 0);
}

bool LGetBuildDate(time_t* out) { return LParseCompilerDate(__DATE__, out); }
