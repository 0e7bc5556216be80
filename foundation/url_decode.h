#pragma once
// Percent-decoding of query strings and form bodies: '+' is a space, "%XY"
// the byte XY (a character that is not a hex digit counts as 0), a '%' with
// fewer than two characters after it ends the field, and a decoded zero byte
// is dropped. Each decoder appends to its output and returns what it read.
#include <cstddef>

#include "foundation/format.h"
#include "foundation/lstring.h"
#include "foundation/string_map.h"

// A field name, up to '=' or '&' (not consumed) or the end.
size_t LUrlDecodeQueryKey(const char* text, LStringA& out);
// A value, up to '&' (not consumed) or the end.
size_t LUrlDecodeQueryValue(const char* text, LStringA& out);
// The whole text ('&' is not special) as UTF-16: runs of bytes from 0x80 up
// are read as UTF-8.
size_t LUrlDecodeToWide(const char* text, LString& out);
// The whole UTF-16 text into a fixed field, dropping what does not fit;
// escaped bytes from 0x80 up are read as UTF-8.
size_t LUrlDecodeFormValueW(const char16_t* text, LFormatBuffer& out);

// Adds every field of an application/x-www-form-urlencoded text (UTF-8) to
// an exactly ordered map, repeated names kept in arrival order; a field with
// an empty name is dropped.
void LParseUrlEncodedForm(LStringMap& map, const char* text);
// The same over UTF-16 text, where "%XY" is the single unit XY: escaped
// bytes are not joined as UTF-8.
void LParseUrlEncodedFormW(LStringMap& map, const char16_t* text);

// The value of one hex digit; 0 for anything else.
int LUrlHexValue(unsigned c);
