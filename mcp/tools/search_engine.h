#pragma once
// The search machinery of the MCP tools: sort keys, mailbox resolution,
// LIKE escaping, the translation of a free-text query into an FTS5 MATCH
// expression, and the runner and row writer of search statements.
#include <cstdint>

#include "foundation/database.h"
#include "foundation/json_writer.h"
#include "foundation/lstring.h"
#include "mail/store/message_store.h"  // the store's preview

// The ORDER BY text of an advanced-search sort key (case ignored); null for
// an unknown key.
const char16_t* LMcpSortOrder(const char16_t* key);

// The live mailbox named by ID and/or IMAP name (case ignored), within the
// account when one is given. False when both names are empty or no mailbox
// with a non-empty ID and name matches.
bool LMcpResolveMailbox(LAppDatabaseAccount& db, const char16_t* account_id, const char16_t* mailbox_id,
                        const char16_t* mailbox_name, char16_t out_id[260], char16_t out_name[260]);

// A backslash before every "%", "_" and backslash, for LIKE ... ESCAPE '\'.
void LMcpEscapeLike(LString& out, const char16_t* text);

// At most 16 terms: words as prefixes, "phrases", -negated terms and OR.
// False when the query yields no term.
bool LMcpBuildFtsMatch(const char16_t* query, LString& out);

// The IDs already written in one call (at most 50, compared on their first
// 15 characters), so a message found twice is listed once.
class LMcpSeenIds {
public:
    bool Contains(const char16_t* id) const;
    void Add(const char16_t* id);
    void Clear() { count_ = 0; }

private:
    char16_t ids_[50][16] = {};
    int count_ = 0;
};

// Steps the statement and writes each unseen row as a search row until the
// limit; returns the new count.
int32_t LMcpWriteSearchRow(LJsonWriter& json, LAppDatabaseAccount& db, const LString& statement, LMcpSeenIds& seen,
                           int32_t count, int32_t limit, bool fts);
