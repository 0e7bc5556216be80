// Header texts of the backup's .eml files.
#include <string>
#include <vector>

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

void LEmailAppendWithoutLineBreaks(const char16_t* text, LStringA& out) {
    std::u16string kept;
    for (const char16_t* p = text ? text : u""; *p; ++p)
        if (*p != u'\r' && *p != u'\n') kept.push_back(*p);
    LStringAAppendWide(out, kept.c_str(), kept.size());
}

void LEmailEncodeHeaderWord(const char16_t* text, LStringA& out) {
    LStringA utf8;
    LEmailAppendWithoutLineBreaks(text, utf8);
    bool ascii = true;
    for (uint64_t i = 0; i < utf8.length; ++i)
        if (static_cast<unsigned char>(utf8.buffer[i]) >= 128) ascii = false;
    if (ascii) {
        out.AppendString(utf8);
        return;
    }
    const size_t total = utf8.length;
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

namespace {

bool IsAscii(std::u16string_view s) {
    for (char16_t c : s)
        if (c >= 128) return false;
    return true;
}

std::u16string_view Trim(std::u16string_view s) {
    while (!s.empty() && s.front() <= u' ') s.remove_prefix(1);
    while (!s.empty() && s.back() <= u' ') s.remove_suffix(1);
    return s;
}

// The items of a list: commas inside quotes or angle brackets do not
// split. The stored text has its encoded words decoded, so a name such as
// "Tanaka, Lucia" may have lost its quotes: a piece without an '@' belongs
// to the item after it.
std::vector<std::u16string> Items(std::u16string_view list) {
    std::vector<std::u16string> items;
    std::u16string pending;
    bool has_at = false, has_text = false;
    bool quoted = false;
    int angle = 0;
    size_t start = 0;
    for (size_t i = 0; i <= list.size(); ++i) {
        if (i < list.size()) {
            char16_t c = list[i];
            if (quoted && c == u'\\' && i + 1 < list.size()) {
                ++i;
                continue;
            }
            if (c == u'"') quoted = !quoted;
            if (!quoted && c == u'<') ++angle;
            if (!quoted && c == u'>' && angle > 0) --angle;
            if (c != u',' || quoted || angle > 0) continue;
        }
        // Only the new piece is looked at: a hostile list of a million
        // commas costs linear time.
        std::u16string_view piece = list.substr(start, i - start);
        pending += piece;
        has_at = has_at || piece.find(u'@') != piece.npos;
        has_text = has_text || !Trim(piece).empty();
        start = i + 1;
        bool last = i >= list.size();
        if (!last && !has_at && has_text) {
            pending.push_back(u',');
            continue;
        }
        std::u16string_view item = Trim(pending);
        if (!item.empty()) items.emplace_back(item);
        pending.clear();
        has_at = has_text = false;
    }
    return items;
}

// A display name as a phrase: quoted when ASCII with specials, encoded
// words when not ASCII.
void AppendName(std::u16string_view name, LStringA& out) {
    if (name.size() >= 2 && name.front() == u'"' && name.back() == u'"') {
        std::u16string plain;
        for (size_t i = 1; i + 1 < name.size(); ++i) {
            if (name[i] == u'\\' && i + 2 < name.size()) ++i;
            plain.push_back(name[i]);
        }
        if (plain.empty()) {
            out.Append("\"\"");
            return;
        }
        return AppendName(plain, out);
    }
    if (!IsAscii(name)) {
        LEmailEncodeHeaderWord(std::u16string(name).c_str(), out);
        return;
    }
    if (name.find_first_of(u"()<>[]:;@\\,.\"") == std::u16string_view::npos) {
        LEmailAppendWithoutLineBreaks(std::u16string(name).c_str(), out);
        return;
    }
    std::u16string quoted = u"\"";
    for (char16_t c : name) {
        if (c == u'"' || c == u'\\') quoted.push_back(u'\\');
        quoted.push_back(c);
    }
    quoted.push_back(u'"');
    LEmailAppendWithoutLineBreaks(quoted.c_str(), out);
}

}  // namespace

void LEmailEncodeAddressList(const char16_t* list, LStringA& out) {
    bool first = true;
    for (const std::u16string& item : Items(list ? list : u"")) {
        if (!first) out.Append(",\r\n ");
        first = false;
        std::u16string_view v = item;
        size_t open = v.rfind(u'<');
        if (open == v.npos || v.find(u'>', open) == v.npos || v.find(u'@', open) == v.npos) {
            // A bare address or an ASCII group ("undisclosed-recipients:;")
            // stays as it is: an address is never encoded. Only a bare name
            // that is not ASCII becomes encoded words.
            if (v.find(u'@') == v.npos && !IsAscii(v))
                LEmailEncodeHeaderWord(item.c_str(), out);
            else
                LEmailAppendWithoutLineBreaks(item.c_str(), out);
            continue;
        }
        std::u16string_view name = Trim(v.substr(0, open));
        if (!name.empty()) {
            AppendName(name, out);
            out.AppendChar(' ');
        }
        LEmailAppendWithoutLineBreaks(std::u16string(v.substr(open)).c_str(), out);
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
