#pragma once
// Temporary conversions between the program's UTF-16 text and the UTF-8 of
// everything outside it. Invalid input and lone surrogates become U+FFFD.
#include <cstddef>
#include <cstdint>

#include "foundation/lstring.h"

// Decodes one code point from UTF-8 at p (n bytes available); returns the
// bytes used (at least 1) and the code point, or U+FFFD for a bad sequence.
size_t LUtf8Decode(const unsigned char* p, size_t n, uint32_t* cp);
// Encodes a code point as UTF-8 into out (4 bytes room); returns the count.
size_t LUtf8Encode(uint32_t cp, char* out);

class LUTF8FromWide {
public:
    const char* text = inline_;
    LUTF8FromWide() { inline_[0] = 0; }
    explicit LUTF8FromWide(const char16_t* wide) { InitText(wide); }
    explicit LUTF8FromWide(const LString& s) { InitString(s); }
    LUTF8FromWide(const LUTF8FromWide&) = delete;
    LUTF8FromWide& operator=(const LUTF8FromWide&) = delete;
    ~LUTF8FromWide();
    void InitText(const char16_t* wide);
    void InitString(const LString& s);
    size_t Length() const { return length_; }

private:
    void Convert(const char16_t* wide, size_t n);
    char inline_[512];
    char* heap_ = nullptr;
    size_t length_ = 0;
};

class LWideFromUTF8 {
public:
    const char16_t* text = inline_;
    LWideFromUTF8() { inline_[0] = 0; }
    explicit LWideFromUTF8(const char* utf8) { InitText(utf8); }
    LWideFromUTF8(const LWideFromUTF8&) = delete;
    LWideFromUTF8& operator=(const LWideFromUTF8&) = delete;
    ~LWideFromUTF8();
    void InitText(const char* utf8);
    size_t Length() const { return length_; }

private:
    char16_t inline_[260];
    char16_t* heap_ = nullptr;
    size_t length_ = 0;
};

// Into fixed 260-element buffers, cut to 259; return the units written.
size_t LWideToUTF8Buf(char out[260], const char16_t* wide);
size_t LUTF8ToWideBuf(char16_t out[260], const char* utf8);

// Copies at most 259 units of a wide text into a fixed field, terminated.
void LCopyField(char16_t out[260], const char16_t* text);
void LCopyFieldA(char out[260], const char* text);
