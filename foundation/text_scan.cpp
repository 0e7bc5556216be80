#include "foundation/text_scan.h"

#include <cstdlib>
#include <cstring>

namespace {

inline bool IsBlank(char16_t c) { return c >= 1 && c <= 32; }

template <class Ch>
size_t UpTo(const Ch* text, Ch stop) {
    size_t n = 0;
    if (text)
        while (text[n] && text[n] != stop) ++n;
    return n;
}

template <class Ch>
size_t CopyFixed(const Ch* text, size_t n, Ch* out260) {
    size_t k = n < 259 ? n : 259;
    if (k) std::memcpy(out260, text, k * sizeof(Ch));
    out260[k] = 0;
    return n;
}

template <class Ch>
bool IsDelimiter(Ch c, const Ch* delimiters) {
    for (; *delimiters; ++delimiters)
        if (*delimiters == c) return true;
    return false;
}

template <class Ch>
size_t ReadToken(const Ch** cursor, const Ch* delimiters, Ch* out260) {
    const Ch* p = *cursor;
    size_t n = 0;
    while (p[n] && !IsDelimiter(p[n], delimiters)) ++n;
    CopyFixed(p, n, out260);
    *cursor = p + n;
    return n;
}

template <class Ch>
const Ch* FindToken(const Ch* text, const Ch* token) {
    if (!*token) return text;
    for (; *text; ++text) {
        size_t i = 0;
        while (token[i] && text[i] == token[i]) ++i;
        if (!token[i]) return text;
    }
    return nullptr;
}

template <class Ch>
bool SkipPast(const Ch** cursor, const Ch* token) {
    const Ch* at = FindToken(*cursor, token);
    if (!at) {
        *cursor += LTextLength(*cursor);
        return false;
    }
    *cursor = at + LTextLength(token);
    return true;
}

size_t LineLength(const char16_t* text) {
    size_t n = 0;
    if (text)
        while (text[n] && text[n] != u'\r' && text[n] != u'\n') ++n;
    return n;
}

}  // namespace

void LString::Trim() {
    if (!buffer) return;
    uint64_t start = 0, end = length;
    while (start < end && IsBlank(buffer[start])) ++start;
    while (end > start && IsBlank(buffer[end - 1])) --end;
    if (start) std::memmove(buffer, buffer + start, (end - start) * sizeof(char16_t));
    length = end - start;
    buffer[length] = 0;
}

uint64_t LString::AssignUpTo(const char16_t* text, char16_t stop) {
    size_t n = UpTo(text, stop);
    Clear();
    AppendN(text, n);
    return n;
}

void LString::ReplaceAll(const char16_t* find, const char16_t* replacement) {
    size_t nf = LTextLength(find);
    if (!nf || !buffer) return;
    size_t nr = LTextLength(replacement);
    LString result;
    uint64_t from = 0;
    bool changed = false;
    for (uint64_t i = 0; i + nf <= length;) {
        if (std::memcmp(buffer + i, find, nf * sizeof(char16_t)) != 0) {
            ++i;
            continue;
        }
        if (!changed) result.Reserve(length + 1);
        changed = true;
        result.AppendN(buffer + from, i - from);
        result.AppendN(replacement, nr);
        i += nf;
        from = i;
    }
    if (!changed) return;
    result.AppendN(buffer + from, length - from);
    // The result holds exactly its text and terminator.
    LString exact;
    exact.InitTextMax(result.c_str(), result.length);
    if (!exact.buffer && result.length) return;  // out of memory: leave the text as it was
    if (!exact.buffer) exact.Reserve(1);
    Adopt(exact);
}

void LTrimSpaces(char16_t* text) {
    if (!text) return;
    size_t n = LTextLength(text), start = 0;
    while (start < n && text[start] == u' ') ++start;
    while (n > start && text[n - 1] == u' ') --n;
    if (start) std::memmove(text, text + start, (n - start) * sizeof(char16_t));
    text[n - start] = 0;
}

size_t LReadUntilCharA(const char* text, char stop, LStringA& out) {
    size_t n = UpTo(text, stop);
    out.Clear();
    out.AppendN(text, n);
    return n;
}

size_t LCopyUpToChar(const char16_t* text, char16_t stop, char16_t* out260) {
    return CopyFixed(text, UpTo(text, stop), out260);
}

size_t LCopyUntilCharA(const char* text, char stop, char* out260) { return CopyFixed(text, UpTo(text, stop), out260); }

size_t LReadTokenA(const char** cursor, const char* delimiters, char* out260) {
    return ReadToken(cursor, delimiters, out260);
}

size_t LReadTokenW(const char16_t** cursor, const char16_t* delimiters, char16_t* out260) {
    return ReadToken(cursor, delimiters, out260) * sizeof(char16_t);
}

size_t LReadWordA(const char* text, LStringA& out) {
    size_t n = 0;
    if (text)
        while (static_cast<unsigned char>(text[n]) > 32) ++n;
    out.Clear();
    out.AppendN(text, n);
    return n;
}

bool LTextSkipPast(const char16_t** cursor, const char16_t* token) { return SkipPast(cursor, token); }
bool LTextSkipPastA(const char** cursor, const char* token) { return SkipPast(cursor, token); }

const char16_t* LTextReadUntil(const char16_t** cursor, const char16_t* token, LString& out) {
    const char16_t* start = *cursor;
    const char16_t* at = FindToken(start, token);
    out.Clear();
    if (at) {
        out.AppendN(start, static_cast<uint64_t>(at - start));
        *cursor = at + LTextLength(token);
    } else {
        size_t n = LTextLength(start);
        out.AppendN(start, n);
        *cursor = start + n;
    }
    return *cursor;
}

size_t LTextReadLine(const char16_t* text, LString& out) {
    out.Clear();
    return LTextReadLineCore(text, out);
}

size_t LTextReadLineCore(const char16_t* text, LString& out) {
    size_t n = LineLength(text);
    out.AppendN(text, n);
    return n;
}

uint64_t LCsvAppendField(LStringA& line, const char* text) {
    if (line.length) line.AppendBytes(",", 1);
    line.AppendBytes(text, LTextLength(text));
    line.Terminate();
    return line.length;
}

uint64_t LCsvAppendQuotedField(LStringA& line, const char* text) {
    if (line.length) line.AppendBytes(",", 1);
    line.AppendBytes("\"", 1);
    for (const char* p = text; p && *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c == '"')
            line.AppendBytes("\"\"", 2);
        else if (c < 32)
            line.AppendBytes(" ", 1);
        else
            line.AppendBytes(p, 1);
    }
    line.AppendBytes("\"", 1);
    line.Terminate();
    return line.length;
}

LCsvFieldReader::LCsvFieldReader(const char16_t* text) : cursor(text ? text : u"") {
    while (IsBlank(*cursor)) ++cursor;
    Next();
}

void LCsvFieldReader::Next() {
    field.Clear();
    if (!*cursor) {
        end = true;
        return;
    }
    const char16_t* p = cursor;
    if (*p == u'"') {
        ++p;
        for (;;) {
            size_t n = UpTo(p, u'"');
            field.AppendN(p, n);
            p += n;
            if (!*p) break;  // no closing quote
            ++p;
            if (*p != u'"') break;
            field.AppendChar(u'"');  // a doubled quote
            ++p;
        }
        // Whatever stands between the closing quote and the comma is lost.
        while (*p && *p != u',') ++p;
        if (*p) ++p;
    } else {
        size_t n = UpTo(p, u',');
        size_t keep = n;
        while (keep && static_cast<uint16_t>(p[keep - 1]) <= 32) --keep;
        field.AppendN(p, keep);
        p += n;
        if (*p) ++p;
    }
    while (IsBlank(*p)) ++p;
    cursor = p;
    if (!field.buffer) field.Reserve(1);
}

bool LIsMobileUserAgent(const char16_t* userAgent) {
    const char16_t* ua = userAgent ? userAgent : u"";
    auto has = [&](const char16_t* word) { return FindToken(ua, word) != nullptr; };
    return has(u"iPhone") || (has(u"Android") && has(u"Mobile")) || has(u"BlackBerry") || has(u"IEMobile") ||
           has(u"Windows CE");
}
