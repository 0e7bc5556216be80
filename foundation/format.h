#pragma once
// The format engines: printf-style formatting with four conversions of the
// program's own. %H escapes HTML, %J escapes a JSON string body, %Q doubles
// apostrophes for an SQL literal body, %U percent-encodes UTF-8. Between '%'
// and the letter only '.', digits, 'I', 'L' and 'l' may stand; every other
// letter goes to the C library with one argument ('I64', 'I' and 'll' are
// 64-bit, none and 'l' 32-bit). Every SQL statement of the program is built
// here with %Q for any text that is not a constant of the program.
#include <cstddef>
#include <cstdint>

#include "foundation/format_args.h"
#include "foundation/lstring.h"

uint64_t LVFormatWArgs(LString& out, const char16_t* fmt, const LFormatArg* args, size_t n);
uint64_t LVFormatAArgs(LStringA& out, const char* fmt, const LFormatArg* args, size_t n);
uint64_t LFormatEscToUtf8Args(LStringA& out, const char16_t* fmt, const LFormatArg* args, size_t n);

// The bounded outputs: a caller's 260-element buffer, at most 259 written,
// the rest dropped without notice.
class LFormatBuffer {
public:
    explicit LFormatBuffer(char16_t* buf) : buffer(buf) { buffer[0] = 0; }
    char16_t* buffer;
    size_t count = 0;
    static constexpr size_t capacity = 259;

    void Put(char16_t c) {
        if (count < capacity) buffer[count++] = c;
    }
    void Terminate() { buffer[count] = 0; }
    void AppendHtmlEscaped(const char16_t* text);
    void AppendJsonEscaped(const char16_t* text);
    void AppendUrlEncoded(const char16_t* text);
    void AppendUrlEncodedByte(unsigned char byte);
    char16_t* FormatVArgs(const char16_t* fmt, const LFormatArg* args, size_t n);
};

class LFormatBufferA {
public:
    explicit LFormatBufferA(char* buf) : buffer(buf) { buffer[0] = 0; }
    char* buffer;
    size_t count = 0;
    static constexpr size_t capacity = 259;

    void Put(char c) {
        if (count < capacity) buffer[count++] = c;
    }
    void Terminate() { buffer[count] = 0; }
    void AppendHtmlEscaped(const char* text);
    void AppendJsonEscaped(const char* text);
    void AppendUrlEncoded(const char* text);
    char* FormatVArgs(const char* fmt, const LFormatArg* args, size_t n);
};

// Engines: each appends to the target and returns its new length.
template <class... A>
uint64_t LVFormatW(LString& out, const char16_t* fmt, const A&... a) {
    LFormatArgArray<sizeof...(A)> args{LFormatArg(a)...};
    return LVFormatWArgs(out, fmt, args.data(), args.size());
}
template <class... A>
uint64_t LVFormatA(LStringA& out, const char* fmt, const A&... a) {
    LFormatArgArray<sizeof...(A)> args{LFormatArg(a)...};
    return LVFormatAArgs(out, fmt, args.data(), args.size());
}
template <class... A>
uint64_t LVAppendFormatA(LStringA& out, const char* fmt, const A&... a) {
    LFormatArgArray<sizeof...(A)> args{LFormatArg(a)...};
    return LVFormatAArgs(out, fmt, args.data(), args.size());
}
template <class... A>
uint64_t LFormatEscToUtf8V(LStringA& out, const char16_t* fmt, const A&... a) {
    LFormatArgArray<sizeof...(A)> args{LFormatArg(a)...};
    return LFormatEscToUtf8Args(out, fmt, args.data(), args.size());
}
template <class... A>
char16_t* LFormatEscPathW(char16_t* buf260, const char16_t* fmt, const A&... a) {
    LFormatArgArray<sizeof...(A)> args{LFormatArg(a)...};
    return LFormatBuffer(buf260).FormatVArgs(fmt, args.data(), args.size());
}
template <class... A>
char* LFormatEscPathA(char* buf260, const char* fmt, const A&... a) {
    LFormatArgArray<sizeof...(A)> args{LFormatArg(a)...};
    return LFormatBufferA(buf260).FormatVArgs(fmt, args.data(), args.size());
}

// Escapers, appending to a growable string.
void LAppendHtmlW(LString& out, const char16_t* text);
void LAppendHtmlA(LStringA& out, const char* text);
void LUtf8AppendHtmlEscaped(LStringA& out, const char16_t* text);
void LAppendJsonW(LString& out, const char16_t* text);
void LAppendJsonA(LStringA& out, const char* text);
void LUtf8AppendJsonEscaped(LStringA& out, const char16_t* text);
void LAppendSqlQuotedW(LString& out, const char16_t* text);
void LAppendSqlQuotedA(LStringA& out, const char* text);
void LAppendUrlEncodedW(LString& out, const char16_t* text);
void LAppendUrlEncodedA(LStringA& out, const char* text);
void LUtf8AppendUrlEncoded(LStringA& out, const char16_t* text);
void LAppendUrlEncodedWideToA(LStringA& out, const char16_t* text);
