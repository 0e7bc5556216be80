#include "foundation/json_writer.h"

#include <cmath>
#include <cstdio>

#include "foundation/utf8.h"

void LJsonAppendDouble(LStringA& out, double value) {
    if (!std::isfinite(value)) {
        out.AppendBulk("null", 4);
        out.Terminate();
        return;
    }
    // The largest double prints as 309 digits, a point and six decimals:
    // the buffer holds every finite value whole.
    char buf[400];
    int n = std::snprintf(buf, sizeof buf, "%f", value);
    if (n <= 0 || n >= static_cast<int>(sizeof buf)) n = 0;
    while (n > 1 && buf[n - 1] == '0') --n;
    if (n > 1 && buf[n - 1] == '.') --n;
    out.AppendBulk(buf, static_cast<uint64_t>(n));
    out.Terminate();
}

void LJsonWriter::Comma() {
    if (needComma) out_raw->AppendBulk(",", 1);
}

// The quoted name and a colon; nothing for a null name (an array element).
void LJsonWriter::Name(const char* name) {
    if (name) {
        out_raw->Terminate();
        out_format->AppendFormat("\"%J\":", name);
    }
}

void LJsonWriter::Open(const char* name, char bracket) {
    Comma();
    Name(name);
    out_raw->AppendBulk(&bracket, 1);
    out_raw->Terminate();
    needComma = 0;
}

void LJsonWriter::BeginObject() { Open(nullptr, '{'); }
void LJsonWriter::BeginObjectNamed(const char* name) { Open(name, '{'); }
void LJsonWriter::BeginArray() { Open(nullptr, '['); }
void LJsonWriter::BeginArrayNamed(const char* name) { Open(name, '['); }

void LJsonWriter::BeginArrayNamedW(const char16_t* name) {
    char utf8[260];
    if (name) LWideToUTF8Buf(utf8, name);
    BeginArrayNamed(name ? utf8 : nullptr);
}

void LJsonWriter::Close(char bracket) {
    out_raw->AppendBulk(&bracket, 1);
    out_raw->Terminate();
    needComma = 1;
}

void LJsonWriter::EndObject() { Close('}'); }
void LJsonWriter::EndArray() { Close(']'); }

void LJsonWriter::Int(const char* name, int32_t value) {
    Comma();
    out_raw->Terminate();
    if (name)
        out_format->AppendFormat("\"%J\":%d", name, value);
    else
        out_format->AppendFormat("%d", value);
    needComma = 1;
}

void LJsonWriter::IntW(const char16_t* name, int32_t value) {
    char utf8[260];
    if (name) LWideToUTF8Buf(utf8, name);
    Int(name ? utf8 : nullptr, value);
}

void LJsonWriter::Int64(const char* name, int64_t value) {
    Comma();
    out_raw->Terminate();
    if (name)
        out_format->AppendFormat("\"%J\":\"%lld\"", name, static_cast<long long>(value));
    else
        out_format->AppendFormat("\"%lld\"", static_cast<long long>(value));
    needComma = 1;
}

void LJsonWriter::Int64W(const char16_t* name, int64_t value) {
    char utf8[260];
    if (name) LWideToUTF8Buf(utf8, name);
    Int64(name ? utf8 : nullptr, value);
}

void LJsonWriter::MaxBodyChars(size_t value) {
    Comma();
    out_raw->Terminate();
    out_format->AppendFormat("\"%J\":%Iu", "max_body_chars", static_cast<uint64_t>(value));
    needComma = 1;
}

void LJsonWriter::Double(const char* name, double value) {
    Comma();
    Name(name);
    LJsonAppendDouble(*out_raw, value);
    needComma = 1;
}

void LJsonWriter::DoubleW(const char16_t* name, double value) {
    char utf8[260];
    if (name) LWideToUTF8Buf(utf8, name);
    Double(name ? utf8 : nullptr, value);
}

void LJsonWriter::StringUTF8(const char* name, const char* value) {
    Comma();
    out_raw->Terminate();
    if (name)
        out_format->AppendFormat("\"%J\":\"%J\"", name, value ? value : "");
    else
        out_format->AppendFormat("\"%J\"", value ? value : "");
    needComma = 1;
}

void LJsonWriter::String(const char* name, const char16_t* value) {
    LUTF8FromWide utf8(value ? value : u"");
    StringUTF8(name, utf8.text);
}

void LJsonWriter::StringW(const char16_t* name, const char16_t* value) {
    char n[260];
    if (name) LWideToUTF8Buf(n, name);
    LUTF8FromWide v(value ? value : u"");
    StringUTF8(name ? n : nullptr, v.text);
}

void LJsonWriter::Bool(const char* name, bool value) {
    Comma();
    Name(name);
    out_raw->AppendBulk(value ? "true" : "false", value ? 4 : 5);
    out_raw->Terminate();
    needComma = 1;
}

void LJsonWriter::WriteNull() {
    Comma();
    out_raw->AppendBulk("null", 4);
    out_raw->Terminate();
    needComma = 1;
}
