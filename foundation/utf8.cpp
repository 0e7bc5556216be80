#include "foundation/utf8.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t kReplacement = 0xFFFD;

inline bool IsCont(unsigned char c) { return (c & 0xC0) == 0x80; }

// Hands the UTF-8 of `n` UTF-16 units to `put` one character at a time
// (1 to 4 bytes), so that bounded outputs can drop whole characters only.
template <class Put>
void WideToUtf8Seq(const char16_t* w, size_t n, Put&& put) {
    char tmp[4];
    for (size_t i = 0; i < n; ++i) {
        uint32_t u = w[i];
        if (u < 0x80) {
            tmp[0] = static_cast<char>(u);
            put(tmp, size_t(1));
            continue;
        }
        uint32_t cp = u;
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 1 < n && w[i + 1] >= 0xDC00 && w[i + 1] <= 0xDFFF) {
                cp = 0x10000 + ((u - 0xD800) << 10) + (w[i + 1] - 0xDC00);
                ++i;
            } else {
                cp = kReplacement;
            }
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            cp = kReplacement;
        }
        put(tmp, LUtf8Encode(cp, tmp));
    }
}

template <class Put>
void WideToUtf8(const char16_t* w, size_t n, Put&& put) {
    WideToUtf8Seq(w, n, [&](const char* b, size_t k) {
        for (size_t j = 0; j < k; ++j) put(b[j]);
    });
}

// Bytes of the UTF-8 form of n UTF-16 units.
size_t Utf8Size(const char16_t* w, size_t n) {
    size_t total = 0;
    WideToUtf8Seq(w, n, [&](const char*, size_t k) { total += k; });
    return total;
}

// Hands the UTF-16 of n UTF-8 bytes to `put` one character at a time (one
// unit, or two for a surrogate pair).
template <class Put>
void Utf8ToWideSeq(const char* s, size_t n, Put&& put) {
    const auto* p = reinterpret_cast<const unsigned char*>(s);
    size_t i = 0;
    char16_t units[2];
    while (i < n) {
        if (p[i] < 0x80) {
            units[0] = p[i++];
            put(units, size_t(1));
            continue;
        }
        uint32_t cp;
        i += LUtf8Decode(p + i, n - i, &cp);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            units[0] = static_cast<char16_t>(0xD800 + (cp >> 10));
            units[1] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
            put(units, size_t(2));
        } else {
            units[0] = static_cast<char16_t>(cp);
            put(units, size_t(1));
        }
    }
}

template <class Put>
void Utf8ToWide(const char* s, size_t n, Put&& put) {
    Utf8ToWideSeq(s, n, [&](const char16_t* u, size_t k) {
        for (size_t j = 0; j < k; ++j) put(u[j]);
    });
}

}  // namespace

size_t LUtf8Decode(const unsigned char* p, size_t n, uint32_t* cp) {
    unsigned char c = p[0];
    if (c < 0x80) {
        *cp = c;
        return 1;
    }
    size_t need;
    uint32_t v, min;
    if (c >= 0xC2 && c <= 0xDF) {
        need = 1; v = c & 0x1F; min = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        need = 2; v = c & 0x0F; min = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        need = 3; v = c & 0x07; min = 0x10000;
    } else {
        *cp = kReplacement;
        return 1;
    }
    size_t i = 1;
    for (; i <= need; ++i) {
        if (i >= n || !IsCont(p[i])) {
            *cp = kReplacement;
            return i;  // the bytes so far form one bad sequence
        }
        v = (v << 6) | (p[i] & 0x3F);
    }
    if (v < min || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) v = kReplacement;
    *cp = v;
    return need + 1;
}

size_t LUtf8Encode(uint32_t cp, char* out) {
    if (cp < 0x80) {
        out[0] = static_cast<char>(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = static_cast<char>(0xC0 | (cp >> 6));
        out[1] = static_cast<char>(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp >= 0xD800 && cp <= 0xDFFF) cp = kReplacement;
    if (cp < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (cp >> 12));
        out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (cp & 0x3F));
        return 3;
    }
    if (cp > 0x10FFFF) return LUtf8Encode(kReplacement, out);
    out[0] = static_cast<char>(0xF0 | (cp >> 18));
    out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (cp & 0x3F));
    return 4;
}

void LStringAAppendWide(LStringA& out, const char16_t* wide, size_t n) {
    if (!wide) return;
    size_t ascii = 0;
    // Most mail text is ASCII throughout: its units are the bytes, copied
    // without the encoder up to the first that is not.
    if (out.Reserve(out.length + n + 1)) {
        char* to = out.buffer + out.length;
        while (ascii < n && wide[ascii] < 0x80) {
            to[ascii] = static_cast<char>(wide[ascii]);
            ++ascii;
        }
        out.length += ascii;
    }
    WideToUtf8(wide + ascii, n - ascii, [&](char c) { out.PutUnit(c); });
    out.Terminate();
}

void LStringAppendUtf8(LString& out, const char* utf8, size_t n) {
    if (!utf8) return;
    out.Reserve(out.length + n + 1);
    Utf8ToWide(utf8, n, [&](char16_t c) { out.PutUnit(c); });
    out.Terminate();
}

void LAppendCharUTF8(LStringA& out, char16_t unit) {
    if (unit < 0x80) {
        out.PutUnit(static_cast<char>(unit));
        return;
    }
    char tmp[4];
    size_t k = LUtf8Encode(unit, tmp);
    for (size_t i = 0; i < k; ++i) out.PutUnit(tmp[i]);
}

void LString::SetUtf8(const char* utf8) { SetUtf8N(utf8, LTextLength(utf8)); }

void LString::SetUtf8N(const char* utf8, size_t n) {
    Clear();
    LStringAppendUtf8(*this, utf8, n);
}

void LStringA::SetUtf8FromWide(const char16_t* wide, size_t n) {
    Clear();
    if (!wide) return;
    // The worst case is cheap to reserve for short texts; long ones are
    // measured first rather than holding six times their size.
    if (n * 6 >= 200000 || !Reserve(n * 6 + 1)) Reserve(Utf8Size(wide, n) + 1);
    WideToUtf8(wide, n, [&](char c) { PutUnit(c); });
    Terminate();
}

std::string LToUtf8(const char16_t* wide) {
    std::string s;
    if (wide) WideToUtf8(wide, LTextLength(wide), [&](char c) { s.push_back(c); });
    return s;
}

std::string LToUtf8(const LString& w) {
    std::string s;
    WideToUtf8(w.c_str(), w.length, [&](char c) { s.push_back(c); });
    return s;
}

LString LFromUtf8(std::string_view utf8) {
    LString s;
    LStringAppendUtf8(s, utf8.data(), utf8.size());
    if (!s.buffer) s.Reserve(1);
    return s;
}

// ---- temporary conversions ----

LUTF8FromWide::~LUTF8FromWide() { std::free(heap_); }

void LUTF8FromWide::Convert(const char16_t* wide, size_t n) {
    std::free(heap_);
    heap_ = nullptr;
    char* out = inline_;
    size_t room = sizeof inline_ - 1;
    if (n * 6 >= sizeof inline_) {
        for (size_t want : {n * 6 + 1, n * 2 + 1, n + 1}) {
            heap_ = static_cast<char*>(std::malloc(want));
            if (heap_) {
                out = heap_;
                room = want - 1;
                break;
            }
        }
    }
    size_t len = 0;
    // A cut never leaves half a character behind.
    WideToUtf8Seq(wide, n, [&](const char* b, size_t k) {
        if (len + k > room) {
            room = len;
            return;
        }
        std::memcpy(out + len, b, k);
        len += k;
    });
    out[len] = 0;
    text = out;
    length_ = len;
}

void LUTF8FromWide::InitText(const char16_t* wide) { Convert(wide ? wide : u"", LTextLength(wide)); }
void LUTF8FromWide::InitString(const LString& s) { Convert(s.c_str(), s.length); }

LWideFromUTF8::~LWideFromUTF8() { std::free(heap_); }

void LWideFromUTF8::InitText(const char* utf8) {
    std::free(heap_);
    heap_ = nullptr;
    size_t n = LTextLength(utf8);
    char16_t* out = inline_;
    size_t room = 259;
    if (n + 1 > 260) {
        heap_ = static_cast<char16_t*>(std::malloc((n + 1) * sizeof(char16_t)));
        if (heap_) {
            out = heap_;
            room = n;
        }
    }
    size_t len = 0;
    Utf8ToWideSeq(utf8 ? utf8 : "", n, [&](const char16_t* u, size_t k) {
        if (len + k > room) {
            room = len;
            return;
        }
        for (size_t j = 0; j < k; ++j) out[len++] = u[j];
    });
    out[len] = 0;
    text = out;
    length_ = len;
}

size_t LWideToUTF8Buf(char out[260], const char16_t* wide) {
    size_t n = 0;
    if (wide)
        while (n < 259 && wide[n] && wide[n] < 0x80) {
            out[n] = static_cast<char>(wide[n]);
            ++n;
        }
    if (wide && n < 259 && wide[n]) {
        // Not plain ASCII before the limit: convert the whole text.
        size_t room = 259;
        n = 0;
        WideToUtf8Seq(wide, LTextLength(wide), [&](const char* b, size_t k) {
            if (n + k > room) {
                room = n;
                return;
            }
            std::memcpy(out + n, b, k);
            n += k;
        });
    }
    out[n] = 0;
    return n;
}

size_t LUTF8ToWideBuf(char16_t out[260], const char* utf8) {
    size_t n = 0;
    if (utf8)
        while (n < 259 && utf8[n] && static_cast<unsigned char>(utf8[n]) < 0x80) {
            out[n] = static_cast<unsigned char>(utf8[n]);
            ++n;
        }
    if (utf8 && n < 259 && utf8[n]) {
        size_t room = 259;
        n = 0;
        Utf8ToWideSeq(utf8, LTextLength(utf8), [&](const char16_t* u, size_t k) {
            if (n + k > room) {
                room = n;
                return;
            }
            for (size_t j = 0; j < k; ++j) out[n++] = u[j];
        });
    }
    out[n] = 0;
    return n;
}

void LCopyField(char16_t out[260], const char16_t* text) {
    size_t n = 0;
    if (text)
        while (n < 259 && text[n]) {
            out[n] = text[n];
            ++n;
        }
    out[n] = 0;
}

void LCopyFieldA(char out[260], const char* text) {
    size_t n = 0;
    if (text)
        while (n < 259 && text[n]) {
            out[n] = text[n];
            ++n;
        }
    out[n] = 0;
}
