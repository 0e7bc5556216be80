// RFC 2822 dates of the Date header field.
#include <ctime>
#include <string>
#include <vector>

#include "net/mime/mime_lines.h"
#include "net/mime/mime_message.h"

namespace {

long Number(std::u16string_view s, size_t& i) {
    long v = 0;
    while (i < s.size() && s[i] >= u'0' && s[i] <= u'9' && v < 100000) v = v * 10 + (s[i++] - u'0');
    return v;
}

// Days from 1970-01-01 to a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

}  // namespace

time_t LEmailParseDate(std::u16string_view value) {
    std::vector<std::u16string_view> words;
    size_t i = 0;
    while (i < value.size()) {
        while (i < value.size() && (value[i] == u' ' || value[i] == u'\t')) ++i;
        size_t s = i;
        while (i < value.size() && value[i] != u' ' && value[i] != u'\t') ++i;
        if (i > s) words.push_back(value.substr(s, i - s > 259 ? 259 : i - s));
    }
    size_t w = 0;
    if (!words.empty() && words[0].find(u',') != std::u16string_view::npos) {
        // "Tue," is skipped; "Tue,15" still carries the day.
        std::u16string_view after = words[0].substr(words[0].find(u',') + 1);
        if (after.empty()) w = 1;
        else words[0] = after;
    }
    if (words.size() < w + 3) return 0;
    size_t k = 0;
    long day = Number(words[w], k);
    static const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                          "jul", "aug", "sep", "oct", "nov", "dec"};
    int month = 1;
    for (int m = 0; m < 12; ++m)
        if (LMimeStartsNoCase(words[w + 1], kMonths[m])) month = m + 1;
    k = 0;
    if (words[w + 2].empty() || words[w + 2][0] < u'0' || words[w + 2][0] > u'9') return 0;
    long year = Number(words[w + 2], k);
    if (year < 100) year += year >= 50 ? 1900 : 2000;
    long hour = 0, minute = 0, second = 0;
    if (words.size() > w + 3) {
        std::u16string_view t = words[w + 3];
        k = 0;
        hour = Number(t, k);
        if (k < t.size() && t[k] == u':') minute = Number(t, ++k);
        if (k < t.size() && t[k] == u':') second = Number(t, ++k);
    }
    if (day < 1) day = 1;
    int64_t seconds = DaysFromCivil(year, unsigned(month), unsigned(day)) * 86400 + hour * 3600 + minute * 60 + second;
    if (words.size() > w + 4) {
        std::u16string_view z = words[w + 4];
        if (!z.empty() && (z[0] == u'+' || z[0] == u'-')) {
            k = 1;
            long hhmm = Number(z, k);
            long offset = (hhmm / 100) * 3600 + (hhmm % 100) * 60;
            seconds += z[0] == u'+' ? -offset : offset;
        }
    }
    return static_cast<time_t>(seconds);
}
