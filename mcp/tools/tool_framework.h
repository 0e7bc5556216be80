#pragma once
// What every MCP tool handler shares: reading its arguments, resolving an
// account, the move and send permissions, the daily send quota, the body
// options and writer, and the two envelopes every tool answers in.
//
// The dispatcher opens "result" in the answer before it calls a handler and
// closes it afterwards; a handler writes exactly one envelope inside it.
#include <cstdint>

#include "foundation/database.h"
#include "foundation/json_value.h"
#include "foundation/json_writer.h"
#include "foundation/lstring.h"

// ---- arguments ----

// A string member as UTF-16 of at most 259 units. False, with an empty
// buffer, when the member is missing, not a string, or longer than that: a
// cut identifier or query would name something else.
bool LMcpGetTextArg(const LJsonValue& args, const char* name, char16_t out[260]);
// A string member of any length; the string is emptied first.
bool LMcpGetStringArg(const LJsonValue& args, const char* name, LString& out);
// A number member truncated toward zero and clamped to lo..hi before it is
// converted (a huge or fractional number never reaches an integer cast).
// False, with *out = def, when the member is not a number.
bool LMcpGetIntArg(const LJsonValue& args, const char* name, int64_t lo, int64_t hi, int64_t def, int64_t* out);
// Seconds since 1970 from a number member (clamped to the 64-bit range);
// false when the member is not a number.
bool LMcpGetTimeArg(const LJsonValue& args, const char* name, int64_t* out);
// True only for the JSON boolean true.
bool LMcpGetTrueArg(const LJsonValue& args, const char* name);
// Removes U+0020 (only) at both ends.
void LMcpTrimSpaces(char16_t text[260]);

// account_id, else account_email looked up among the live accounts (the
// address itself when none has it), else empty; both trimmed of spaces.
void LMcpResolveAccountId(LAppDatabaseAccount& db, const LJsonValue& args, char16_t out[260]);

// ---- envelopes ----

// "content":[{"type":"text","text": summary LF structured}].
void LMcpWriteToolResult(LJsonWriter& answer, const LString& summary, const LStringA& structured);
// "content":[{"type":"text","text": message}],"isError":true.
void LMcpWriteToolError(LJsonWriter& answer, const char16_t* message);
template <class... A>
void LMcpWriteToolErrorF(LJsonWriter& answer, const char16_t* fmt, const A&... a) {
    LString message;
    message.Format(fmt, a...);
    LMcpWriteToolError(answer, message.c_str());
}

// ---- permissions and the send quota ----

// MoveEnabled on, or the tool error "<tool> is disabled. Enable MCP move
// actions on the MCP page first." and false.
bool LMcpCheckMoveEnabled(LJsonWriter& answer, LAppDatabaseAccount& db, const char16_t* tool);

// The day a send slot was taken on: a slot goes back only to that day.
struct LMcpSendSlot {
    char16_t date_utc[16] = {};
};
// One slot of today's (UTC) quota. The day and the count are kept in the
// database under the quota lock, so a restart does not start the day over.
// On refusal the tool error is written. *limit is set in every case.
bool LMcpTakeSendQuota(LJsonWriter& answer, LAppDatabaseAccount& db, const char16_t* tool, int32_t* limit,
                       int32_t* used_today, LMcpSendSlot* slot);
// Gives a slot back to the day it was taken on (nothing once that day has
// passed, or when the count is already 0).
void LMcpReturnSendQuota(LAppDatabaseAccount& db, const LMcpSendSlot& slot);
// For the status route: used today is 0 when the count belongs to another day.
void LMcpGetSendQuota(LAppDatabaseAccount& db, bool* send_enabled, int32_t* limit, int32_t* used_today,
                      char16_t today[16]);
// "send_quota":{"daily_limit","used_today","remaining_today"}.
void LMcpWriteSendQuota(LJsonWriter& answer, int32_t limit, int32_t used_today);

// ---- bodies ----

enum LMcpBodyMode : int32_t { LMcpBodyNone = 0, LMcpBodyText = 1, LMcpBodyHtml = 2, LMcpBodyBoth = 3 };
constexpr int64_t LMcpDefaultBodyChars = 16384;
constexpr int64_t LMcpMaxBodyChars = 16777216;

struct LMcpBodyOptions {
    int32_t mode = LMcpBodyBoth;
    int64_t max_body_chars = LMcpDefaultBodyChars;
};

// include_body, body_format and max_body_chars; false when one is malformed.
bool LMcpGetBodyOptions(const LJsonValue& args, bool include_by_default, LMcpBodyOptions* out);
// "body_text" and/or "body_html" (generated from the other when missing,
// with their "..._generated" flags), then "body_truncated" when cut.
void LMcpWriteBody(LJsonWriter& answer, const LString& text, const LString& html, const LMcpBodyOptions& options);
// At most max_body_chars characters (a surrogate pair is one and is never
// split); true when the text was cut.
bool LMcpWriteBodyField(LJsonWriter& answer, const char* name, const LString& text, const LMcpBodyOptions& options);
// The body_format and max_body_chars properties of an input schema.
void LMcpWriteBodySchema(LJsonWriter& answer);

// ---- rows ----

// A column as a JSON string member: the whole stored text (NULL as "").
void LMcpWriteColumn(LJsonWriter& json, const char* name, LAppDatabaseCursor& cursor, uint64_t index);
// The same cut to 259 characters, for the fields the row shapes bound.
void LMcpWriteColumnField(LJsonWriter& json, const char* name, LAppDatabaseCursor& cursor, uint64_t index);
// A 64-bit column written as a decimal string (0 when missing).
void LMcpWriteColumnInt64(LJsonWriter& json, const char* name, LAppDatabaseCursor& cursor, uint64_t index);
