#pragma once
// Line reading shared by the MIME modules: a line ends at CR, at LF or at the
// end of the text, and one line break (CR LF, LF CR, a lone CR or a lone LF)
// is skipped after it. Mail arrives with any of these conventions.
#include <cstddef>
#include <string_view>

// Takes the next line off the front of the cursor; false at the end.
inline bool LMimeNextLine(std::string_view& cursor, std::string_view& line) {
    if (cursor.empty()) return false;
    const char* p = cursor.data();
    const size_t n = cursor.size();
    size_t i = 0;
    while (i < n && p[i] != '\r' && p[i] != '\n') ++i;
    line = std::string_view(p, i);
    if (i < n) {
        char first = p[i++];
        if (i < n && (p[i] == '\r' || p[i] == '\n') && p[i] != first) ++i;
    }
    cursor.remove_prefix(i);
    return true;
}

inline bool LMimeHasNonBlank(std::string_view s) {
    for (unsigned char c : s)
        if (c > ' ') return true;
    return false;
}

inline char LMimeLowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }
inline char16_t LMimeLowerAscii16(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }

// Case-insensitive ASCII comparisons of wide text against a narrow constant.
inline bool LMimeEqualsNoCase(std::u16string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LMimeLowerAscii16(a[i]) != char16_t(LMimeLowerAscii(b[i]))) return false;
    return true;
}
inline bool LMimeStartsNoCase(std::u16string_view a, std::string_view prefix) {
    return a.size() >= prefix.size() && LMimeEqualsNoCase(a.substr(0, prefix.size()), prefix);
}
