#pragma once
// The pieces the structured search, listing, thread and statistics tools
// share: string-or-array filters, the time window, the preview column and
// the advanced row writer.
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/database.h"
#include "foundation/json_value.h"
#include "foundation/json_writer.h"
#include "foundation/lstring.h"

// A filter given as one string or an array of strings: the non-empty
// entries, trimmed of spaces, each at most 259 characters.
struct LMcpStringList {
    std::vector<std::u16string> items;
};
constexpr int32_t LMcpMaxListEntries = 100;
enum LMcpListStatus : int { LMcpListAbsent, LMcpListGiven, LMcpListNotString, LMcpListEmptyEntry, LMcpListTooLong };
// Absent for a missing member, an empty string or an empty array (none of
// them filters anything).
int LMcpGetStringOrArray(const LJsonValue& args, const char* name, LMcpStringList& out);
// The entries as a named array.
void LMcpWriteStringOrArray(LJsonWriter& json, const char* name, const LMcpStringList& list);

// after_utc and before_utc, each in force when given as a number.
struct LMcpTimeWindow {
    bool after_given = false;
    bool before_given = false;
    int64_t after = 0;
    int64_t before = 0;
};
// Reads the window; with both ends and the end before the start writes
// "<tool> after_utc must be less than or equal to before_utc." and fails.
bool LMcpGetTimeWindow(LJsonWriter& answer, const LJsonValue& args, const char16_t* tool, LMcpTimeWindow& w);
// " AND <column>>=after" and " AND <column><=before", each when in force.
void LMcpAppendTimeWindow(LString& sql, const char16_t* column, const LMcpTimeWindow& w);
// "after_utc" and "before_utc", each when in force.
void LMcpWriteTimeWindow(LJsonWriter& json, const LMcpTimeWindow& w);

// "preview": the stored preview, else one made from the text body (at most
// 511 characters).
void LMcpWritePreview(LJsonWriter& json, LAppDatabaseCursor& c, uint64_t preview_column, uint64_t body_column);
// Writes every row of the statement as an advanced search row; the count.
int32_t LMcpWriteAdvancedRows(LJsonWriter& json, LAppDatabaseAccount& db, const LString& statement);

// A 64-bit count as a bare JSON number (counts stay far below 2^53, where
// readers would round).
void LMcpWriteCount(LJsonWriter& json, const char* name, int64_t count);

// The account (account_id or account_email) and the optional mailbox
// (mailbox_id and/or mailbox_name, trimmed) a tool works within.
struct LMcpMailboxScope {
    char16_t account[260] = {};
    char16_t mailbox[260] = {};
    char16_t mailbox_name[260] = {};
    bool mailbox_given = false;
};
// Reads the scope and resolves a given mailbox within the account; when it
// does not resolve writes "<tool> could not resolve mailbox_id/mailbox_name."
// and fails. required: a missing mailbox fails with "<tool> requires
// mailbox_id or mailbox_name.".
bool LMcpGetMailboxScope(LJsonWriter& answer, LAppDatabaseAccount& db, const LJsonValue& args, const char16_t* tool,
                         bool required, LMcpMailboxScope& scope);
// "mailbox_id" and "mailbox_name" when a mailbox was given.
void LMcpWriteMailboxScope(LJsonWriter& json, const LMcpMailboxScope& scope);

// "text", "html", "both" or "none".
const char16_t* LMcpBodyFormatName(int32_t mode);
// "id", "account_id", "mailbox_id", "mailbox_name", "subject", "from" and
// "to" from the first seven columns.
void LMcpWriteRowHead(LJsonWriter& json, LAppDatabaseCursor& c);
