// Header texts of the backup's .eml files.
#include "foundation/base64.h"
#include "mail/backup/email_backup.h"

void LEmailStripLineBreaks(const char16_t* text, char16_t out[260]) {
    size_t n = 0;
    for (const char16_t* p = text ? text : u""; *p && n < 259; ++p)
        if (*p != u'\r' && *p != u'\n') out[n++] = *p;
    // A pair cut in half would become U+FFFD on the way to UTF-8.
    if (n && out[n - 1] >= 0xD800 && out[n - 1] <= 0xDBFF) --n;
    out[n] = 0;
}

void LEmailEncodeHeaderWord(const char16_t* text, LStringA& out) {
    bool ascii = true;
    for (const char16_t* p = text; *p; ++p)
        if (*p >= 128) ascii = false;
    LStringA utf8;
    LStringAAppendWide(utf8, text);
    if (ascii) {
        out.AppendString(utf8);
        return;
    }
    size_t total = utf8.length;
    if (total > 259) {
        total = 259;
        while (total > 0 && (static_cast<unsigned char>(utf8.buffer[total]) & 0xC0) == 0x80) --total;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.c_str());
    for (size_t at = 0; at < total;) {
        size_t n = total - at < 45 ? total - at : 45;
        // Back off so the next piece does not begin with a continuation byte.
        while (n > 1 && at + n < total && (bytes[at + n] & 0xC0) == 0x80) --n;
        if (at) out.Append("\r\n ");
        LString piece;
        LBase64Encode(bytes + at, n, piece, LBase64NoLineBreaks);
        out.Append("=?UTF-8?B?");
        LStringAAppendWide(out, piece.c_str());
        out.Append("?=");
        at += n;
    }
}

void LEmailFormatRfc5322Date(time_t t, LStringA& out) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    struct tm tm {};
    gmtime_r(&t, &tm);
    const char* day = tm.tm_wday >= 0 && tm.tm_wday < 7 ? kDays[tm.tm_wday] : "???";
    const char* month = tm.tm_mon >= 0 && tm.tm_mon < 12 ? kMonths[tm.tm_mon] : "???";
    out.AppendFormat("%s, %02d %s %04d %02d:%02d:%02d +0000", day, tm.tm_mday, month, tm.tm_year + 1900, tm.tm_hour,
                     tm.tm_min, tm.tm_sec);
}
