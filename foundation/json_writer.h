#pragma once
// Compact JSON text (UTF-8, no white space) streamed into a caller's
// string. The writer keeps no stack of open containers: the caller pairs
// every begin with its end; the writer only decides where commas go.
#include <cstddef>
#include <cstdint>

#include "foundation/lstring.h"

// The number text of a double in the program's JSON: "%f", then trailing
// zeros and a trailing decimal point removed (2.5, 10, -0.25; 1e-7 gives 0).
// Every finite double is written whole; infinities and not-a-number, which
// JSON cannot carry, are written as null.
void LJsonAppendDouble(LStringA& out, double value);

class LJsonWriter {
public:
    explicit LJsonWriter(LStringA& out) : out_format(&out), out_raw(&out) {}

    void BeginObject();
    void BeginObjectNamed(const char* name);
    void BeginArray();
    void BeginArrayNamed(const char* name);
    void BeginArrayNamedW(const char16_t* name);
    void EndObject();
    void EndArray();
    void Int(const char* name, int32_t value);
    void IntW(const char16_t* name, int32_t value);
    // 64-bit numbers are written as quoted strings: JavaScript readers
    // would round them otherwise.
    void Int64(const char* name, int64_t value);
    void Int64W(const char16_t* name, int64_t value);
    void MaxBodyChars(size_t value);
    void Double(const char* name, double value);
    void DoubleW(const char16_t* name, double value);
    void StringUTF8(const char* name, const char* value);
    void String(const char* name, const char16_t* value);
    void StringW(const char16_t* name, const char16_t* value);
    void Bool(const char* name, bool value);
    void WriteNull();

    LStringA* out_format;
    LStringA* out_raw;
    uint8_t needComma = 0;

private:
    void Comma();
    void Name(const char* name);
    void Open(const char* name, char bracket);
    void Close(char bracket);
};
