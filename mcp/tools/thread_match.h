#pragma once
// Conversations are rebuilt at query time: the store keeps no thread table.
// These are the rules that decide whether two messages belong together and
// what of a message is its own new text; pure functions over texts.
#include <cstdint>

#include "foundation/lstring.h"

// The subject without leading labels such as "Re:", "Fwd:", "AW:" or
// "Re[2]:" (any 1 to 10 characters without blanks before a colon), at most
// 259 characters.
void LMcpNormalizeSubject(const char16_t* subject, char16_t out[260]);
// Case-insensitive equality of two normalised subjects; empty never matches.
bool LMcpSubjectsMatch(const char16_t* a, const char16_t* b);

// The four header identifiers of one message (null counts as empty).
struct LMcpThreadHeaders {
    const char16_t* thread_id = nullptr;
    const char16_t* message_id = nullptr;
    const char16_t* in_reply_to = nullptr;
    const char16_t* references = nullptr;
};
// Whether the first message (the anchor or thread) and the second (the
// candidate) are linked through their identifiers; empty values never match.
bool LMcpHeadersLinked(const LMcpThreadHeaders& first, const LMcpThreadHeaders& second);

// How many of the (at most 6) lines from text on look like mail header
// lines ("Name: value"), counted until the first line that does not.
int32_t LMcpCountHeaderLines(const char16_t* text);
// The newly written text of a message: lines up to the quoted history, a
// signature rule or a quoted header block, at about 600 characters; the
// preview when nothing is left.
void LMcpCompactText(const char16_t* preview, const LString& body, LString& out);
