#pragma once
// Base64 (RFC 4648 alphabet, '=' fill) in the forms MIME bodies, SMTP and
// stored secrets need: lines of 76 characters ended by CR LF unless the
// caller asks for one unbroken line.
#include <cstddef>
#include <cstdint>

#include "foundation/format.h"
#include "foundation/lstring.h"

constexpr uint32_t LBase64NoFill = 1;        // no '=' fill characters
constexpr uint32_t LBase64NoLineBreaks = 2;  // one unbroken line

// Characters the encoders write for count bytes, terminator excluded.
size_t LBase64EncodedLength(size_t count, uint32_t flags);

// Clears out and writes the text (with LBase64NoLineBreaks and no bytes,
// out is left as it was).
void LBase64Encode(const void* bytes, size_t count, LString& out, uint32_t flags);
// Appends the text to out.
void LBase64EncodeCore(const void* bytes, size_t count, LString& out, uint32_t flags);
// Appends with line breaks and fill: the SMTP sender's body blocks.
void LBase64EncodeA(const void* bytes, size_t count, LStringA& out);
// Into a fixed field: at most 259 characters, the rest dropped.
void LBase64EncodeW260(const void* bytes, size_t count, char16_t* out260, uint32_t flags);
void LBase64EncodeWCore(const void* bytes, size_t count, LFormatBuffer& out, uint32_t flags);

// Decodes the text into a newly allocated block and returns the byte count:
// characters outside the alphabet (line breaks, spaces, '=') are skipped,
// the text ends at its length or a zero byte. 0 for an empty text or when
// the block cannot be allocated.
size_t LBase64Decode(const char* text, size_t n, LHeapBlock& out);
inline size_t LBase64Decode(const LStringA& text, LHeapBlock& out) {
    return LBase64Decode(text.buffer, text.length, out);
}
