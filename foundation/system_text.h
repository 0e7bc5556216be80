#pragma once
// Small text helpers of the system layer: number parsing, URL decoding,
// tag extraction, and printf-style formatting into sized buffers.
#include <cstddef>
#include <cstdint>

#include "foundation/format.h"

// Skips leading characters with codes up to 32, an optional sign, then
// decimal digits up to the first non-digit. Saturates at INT64_MAX (negated
// for "-"); no digits give 0.
int64_t LParseInt64A(const char* text);
int64_t LParseInt64W(const char16_t* text);
// The nearest whole value; halves go away from zero.
float LRoundFloat(double x);
// "+" becomes a blank, "%" and two hex digits (a non-hex digit counts as 0)
// a byte; a "%" with fewer than two characters after it ends the text;
// decoded zero bytes are dropped; at most 259 bytes are kept.
void LUrlDecodeA(char out[260], const char* text);
// What follows the tag up to the next "<" (at most 259 bytes); false and
// empty when the tag is missing.
bool LExtractTagText(const char* text, const char* tag, char out[260]);

// The C library's printf into a sized buffer, always terminated (nothing is
// written for size 0).
int LFormatA(char* out, size_t size, const char* fmt, ...) __attribute__((format(printf, 3, 4)));

// Wide formatting into a sized buffer, cut to fit and always terminated; a
// size of 0 writes nothing. It goes through the program's formatter, so the
// escapes %H, %J, %Q and %U are there too (LFormatEscW names the intent).
char16_t* LFormatWArgs(char16_t* out, size_t size, const char16_t* fmt, const LFormatArg* args, size_t n);
template <class... A>
char16_t* LFormatW(char16_t* out, size_t size, const char16_t* fmt, const A&... a) {
    LFormatArgArray<sizeof...(A)> args{LFormatArg(a)...};
    return LFormatWArgs(out, size, fmt, args.data(), args.size());
}
template <class... A>
char16_t* LFormatEscW(char16_t* out, size_t size, const char16_t* fmt, const A&... a) {
    return LFormatW(out, size, fmt, a...);
}
// Into a caller's 260-unit buffer.
template <class... A>
char16_t* LSprintfW(char16_t* out260, const char16_t* fmt, const A&... a) {
    return LFormatW(out260, 260, fmt, a...);
}
