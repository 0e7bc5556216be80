#include "foundation/format.h"

#include <cstdio>

#include "foundation/utf8.h"

namespace {

// ---- output sinks: one unit at a time, dropping what does not fit ----

template <class S>
struct GrowSink {
    S& s;
    void Put(std::remove_pointer_t<decltype(S::buffer)> c) { s.PutUnit(c); }
    void Finish() { s.Terminate(); }
};

// UTF-16 units in, UTF-8 bytes out; a surrogate pair becomes one sequence.
struct Utf8Sink {
    LStringA& s;
    char16_t high = 0;
    void Put(char16_t c) {
        if (high) {
            char16_t h = high;
            high = 0;
            if (c >= 0xDC00 && c <= 0xDFFF) {
                PutCodePoint(0x10000 + ((uint32_t(h) - 0xD800) << 10) + (c - 0xDC00));
                return;
            }
            PutCodePoint(0xFFFD);
        }
        if (c < 0x80) {
            s.PutUnit(static_cast<char>(c));
        } else if (c >= 0xD800 && c <= 0xDBFF) {
            high = c;
        } else {
            PutCodePoint(c);
        }
    }
    void PutCodePoint(uint32_t cp) {
        char tmp[4];
        size_t k = LUtf8Encode(cp, tmp);
        for (size_t i = 0; i < k; ++i) s.PutUnit(tmp[i]);
    }
    void Finish() {
        if (high) PutCodePoint(0xFFFD);
        high = 0;
        s.Terminate();
    }
};

template <class B>
struct FixedSink {
    B& b;
    void Put(std::remove_pointer_t<decltype(B::buffer)> c) { b.Put(c); }
    void Finish() { b.Terminate(); }
};

// ---- the escapers, generic over text unit and sink ----

template <class Ch, class Sink>
void PutAscii(Sink& out, const char* s) {
    while (*s) out.Put(static_cast<Ch>(*s++));
}

template <class Ch, class Sink>
void EscapeSql(Sink& out, const Ch* s, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (s[i] == Ch('\'')) out.Put(Ch('\''));
        out.Put(s[i]);
    }
}

template <class Ch, class Sink>
void EscapeJson(Sink& out, const Ch* s, size_t n) {
    static const char hex[] = "0123456789ABCDEF";
    for (size_t i = 0; i < n; ++i) {
        auto u = static_cast<std::make_unsigned_t<Ch>>(s[i]);
        switch (u) {
        case '"': PutAscii<Ch>(out, "\\\""); break;
        case '\\': PutAscii<Ch>(out, "\\\\"); break;
        case 8: PutAscii<Ch>(out, "\\b"); break;
        case 9: PutAscii<Ch>(out, "\\t"); break;
        case 10: PutAscii<Ch>(out, "\\n"); break;
        case 12: PutAscii<Ch>(out, "\\f"); break;
        case 13: PutAscii<Ch>(out, "\\r"); break;
        default:
            if (u < 0x20) {
                PutAscii<Ch>(out, "\\u00");
                out.Put(Ch(hex[u >> 4]));
                out.Put(Ch(hex[u & 15]));
            } else {
                out.Put(s[i]);
            }
        }
    }
}

// Line breaks go by runs: a run starts at CR or LF, and only repeats of its
// first character count as further breaks. One break is "<br>", n >= 2 are
// n - 2 times "<br>" and then "<p>".
template <class Ch, class Sink>
void EscapeHtml(Sink& out, const Ch* s, size_t n) {
    size_t i = 0;
    while (i < n) {
        Ch c = s[i];
        if (c == Ch('\r') || c == Ch('\n')) {
            Ch first = c;
            size_t breaks = 0;
            while (i < n && (s[i] == Ch('\r') || s[i] == Ch('\n'))) {
                if (s[i] == first) ++breaks;
                ++i;
            }
            if (breaks == 1) {
                PutAscii<Ch>(out, "<br>");
            } else {
                for (size_t k = 0; k + 2 < breaks; ++k) PutAscii<Ch>(out, "<br>");
                PutAscii<Ch>(out, "<p>");
            }
            continue;
        }
        switch (c) {
        case Ch('"'): PutAscii<Ch>(out, "&quot;"); break;
        case Ch('&'): PutAscii<Ch>(out, "&amp;"); break;
        case Ch('\''): PutAscii<Ch>(out, "&#39;"); break;
        case Ch('<'): PutAscii<Ch>(out, "&lt;"); break;
        case Ch('>'): PutAscii<Ch>(out, "&gt;"); break;
        default: out.Put(c);
        }
        ++i;
    }
}

inline bool UrlUnreserved(unsigned char b) {
    return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '!' ||
           b == '-' || b == '.' || b == '_' || b == '~';
}

template <class Ch, class Sink>
void UrlByte(Sink& out, unsigned char b) {
    static const char hex[] = "0123456789ABCDEF";
    if (UrlUnreserved(b)) {
        out.Put(Ch(b));
        return;
    }
    out.Put(Ch('%'));
    out.Put(Ch(hex[b >> 4]));
    out.Put(Ch(hex[b & 15]));
}

template <class Ch, class Sink>
void EscapeUrl(Sink& out, const char* s, size_t n) {
    for (size_t i = 0; i < n; ++i) UrlByte<Ch>(out, static_cast<unsigned char>(s[i]));
}

template <class Ch, class Sink>
void EscapeUrl(Sink& out, const char16_t* s, size_t n) {
    char tmp[4];
    for (size_t i = 0; i < n; ++i) {
        uint32_t cp = s[i];
        if (cp >= 0xD800 && cp <= 0xDFFF) {
            // A surrogate left last in the text ends the conversion.
            if (i + 1 >= n) break;
            if (cp <= 0xDBFF && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
                ++i;
            } else {
                cp = 0xFFFD;
            }
        }
        size_t k = LUtf8Encode(cp, tmp);
        for (size_t j = 0; j < k; ++j) UrlByte<Ch>(out, static_cast<unsigned char>(tmp[j]));
    }
}

// ---- argument texts in the engine's own width ----

template <class Ch>
struct ArgText;

template <>
struct ArgText<char> {
    std::string conv;
    const char* p = nullptr;
    size_t n = 0;
    explicit ArgText(const LFormatArg& a) {
        if (a.kind == LFormatArg::Kind::Narrow) {
            p = a.a;
            n = a.n;
        } else if (a.kind == LFormatArg::Kind::Wide) {
            LStringA s;
            LStringAAppendWide(s, a.w, a.n);
            conv = s.Str();
            p = conv.data();
            n = conv.size();
        }
    }
};

template <>
struct ArgText<char16_t> {
    LString conv;
    const char16_t* p = nullptr;
    size_t n = 0;
    explicit ArgText(const LFormatArg& a) {
        if (a.kind == LFormatArg::Kind::Wide) {
            p = a.w;
            n = a.n;
        } else if (a.kind == LFormatArg::Kind::Narrow) {
            LStringAppendUtf8(conv, a.a, a.n);
            p = conv.c_str();
            n = conv.length;
        }
    }
};

// ---- pass-through conversions ----

bool IsDoubleLetter(char c) { return c == 'e' || c == 'E' || c == 'f' || c == 'F' || c == 'g' || c == 'G'; }
bool IsIntLetter(char c) {
    return c == 'd' || c == 'i' || c == 'u' || c == 'x' || c == 'X' || c == 'o';
}

int64_t ArgAsInt(const LFormatArg& a) {
    switch (a.kind) {
    case LFormatArg::Kind::Int: return a.i;
    case LFormatArg::Kind::UInt: return static_cast<int64_t>(a.u);
    case LFormatArg::Kind::Double: return static_cast<int64_t>(a.d);
    case LFormatArg::Kind::Pointer: return static_cast<int64_t>(reinterpret_cast<uintptr_t>(a.p));
    default: return 0;
    }
}

double ArgAsDouble(const LFormatArg& a) {
    switch (a.kind) {
    case LFormatArg::Kind::Int: return static_cast<double>(a.i);
    case LFormatArg::Kind::UInt: return static_cast<double>(a.u);
    case LFormatArg::Kind::Double: return a.d;
    default: return 0.0;
    }
}

// Formats one argument with the C library. `spec` holds the characters
// between '%' and the letter. Returns the byte count written into out.
int PassThrough(char* out, size_t room, const std::string& spec, char letter, const LFormatArg& a) {
    // Width and precision keep their place; the size prefixes are ours to
    // read, with their 32/64-bit meaning, and are not handed on.
    std::string digits;
    bool wide64 = false;
    for (size_t i = 0; i < spec.size(); ++i) {
        char c = spec[i];
        if (c == 'I') {
            wide64 = true;
            if (i + 2 < spec.size() + 1 && spec.compare(i + 1, 2, "64") == 0) i += 2;
            else if (spec.compare(i + 1, 2, "32") == 0) {
                wide64 = false;
                i += 2;
            }
        } else if (c == 'l') {
            if (i + 1 < spec.size() && spec[i + 1] == 'l') {
                wide64 = true;
                ++i;
            }
        } else if (c == 'L') {
            // long double prefix: the argument is still a double here
        } else {
            digits.push_back(c);
        }
    }
    std::string f = "%" + digits;
    if (IsDoubleLetter(letter)) {
        f.push_back(letter);
        return std::snprintf(out, room, f.c_str(), ArgAsDouble(a));
    }
    if (IsIntLetter(letter)) {
        f += "ll";
        f.push_back(letter);
        int64_t v = ArgAsInt(a);
        bool is_signed = letter == 'd' || letter == 'i';
        if (!wide64) {
            if (is_signed) return std::snprintf(out, room, f.c_str(), static_cast<long long>(static_cast<int32_t>(v)));
            return std::snprintf(out, room, f.c_str(), static_cast<unsigned long long>(static_cast<uint32_t>(v)));
        }
        if (is_signed) return std::snprintf(out, room, f.c_str(), static_cast<long long>(v));
        return std::snprintf(out, room, f.c_str(), static_cast<unsigned long long>(v));
    }
    if (letter == 'p') {
        f += "p";
        return std::snprintf(out, room, f.c_str(), a.kind == LFormatArg::Kind::Pointer ? a.p : reinterpret_cast<const void*>(ArgAsInt(a)));
    }
    // Anything else is outside the language: written as it stood.
    return std::snprintf(out, room, "%%%s%c", spec.c_str(), letter);
}

// ---- the engine ----

template <class Ch, class Sink>
void PutBytes(Sink& out, const char* s, size_t n) {
    for (size_t i = 0; i < n; ++i) out.Put(static_cast<Ch>(static_cast<unsigned char>(s[i])));
}

template <class Ch, class Sink>
void PutCodeUnit(Sink& out, uint32_t v) {
    if constexpr (sizeof(Ch) == 1) {
        char tmp[4];
        size_t k = LUtf8Encode(v, tmp);
        for (size_t i = 0; i < k; ++i) out.Put(tmp[i]);
    } else {
        if (v >= 0x10000 && v <= 0x10FFFF) {
            v -= 0x10000;
            out.Put(static_cast<char16_t>(0xD800 + (v >> 10)));
            out.Put(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
        } else {
            out.Put(static_cast<char16_t>(v));
        }
    }
}

inline bool IsSpecChar(uint32_t c) { return c == '.' || (c >= '0' && c <= '9') || c == 'I' || c == 'L' || c == 'l'; }

template <class Ch, class Sink>
void RunEngine(Sink& out, const Ch* fmt, const LFormatArg* args, size_t nargs) {
    size_t next = 0;
    static const LFormatArg none;
    auto take = [&]() -> const LFormatArg& { return next < nargs ? args[next++] : none; };
    for (const Ch* p = fmt; *p; ++p) {
        if (*p != Ch('%')) {
            out.Put(*p);
            continue;
        }
        ++p;
        std::string spec;
        while (*p && IsSpecChar(static_cast<uint32_t>(*p))) {
            if (spec.size() < 257) spec.push_back(static_cast<char>(*p));
            ++p;
        }
        if (!*p) {
            // A lone '%' at the end: write it and stop, never read past.
            out.Put(Ch('%'));
            break;
        }
        uint32_t letter = static_cast<uint32_t>(*p);
        if (letter == '%') {
            out.Put(Ch('%'));
            continue;
        }
        const LFormatArg& a = take();
        switch (letter) {
        case 's':
        case 'H':
        case 'J':
        case 'Q':
        case 'U': {
            ArgText<Ch> t(a);
            if (!t.p) break;
            if (letter == 's') {
                for (size_t i = 0; i < t.n; ++i) out.Put(t.p[i]);
            } else if (letter == 'H') {
                EscapeHtml<Ch>(out, t.p, t.n);
            } else if (letter == 'J') {
                EscapeJson<Ch>(out, t.p, t.n);
            } else if (letter == 'Q') {
                EscapeSql<Ch>(out, t.p, t.n);
            } else {
                EscapeUrl<Ch>(out, t.p, t.n);
            }
            break;
        }
        case 'c':
            PutCodeUnit<Ch>(out, static_cast<uint32_t>(ArgAsInt(a)));
            break;
        default: {
            char buf[512];
            int k = PassThrough(buf, sizeof buf, spec, letter < 0x80 ? static_cast<char>(letter) : '?', a);
            if (k > 0) PutBytes<Ch>(out, buf, std::min<size_t>(static_cast<size_t>(k), sizeof buf - 1));
        }
        }
    }
    out.Finish();
}

// Growable targets get their 260 units of room before the engine starts.
template <class S>
void PrepareRoom(S& s) {
    if (s.capacity < LStringMinCapacity) s.Reserve(LStringMinCapacity);
}

}  // namespace

uint64_t LVFormatWArgs(LString& out, const char16_t* fmt, const LFormatArg* args, size_t n) {
    if (!fmt) return out.length;
    PrepareRoom(out);
    GrowSink<LString> sink{out};
    RunEngine<char16_t>(sink, fmt, args, n);
    return out.length;
}

uint64_t LVFormatAArgs(LStringA& out, const char* fmt, const LFormatArg* args, size_t n) {
    if (!fmt) return out.length;
    PrepareRoom(out);
    GrowSink<LStringA> sink{out};
    RunEngine<char>(sink, fmt, args, n);
    return out.length;
}

uint64_t LFormatEscToUtf8Args(LStringA& out, const char16_t* fmt, const LFormatArg* args, size_t n) {
    if (!fmt) return out.length;
    PrepareRoom(out);
    Utf8Sink sink{out};
    RunEngine<char16_t>(sink, fmt, args, n);
    return out.length;
}

uint64_t LString::FormatArgs(const char16_t* fmt, const LFormatArg* args, size_t n) {
    Reserve(LStringMinCapacity);
    Clear();
    return LVFormatWArgs(*this, fmt, args, n);
}

uint64_t LString::AppendFormatArgs(const char16_t* fmt, const LFormatArg* args, size_t n) {
    Reserve(LStringMinCapacity);
    return LVFormatWArgs(*this, fmt, args, n);
}

uint64_t LStringA::FormatArgs(const char* fmt, const LFormatArg* args, size_t n) {
    Reserve(LStringMinCapacity);
    Clear();
    return LVFormatAArgs(*this, fmt, args, n);
}

uint64_t LStringA::AppendFormatArgs(const char* fmt, const LFormatArg* args, size_t n) {
    Reserve(LStringMinCapacity);
    return LVFormatAArgs(*this, fmt, args, n);
}

char16_t* LFormatBuffer::FormatVArgs(const char16_t* fmt, const LFormatArg* args, size_t n) {
    count = 0;
    FixedSink<LFormatBuffer> sink{*this};
    if (fmt) RunEngine<char16_t>(sink, fmt, args, n);
    Terminate();
    return buffer;
}

char* LFormatBufferA::FormatVArgs(const char* fmt, const LFormatArg* args, size_t n) {
    count = 0;
    FixedSink<LFormatBufferA> sink{*this};
    if (fmt) RunEngine<char>(sink, fmt, args, n);
    Terminate();
    return buffer;
}

// ---- named escapers ----

namespace {

template <class S, class Ch, class F>
void AppendEscaped(S& out, const Ch* text, F escape) {
    if (!text) return;
    PrepareRoom(out);
    GrowSink<S> sink{out};
    escape(sink, text, LTextLength(text));
    sink.Finish();
}

template <class Ch, class F>
void AppendEscapedUtf8(LStringA& out, const Ch* text, F escape) {
    if (!text) return;
    PrepareRoom(out);
    Utf8Sink sink{out};
    escape(sink, text, LTextLength(text));
    sink.Finish();
}

#define L_ESC(fn) [](auto& sink, auto* t, size_t n) { fn<std::remove_const_t<std::remove_pointer_t<decltype(t)>>>(sink, t, n); }

}  // namespace

void LAppendHtmlW(LString& out, const char16_t* text) { AppendEscaped(out, text, L_ESC(EscapeHtml)); }
void LAppendHtmlA(LStringA& out, const char* text) { AppendEscaped(out, text, L_ESC(EscapeHtml)); }
void LUtf8AppendHtmlEscaped(LStringA& out, const char16_t* text) { AppendEscapedUtf8(out, text, L_ESC(EscapeHtml)); }
void LAppendJsonW(LString& out, const char16_t* text) { AppendEscaped(out, text, L_ESC(EscapeJson)); }
void LAppendJsonA(LStringA& out, const char* text) { AppendEscaped(out, text, L_ESC(EscapeJson)); }
void LUtf8AppendJsonEscaped(LStringA& out, const char16_t* text) { AppendEscapedUtf8(out, text, L_ESC(EscapeJson)); }
void LAppendSqlQuotedW(LString& out, const char16_t* text) { AppendEscaped(out, text, L_ESC(EscapeSql)); }
void LAppendSqlQuotedA(LStringA& out, const char* text) { AppendEscaped(out, text, L_ESC(EscapeSql)); }
void LAppendUrlEncodedW(LString& out, const char16_t* text) {
    AppendEscaped(out, text, [](auto& sink, const char16_t* t, size_t n) { EscapeUrl<char16_t>(sink, t, n); });
}
void LAppendUrlEncodedA(LStringA& out, const char* text) {
    AppendEscaped(out, text, [](auto& sink, const char* t, size_t n) { EscapeUrl<char>(sink, t, n); });
}
void LUtf8AppendUrlEncoded(LStringA& out, const char16_t* text) {
    if (!text) return;
    PrepareRoom(out);
    GrowSink<LStringA> sink{out};
    EscapeUrl<char>(sink, text, LTextLength(text));
    sink.Finish();
}
void LAppendUrlEncodedWideToA(LStringA& out, const char16_t* text) { LUtf8AppendUrlEncoded(out, text); }

void LFormatBuffer::AppendHtmlEscaped(const char16_t* text) {
    if (!text) return;
    EscapeHtml<char16_t>(*this, text, LTextLength(text));
    Terminate();
}
void LFormatBuffer::AppendJsonEscaped(const char16_t* text) {
    if (!text) return;
    EscapeJson<char16_t>(*this, text, LTextLength(text));
    Terminate();
}
void LFormatBuffer::AppendUrlEncoded(const char16_t* text) {
    if (!text) return;
    EscapeUrl<char16_t>(*this, text, LTextLength(text));
    Terminate();
}
void LFormatBuffer::AppendUrlEncodedByte(unsigned char byte) {
    UrlByte<char16_t>(*this, byte);
    Terminate();
}
void LFormatBufferA::AppendHtmlEscaped(const char* text) {
    if (!text) return;
    EscapeHtml<char>(*this, text, LTextLength(text));
    Terminate();
}
void LFormatBufferA::AppendJsonEscaped(const char* text) {
    if (!text) return;
    EscapeJson<char>(*this, text, LTextLength(text));
    Terminate();
}
void LFormatBufferA::AppendUrlEncoded(const char* text) {
    if (!text) return;
    EscapeUrl<char>(*this, text, LTextLength(text));
    Terminate();
}
