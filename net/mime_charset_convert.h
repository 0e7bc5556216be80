#pragma once
// The MIME parser's links to the foundation's conversions.
#include <cstdint>
#include <string_view>

#include "foundation/lstring.h"

// Appends the UTF-16 form of bytes in a Windows code page; false when the
// code page cannot be converted here (the caller reads the bytes as UTF-8).
bool LMimeCodePageAppend(uint32_t codePage, std::string_view bytes, LString& out);
// Appends the plain-text rendering of an HTML body.
void LMimeHtmlToText(const LString& html, LString& out);
// A name that is safe to create as a file.
void LMimeMakeValidFileName(const char16_t name[260], char16_t out[260]);
