#pragma once
// Text in the legacy code pages of mail (ISO-8859-x, windows-125x, KOI8-R,
// Shift-JIS, ISO-2022-JP, GBK, GB18030, EUC-KR, Big5...) to and from UTF-16.
// Code pages are the Windows numbers the mail code speaks in; UTF-8 (65001)
// goes through the program's own codec, everything else through iconv.
// The ANSI and OEM code pages (0, 1, 3) are UTF-8, the locale of the hosts
// the program runs on. Conversions never fail visibly: bytes that do not
// decode become U+FFFD, characters that do not encode become '?', and an
// unknown code page gives nothing.
#include <cstddef>
#include <cstdint>

#include "foundation/lstring.h"

constexpr uint32_t LCodePageUtf8 = 65001;

// The iconv name of a code page, or null when the program does not know it.
const char* LCodePageIconvName(uint32_t codePage);

// Appends n bytes of text in the code page to out as UTF-16.
void LCodePageAppendWide(uint32_t codePage, const char* bytes, size_t n, LString& out);
// Appends bytes of the charset that iconv knows by that name (a MIME name
// such as "ISO-8859-15" or "EUC-JP"). False, with nothing appended, when
// iconv has no such charset or the text is not a plain charset name.
bool LCharsetAppendWide(const char* charset, const char* bytes, size_t n, LString& out);
// The growable out becomes the UTF-16 form of the narrow string.
void LCodePageToWide(uint32_t codePage, const LStringA& text, LString& out);
// A terminated text into out of capacity units, always terminated within it;
// returns the units written (terminator excluded).
size_t LMultiByteToWide(uint32_t codePage, char16_t* out, const char* text, size_t capacity);
// Appends n UTF-16 units to out in the code page.
void LWideToCodePage(uint32_t codePage, const char16_t* wide, size_t n, LStringA& out);
