#pragma once
// The small routines with which protocol lines, header values, command lines
// and CSV log lines are cut and built. Fixed buffers are 260 elements: at
// most 259 kept and a terminator; the routines that fill them return the full
// length of what they found, so a caller can tell that the text was cut.
// (LString::Trim, LString::AssignUpTo and LString::ReplaceAll live here too.)
#include <cstddef>

#include "foundation/lstring.h"

// Removes U+0020 (only) from both ends in place.
void LTrimSpaces(char16_t* text);
// out becomes the bytes before the first stop byte; returns their count.
size_t LReadUntilCharA(const char* text, char stop, LStringA& out);
// The units before the stop unit into a fixed buffer; returns their full count.
size_t LCopyUpToChar(const char16_t* text, char16_t stop, char16_t* out260);
size_t LCopyUntilCharA(const char* text, char stop, char* out260);
// The bytes up to the first delimiter (or the end) into a fixed buffer; the
// cursor moves past all of them and stays on the delimiter. Returns their
// full count.
size_t LReadTokenA(const char** cursor, const char* delimiters, char* out260);
// The UTF-16 twin; returns the number of bytes the cursor advanced.
size_t LReadTokenW(const char16_t** cursor, const char16_t* delimiters, char16_t* out260);
// out becomes the bytes before the first byte of value 32 or less.
size_t LReadWordA(const char* text, LStringA& out);
// Moves the cursor just past the first occurrence of the token (true), or to
// the end (false).
bool LTextSkipPast(const char16_t** cursor, const char16_t* token);
bool LTextSkipPastA(const char** cursor, const char* token);
// out becomes the text before the token and the cursor moves past it;
// without the token out is the whole rest and the cursor moves to the end.
// Returns the cursor.
const char16_t* LTextReadUntil(const char16_t** cursor, const char16_t* token, LString& out);
// The units before the first CR, LF or the end: LTextReadLine assigns them,
// LTextReadLineCore appends them; both return their count.
size_t LTextReadLine(const char16_t* text, LString& out);
size_t LTextReadLineCore(const char16_t* text, LString& out);

// CSV lines: a comma first unless the line is empty. Returns the new length.
uint64_t LCsvAppendField(LStringA& line, const char* text);
// The text in double quotes, inner double quotes doubled, bytes 1 to 31 as
// spaces.
uint64_t LCsvAppendQuotedField(LStringA& line, const char* text);

// Reads comma-separated fields of UTF-16 text, one at a time.
class LCsvFieldReader {
public:
    const char16_t* cursor;
    LString field;
    bool end = false;

    // Skips leading units 1 to 32 and reads the first field.
    explicit LCsvFieldReader(const char16_t* text);
    // Reads the next field; at the end of the text the field becomes empty
    // and the end flag is set.
    void Next();
};

// True for a phone's browser: "iPhone", or "Android" with "Mobile",
// "BlackBerry", "IEMobile" or "Windows CE" (case-sensitive). A tablet's
// Android without "Mobile" is not one. Null counts as empty.
bool LIsMobileUserAgent(const char16_t* userAgent);
