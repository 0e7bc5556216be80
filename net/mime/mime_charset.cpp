// Charsets of MIME bodies and encoded words: names to identifiers, and the
// conversion of bytes of a charset to UTF-16.
#include <cstring>
#include <string>

#include "foundation/codepage.h"
#include "net/mime/mime_lines.h"
#include "net/mime/mime_message.h"

namespace {

struct CharsetName {
    const char* name;
    int id;
};

constexpr CharsetName kNames[] = {
    {"us-ascii", 0},       {"ascii", 0},          {"iso646-us", 0},      {"utf-8", 1},         {"utf8", 1},
    {"iso-8859-1", 2},     {"windows-1250", 3},   {"cp1250", 3},         {"windows-1251", 4},  {"cp1251", 4},
    {"windows-1252", 5},   {"cp1252", 5},         {"windows-1253", 6},   {"cp1253", 6},        {"windows-1256", 7},
    {"cp1256", 7},         {"shift_jis", 8},      {"shift-jis", 8},      {"sjis", 8},          {"cp932", 8},
    {"ms932", 8},          {"windows-31j", 8},    {"x-sjis", 8},         {"ks_c_5601-1987", 10}, {"euc-kr", 10},
    {"ks_c_5601-1989", 10}, {"ksc5601", 10},      {"gbk", 11},           {"cp936", 11},        {"gb2312", 12},
    {"gb18030", 12},       {"big5", 13},          {"big-5", 13},         {"cp950", 13},        {"iso-8859-2", 14},
    {"iso-8859-5", 15},    {"iso-8859-8", 16},    {"iso-8859-16", 17},   {"koi8-r", 18},
};

// The code page each identifier converts with; 0 means UTF-8.
constexpr uint32_t kCodePages[] = {0,     0,     28591, 1250,  1251,  1252,  1253,  1256,  932,  50222,
                                   949,   936,   54936, 950,   28592, 28595, 28598, 28606, 20866};

void AppendRun(std::string_view bytes, int id, LString& out) {
    if (!bytes.empty()) EMLMimeDecodeCodePage(bytes, id, out);
}

}  // namespace

int EMLMimeCharsetId(std::u16string_view name) {
    while (!name.empty() && name.front() <= u' ') name.remove_prefix(1);
    while (!name.empty() && name.back() <= u' ') name.remove_suffix(1);
    if (LMimeStartsNoCase(name, "iso-2022-jp")) return 9;
    for (const CharsetName& c : kNames)
        if (LMimeEqualsNoCase(name, c.name)) return c.id;
    return 2;
}

void EMLMimeDecodeCodePage(std::string_view bytes, int charsetId, LString& out) {
    uint32_t cp = charsetId >= 0 && charsetId < int(sizeof(kCodePages) / sizeof(kCodePages[0])) ? kCodePages[charsetId] : 0;
    if (cp != 0 && LCodePageIconvName(cp)) LCodePageAppendWide(cp, bytes.data(), bytes.size(), out);
    else LStringAppendUtf8(out, bytes.data(), bytes.size());
    out.Terminate();
}

bool EMLMimeCharsetIsWide(std::u16string_view name) {
    while (!name.empty() && name.front() <= u' ') name.remove_prefix(1);
    for (const char* wide : {"utf-16", "utf16", "utf-32", "utf32", "ucs-2", "ucs2", "ucs-4", "ucs4"})
        if (LMimeStartsNoCase(name, wide)) return true;
    return false;
}

void EMLMimeReplaceNul(LString& text, size_t from) {
    for (size_t i = from; i < text.length; ++i)
        if (text.buffer[i] == 0) text.buffer[i] = 0xFFFD;
}

namespace {

void ConvertCharset(std::string_view bytes, std::u16string_view charset, LString& out);

}  // namespace

void EMLMimeConvertCharset(std::string_view bytes, std::u16string_view charset, LString& out) {
    // A decoded NUL (base64 0x00, "=00") would end the text wherever it is
    // read as a terminated string: the database, the index, the preview.
    size_t from = out.length;
    ConvertCharset(bytes, charset, out);
    EMLMimeReplaceNul(out, from);
}

namespace {

void ConvertCharset(std::string_view bytes, std::u16string_view charset, LString& out) {
    int id = EMLMimeCharsetId(charset);
    if (id == 2) {
        // Names outside the table go to iconv when it knows them
        // (ISO-8859-15, Greek, EUC-JP, UTF-16...); only names nobody knows
        // are read as ISO-8859-1.
        while (!charset.empty() && charset.front() <= u' ') charset.remove_prefix(1);
        while (!charset.empty() && charset.back() <= u' ') charset.remove_suffix(1);
        if (!LMimeEqualsNoCase(charset, "iso-8859-1")) {
            std::string name;
            for (char16_t c : charset) name.push_back(c < 0x80 ? char(c) : '?');
            if (LCharsetAppendWide(name.c_str(), bytes.data(), bytes.size(), out)) {
                out.Terminate();
                return;
            }
        }
    }
    if (id != 9 && id != 10 && id != 12) {
        EMLMimeDecodeCodePage(bytes, id, out);
        return;
    }
    // ISO 2022 style text switches character sets with escape sequences;
    // each run is converted with the set in force. Runs of the Japanese set
    // start at their escape so that the converter sees the designation.
    int current = id == 9 ? 0 : id;
    size_t runStart = 0;
    size_t i = 0;
    const size_t n = bytes.size();
    while (i < n) {
        if (bytes[i] != 0x1B) {
            ++i;
            continue;
        }
        AppendRun(bytes.substr(runStart, i - runStart), current, out);
        size_t esc = i;
        char a = i + 1 < n ? bytes[i + 1] : 0;
        char b = i + 2 < n ? bytes[i + 2] : 0;
        char c = i + 3 < n ? bytes[i + 3] : 0;
        size_t len = 3;
        int next = 0;
        if (a == '(') {
            next = (b == 'I' || b == 'J') ? 9 : 0;
        } else if (a == '$') {
            if (b == '@' || b == 'B') next = 9;
            else if (b == 'A') next = 12;
            else if (b == '(' && c == 'D') next = 9, len = 4;
            else if (b == '(' && c == 'C') next = 10, len = 4;
            else if (b == ')' && c == 'C') next = 10, len = 4;
            else if (b == ')' && c == 'A') next = 12, len = 4;
        } else if (a == '.' && b == 'A') {
            next = 2;
        } else {
            len = 2;
        }
        if (esc + len > n) len = n - esc;
        current = next;
        i = esc + len;
        runStart = current == 9 ? esc : i;
    }
    AppendRun(bytes.substr(runStart), current, out);
    out.Terminate();
}

}  // namespace
