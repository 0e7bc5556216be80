// Header pieces of composed mail: encoded words, boundaries, Message-ID and
// the Date text.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <random>
#include <thread>

#include "net/mime/address.h"
#include "net/mime/compose.h"

namespace {

bool NeedsEncoding(const char* text) {
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p)
        if (*p >= 0x80 || *p < 0x20 || *p == 0x7F) return true;
    return false;
}

// Characters that may stand for themselves inside a Q-encoded word in any
// header position (RFC 2047 section 5, rule 3).
bool PlainInQ(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '!' || c == '*' ||
           c == '+' || c == '-' || c == '/';
}

size_t Utf8SequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) return 2;
    if ((lead & 0xF0) == 0xE0) return 3;
    if ((lead & 0xF8) == 0xF0) return 4;
    return 1;
}

}  // namespace

size_t LMimeEncodeWords(char* out, const char* text, size_t size, const char* separator) {
    if (size == 0) return 0;
    static const char kPrefix[] = "=?utf-8?q?";
    constexpr size_t kMaxWord = 75;
    constexpr size_t kOverhead = sizeof(kPrefix) - 1 + 2;
    static const char* hex = "0123456789ABCDEF";
    size_t used = 0;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    char word[80];
    while (*p) {
        size_t w = 0;
        while (*p) {
            size_t seq = Utf8SequenceLength(*p);
            char piece[12];
            size_t pn = 0;
            for (size_t k = 0; k < seq && p[k]; ++k) {
                unsigned char c = p[k];
                if (PlainInQ(c)) {
                    piece[pn++] = char(c);
                } else {
                    piece[pn++] = '=';
                    piece[pn++] = hex[c >> 4];
                    piece[pn++] = hex[c & 15];
                }
                if (k + 1 < seq && !p[k + 1]) seq = k + 1;
            }
            if (w + pn + kOverhead > kMaxWord) break;
            std::memcpy(word + w, piece, pn);
            w += pn;
            p += seq;
        }
        size_t sep = used ? std::strlen(separator) : 0;
        if (used + sep + kOverhead + w >= size) break;
        if (sep) std::memcpy(out + used, separator, sep), used += sep;
        std::memcpy(out + used, kPrefix, kOverhead - 2);
        used += kOverhead - 2;
        std::memcpy(out + used, word, w);
        used += w;
        out[used++] = '?';
        out[used++] = '=';
    }
    out[used] = 0;
    return used;
}

size_t LMimeEncodeHeaderWord(char* out, const char* text, size_t size) {
    if (size == 0) return 0;
    if (!NeedsEncoding(text)) {
        size_t n = std::strlen(text);
        if (n > size - 1) n = size - 1;
        std::memcpy(out, text, n);
        out[n] = 0;
        return n;
    }
    return LMimeEncodeWords(out, text, size, "\r\n ");
}

void LStripCrLf(char* text) {
    char* w = text;
    for (char* r = text; *r; ++r)
        if (*r != '\r' && *r != '\n') *w++ = *r;
    *w = 0;
}

void LMimeMakeBoundaryUnique(std::string_view body, LStringA& boundary) {
    if (boundary.length >= 70 || body.find(boundary.View()) == std::string_view::npos) return;
    // Letters and digits only: the boundary is written unquoted, and these
    // are safe both as a parameter token and as RFC 2046 boundary characters.
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device rd;
    std::mt19937 gen(rd());
    std::uniform_int_distribution<size_t> pick(0, sizeof(kChars) - 2);
    LStringA original(boundary);
    while (true) {
        while (boundary.length < 70) {
            boundary.AppendChar(kChars[pick(gen)]);
            if (body.find(boundary.View()) == std::string_view::npos) return;
        }
        boundary.AssignString(original);
    }
}

void LEmailMakeMessageId(char out[260], const char16_t* senderAddress) {
    char16_t domain[260];
    bool ok = LEmailAddressDomain(senderAddress, domain);
    // Only a plain domain goes between the angle brackets.
    for (size_t i = 0; ok && domain[i]; ++i) {
        char16_t c = domain[i];
        ok = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'-' || c == u'.';
    }
    std::string host = ok ? LToUtf8(domain) : std::string("localhost");
    auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch());
    size_t thread = std::hash<std::thread::id>()(std::this_thread::get_id());
    std::snprintf(out, 260, "<%lld.%zu.%u@%s>", static_cast<long long>(std::time(nullptr)), thread,
                  static_cast<unsigned>(ns.count() & 0xFFFFFFFFu), host.c_str());
}

void LEmailFormatDateAt(char out[260], time_t seconds, int offsetMinutes) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    time_t local = seconds + time_t(offsetMinutes) * 60;
    struct tm t;
    gmtime_r(&local, &t);
    int off = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    std::snprintf(out, 260, "%s, %.2d %s %.4d %.2d:%.2d:%.2d %c%.2d%.2d", kDays[t.tm_wday], t.tm_mday,
                  kMonths[t.tm_mon], t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec, offsetMinutes < 0 ? '-' : '+',
                  off / 60, off % 60);
}

void LEmailFormatDate(char out[260]) {
    time_t now = std::time(nullptr);
    struct tm t;
    localtime_r(&now, &t);
    LEmailFormatDateAt(out, now, int(t.tm_gmtoff / 60));
}
