#pragma once
// The IMAP response reader: pure functions over one reply line (no socket),
// so that every shape of server answer can be tested on its own. The
// connection code (imap_client.cpp) reads lines and hands them here.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/lstring.h"

enum class LImapLineKind { Untagged, Continuation, Tagged, Other };

// By the first byte only: '*', '+', 'A'.
LImapLineKind LImapClassifyLine(std::string_view line);
// A tagged line ('A' first) that answers the command of `tag` ("A007"):
// its first word is the whole tag. A stray tagged line of another command
// must never be taken for the answer.
bool LImapIsTagOf(std::string_view line, std::string_view tag);
// The n-th word (0-based); words are split at bytes below '!'.
std::string_view LImapWord(std::string_view line, size_t n);
// What follows the n-th word and the blanks after it.
std::string_view LImapRestAfterWord(std::string_view line, size_t n);
// A piece of a reply for a message: UTF-8 to UTF-16, at most 259 units.
LString LImapText(std::string_view utf8);
// Copies at most 259 bytes into a fixed field, terminated.
void LImapCopyField(char out[260], std::string_view text);

// A LIST line: true with the mailbox name when it names a selectable box.
bool LImapParseListLine(std::string_view line, LStringA& name);
// One astring at the cursor (quoted with backslash escapes, or an atom;
// NIL is empty); advances the cursor. False at the end of the line.
bool LImapReadString(std::string_view& cursor, LStringA& out);
// The decimal length between braces; false unless digits only and fits.
bool LImapParseLiteralLength(std::string_view digits, uint64_t& length);
// "{digits}" (or LITERAL+'s "{digits+}") ending a line: a literal follows.
bool LImapTrailingLiteral(std::string_view line, std::string_view& digits);
// The literal announced at the end of a FETCH line; false when none.
bool LImapFindLiteral(std::string_view line, std::string_view& digits);
// A FETCH line whose BODY[] is NIL or "".
bool LImapFetchBodyIsNil(std::string_view line);
// "[APPENDUID validity uid]" in a tagged OK text; both non-zero.
bool LImapParseAppendUid(std::string_view text, uint32_t& uidValidity, uint32_t& uid);
// "[COPYUID validity source-uid destination-uid]" for one message anywhere in
// the text; both non-zero. A set of several UIDs is not one message's.
bool LImapParseCopyUid(std::string_view text, uint32_t& uidValidity, uint32_t& uid);
// What one "* n FETCH (...)" line tells about a message, for the items
// UID, RFC822.SIZE, FLAGS and MODSEQ (those present are marked).
struct LImapFetchInfo {
    uint32_t uid = 0;
    bool hasSize = false;
    uint64_t size = 0;
    bool hasFlags = false;
    std::string flags;  // blank-separated, as the server wrote them, without \Recent
    uint64_t modseq = 0;
};
// False unless the line is an untagged FETCH naming a UID.
bool LImapParseFetchLine(std::string_view line, LImapFetchInfo& info);
// The unsigned decimal number after a keyword anywhere in the line.
bool LImapNumberAfter(std::string_view line, std::string_view keyword, uint32_t& value);
// Non-zero UIDs of a "* SEARCH" line, in order; stops at the first non-number.
template <class F>
void LImapForEachSearchUid(std::string_view line, F&& each);
// The capability text holds " NAME " (upper-cased name).
bool LImapCapabilityHas(std::string_view capabilities, std::string_view name);

// Modified UTF-7 mailbox names (RFC 3501 5.1.3) to UTF-8 and back. Decode
// fails on anything that is not valid modified UTF-7.
bool LImapDecodeMailboxName(std::string_view wire, std::string& out);
std::string LImapEncodeMailboxName(std::string_view utf8);
// The name a user sees: decoded when the server wrote canonical modified
// UTF-7, else the server's bytes unchanged.
std::string LImapDisplayMailboxName(std::string_view wire);

// A mailbox name (or any text) for use inside double quotes: backslash and
// double quote escaped. False, with an empty field, when the text holds CR,
// LF or NUL or does not fit 259 bytes: a name is never cut.
bool LImapQuoteMailbox(std::string_view text, char out[260]);
// An argument of LOGIN: a quoted string, or a synchronising literal when it
// holds 8-bit bytes. False for CR, LF or NUL, which neither form may carry.
bool LImapLoginArgument(std::string_view text, LStringA& out, bool& literal);

template <class F>
void LImapForEachSearchUid(std::string_view line, F&& each) {
    size_t i = 0;
    while (true) {
        while (i < line.size() && line[i] == ' ') ++i;
        if (i >= line.size() || line[i] < '0' || line[i] > '9') return;
        uint64_t v = 0;
        while (i < line.size() && line[i] >= '0' && line[i] <= '9') {
            v = v * 10 + uint64_t(line[i++] - '0');
            if (v > 0xFFFFFFFFull) return;
        }
        if (i < line.size() && line[i] != ' ') return;
        if (v) each(uint32_t(v));
    }
}
