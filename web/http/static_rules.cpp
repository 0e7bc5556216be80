#include "web/http/static_rules.h"

#include <time.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

namespace {

struct ContentTypeRow {
    const char16_t* extension;
    const char* type;
    int max_age;
};

// The interface's own scripts (ajax.js, table.js) are pages' parts, not
// downloads: served as an attachment of unknown type, a browser that
// honours the type refuses to run them.
const ContentTypeRow kContentTypes[] = {
    {u"html", "text/html", 3600},   {u"css", "text/css", 3600},     {u"js", "text/javascript", 3600},
    {u"jpg", "image/jpeg", 14400},  {u"png", "image/png", 14400},   {u"jpeg", "image/jpeg", 14400},
    {u"gif", "image/gif", 14400},   {u"webp", "image/webp", 14400}, {u"ico", "image/x-icon", 14400},
};

bool EqualLower(const char16_t* ext, const char16_t* lower_name) {
    for (; *ext && *lower_name; ++ext, ++lower_name) {
        char16_t c = *ext >= u'A' && *ext <= u'Z' ? *ext + 32 : *ext;
        if (c != *lower_name) return false;
    }
    return *ext == 0 && *lower_name == 0;
}

// Reads the digits at *p; false when there are none or they overflow.
bool ReadNumber(const char16_t*& p, uint64_t* out) {
    if (*p < u'0' || *p > u'9') return false;
    uint64_t v = 0;
    for (; *p >= u'0' && *p <= u'9'; ++p) {
        if (v > (UINT64_MAX - 9) / 10) return false;
        v = v * 10 + (*p - u'0');
    }
    *out = v;
    return true;
}

bool EqualsNoCase(const char* a, const char16_t* b) {
    for (; *a && *b; ++a, ++b) {
        char16_t x = *a >= 'A' && *a <= 'Z' ? *a + 32 : *a;
        char16_t y = *b >= u'A' && *b <= u'Z' ? *b + 32 : *b;
        if (x != y) return false;
    }
    return *a == 0 && *b == 0;
}

}  // namespace

const char* LWebletContentType(const char16_t* file_name, int* max_age, bool* is_inline) {
    const char16_t* dot = nullptr;
    for (const char16_t* p = file_name; *p; ++p) {
        if (*p == u'/' || *p == u'\\') dot = nullptr;
        else if (*p == u'.') dot = p;
    }
    if (dot) {
        for (const ContentTypeRow& row : kContentTypes) {
            if (EqualLower(dot + 1, row.extension)) {
                *max_age = row.max_age;
                *is_inline = true;
                return row.type;
            }
        }
    }
    *max_age = 0;
    *is_inline = false;
    return "application/octet-stream";
}

void LWebletMakeValidators(int64_t mtime, uint64_t size, char last_modified[64], char etag[64]) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::snprintf(etag, 64, "%llx%llx", static_cast<unsigned long long>(mtime % 10000000),
                  static_cast<unsigned long long>(size));
    time_t t = static_cast<time_t>(mtime);
    struct tm g;
    gmtime_r(&t, &g);
    std::snprintf(last_modified, 64, "%s, %.2d %s 20%.2d %.2d:%.2d:%.2d GMT", kDays[g.tm_wday % 7], g.tm_mday,
                  kMonths[g.tm_mon % 12], g.tm_year % 100, g.tm_hour, g.tm_min, g.tm_sec);
}

bool LWebletFileValidators(int64_t mtime, uint64_t size, const char16_t* if_none_match,
                           const char16_t* if_modified_since, char last_modified[64], char etag[64]) {
    LWebletMakeValidators(mtime, size, last_modified, etag);
    if (if_none_match && *if_none_match) {
        std::u16string wide_etag(etag, etag + std::strlen(etag));
        if (std::u16string_view(if_none_match).find(wide_etag) != std::u16string_view::npos) return false;
    }
    if (if_modified_since && *if_modified_since && EqualsNoCase(last_modified, if_modified_since)) return false;
    return true;
}

LWebRangeResult LWebParseRange(const char16_t* range, uint64_t length, uint64_t* first, uint64_t* last) {
    if (!range || !*range) return LWebRangeResult::Ignore;
    const char16_t* p = range;
    while (*p && *p != u'=') ++p;
    if (*p != u'=') return LWebRangeResult::Ignore;
    ++p;
    while (*p == u' ') ++p;
    uint64_t a = 0, b = 0;
    bool has_first = ReadNumber(p, &a);
    if (*p != u'-') return LWebRangeResult::Ignore;
    ++p;
    bool has_last = ReadNumber(p, &b);
    while (*p == u' ') ++p;
    // Only the first range of a list is served.
    if (*p && *p != u',') return LWebRangeResult::Ignore;
    if (!has_first && !has_last) return LWebRangeResult::Ignore;
    if (length == 0) return LWebRangeResult::Unsatisfiable;
    if (has_first) {
        *first = a;
        *last = has_last && b < length - 1 ? b : length - 1;
    } else {
        *last = length - 1;
        *first = b > length ? 0 : length - b;
    }
    return *last < *first ? LWebRangeResult::Unsatisfiable : LWebRangeResult::Partial;
}

bool LWebAcceptsGzip(const char16_t* accept_encoding) {
    if (!accept_encoding) return false;
    std::u16string_view rest(accept_encoding);
    while (!rest.empty()) {
        size_t comma = rest.find(u',');
        std::u16string_view item = rest.substr(0, comma);
        rest = comma == std::u16string_view::npos ? std::u16string_view() : rest.substr(comma + 1);
        size_t semi = item.find(u';');
        std::u16string_view token = item.substr(0, semi);
        while (!token.empty() && (token.front() == u' ' || token.front() == u'\t')) token.remove_prefix(1);
        while (!token.empty() && (token.back() == u' ' || token.back() == u'\t')) token.remove_suffix(1);
        if (token != u"gzip") continue;
        if (semi == std::u16string_view::npos) return true;
        // "q=0", "q=0.0" ... refuse the coding; any other weight accepts it.
        std::u16string_view params = item.substr(semi + 1);
        size_t q = params.find(u"q=");
        if (q == std::u16string_view::npos) return true;
        std::u16string_view w = params.substr(q + 2);
        bool zero = !w.empty() && w.front() == u'0';
        for (size_t i = 1; zero && i < w.size() && w[i] != u';' && w[i] != u' '; ++i)
            if (w[i] != u'.' && w[i] != u'0') zero = false;
        return !zero;
    }
    return false;
}
