#include "foundation/system_text.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

template <class Ch>
int64_t ParseInt64(const Ch* text) {
    if (!text) return 0;
    const Ch* p = text;
    while (*p && static_cast<uint32_t>(static_cast<std::make_unsigned_t<Ch>>(*p)) <= 32) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    uint64_t value = 0;
    bool saturated = false;
    for (; *p >= '0' && *p <= '9'; ++p) {
        uint64_t digit = static_cast<uint64_t>(*p - '0');
        if (value > (uint64_t(INT64_MAX) - digit) / 10) {
            saturated = true;
            break;
        }
        value = value * 10 + digit;
    }
    int64_t v = saturated ? INT64_MAX : static_cast<int64_t>(value);
    return negative ? -v : v;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 0;
}

}  // namespace

int64_t LParseInt64A(const char* text) { return ParseInt64(text); }
int64_t LParseInt64W(const char16_t* text) { return ParseInt64(text); }

float LRoundFloat(double x) { return static_cast<float>(std::round(x)); }

void LUrlDecodeA(char out[260], const char* text) {
    size_t n = 0;
    for (const char* p = text; p && *p && n < 259; ++p) {
        char c = *p;
        if (c == '+') {
            c = ' ';
        } else if (c == '%') {
            if (!p[1] || !p[2]) break;
            c = static_cast<char>(HexValue(p[1]) * 16 + HexValue(p[2]));
            p += 2;
            if (c == 0) continue;
        }
        out[n++] = c;
    }
    out[n] = 0;
}

bool LExtractTagText(const char* text, const char* tag, char out[260]) {
    out[0] = 0;
    const char* at = (text && tag) ? std::strstr(text, tag) : nullptr;
    if (!at) return false;
    at += std::strlen(tag);
    size_t n = 0;
    while (at[n] && at[n] != '<' && n < 259) {
        out[n] = at[n];
        ++n;
    }
    out[n] = 0;
    return true;
}

int LFormatA(char* out, size_t size, const char* fmt, ...) {
    if (!out || size == 0) return 0;
    va_list ap;
    va_start(ap, fmt);
    int r = std::vsnprintf(out, size, fmt, ap);
    va_end(ap);
    if (r < 0) out[0] = 0;
    return r;
}

char16_t* LFormatWArgs(char16_t* out, size_t size, const char16_t* fmt, const LFormatArg* args, size_t n) {
    if (!out || size == 0) return out;
    LString s;
    LVFormatWArgs(s, fmt, args, n);
    size_t len = s.length < size - 1 ? static_cast<size_t>(s.length) : size - 1;
    if (len) std::memcpy(out, s.c_str(), len * sizeof(char16_t));
    out[len] = 0;
    return out;
}
