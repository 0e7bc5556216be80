#pragma once
// Search of the stored mail for the browser interface (route emailsearch):
// a free-text query turned into an FTS5 expression by a small grammar, exact
// and substring filters, paging, and a substring re-run when the full-text
// search finds nothing.
#include <cstdint>

#include "foundation/database.h"
#include "foundation/json_writer.h"
#include "foundation/lstring.h"

class LJsonValue;

constexpr int LEmailSearchMaxTerms = 16;

// The request as read from its JSON object: texts of at most 259 units
// (missing or not a string: empty), numbers with their presence.
struct LEmailSearchRequest {
    char16_t query[260] = {}, scope[260] = {}, sort[260] = {};
    char16_t account_id[260] = {}, mailbox_id[260] = {}, mailbox_name[260] = {};
    char16_t from[260] = {}, to[260] = {}, subject[260] = {}, body[260] = {};
    char16_t filename[260] = {}, flags[260] = {};
    int32_t limit = 25, offset = 0;
    bool has_after = false, has_before = false, has_attachments_given = false;
    int64_t after_utc = 0, before_utc = 0;
    bool has_attachments = false;
};
void LEmailSearchReadRequest(const LJsonValue& body, LEmailSearchRequest& r);

// True when at least one term was produced. Every term reaches the
// expression as an FTS5 string (inner double quotes doubled), so no query
// text can become FTS5 syntax.
// `prefix` false leaves the words' "*" out: the expression then matches
// whole words only, which the index answers without merging the lists of
// every word a prefix begins (an estimate of how common a query is).
bool LEmailSearchParseQuery(const char16_t* query, LString& expression, bool prefix = true);

// Column sets of the scopes (constants; null: every column).
const char16_t* LEmailSearchColumnSet(const char16_t* scope);
// With `probe` the clause only tests membership in the index's list, so the
// planner walks the messages in the requested order instead of fetching and
// sorting every match: the faster road when the matches are many.
void LEmailSearchFtsClause(LString& sql, const char16_t* column_set, const LString& expression, bool probe = false);
// The text after MATCH for an expression, limited to a column set when one
// is given (quoted for a statement's string).
LString LEmailSearchMatchText(const char16_t* column_set, const LString& expression);
// From this many matches on, a page in time order is found by walking the
// messages newest (or oldest) first and probing the index's list. Fetching
// a match to sort it reads its row, and the live-row test reads on through
// the bodies' overflow pages to IS_DELETED: some four pages a match, where
// the walk reads a time index (a few hundred entries a page) and only the
// rows it keeps. A walk past old-only matches costs at most one pass over
// that index: about what fetching a hundred matches costs.
constexpr int32_t LEmailSearchWalkFromMatches = 100;
// True when the index matches at least LEmailSearchWalkFromMatches rows of
// `words` (the query parsed without prefix stars) or of `expression`. Either
// way the answer of a search is the same; only its plan differs.
bool LEmailSearchManyMatches(LAppDatabaseAccount& db, const char16_t* column_set, const LString& words,
                             const LString& expression);
void LEmailSearchLikeClause(LString& sql, const char16_t* escaped, const char16_t* scope);

// Appends the SELECT (of the answer's columns, or of rowids only) and every
// filter of the request; has_filter tells whether any member added a clause.
void LEmailSearchRun(LString& sql, const LEmailSearchRequest& r, bool& has_filter, bool use_fts,
                     const LString& expression, const LString& escaped_query, const char16_t* scope,
                     bool rowids_only = false, bool probe_fts = false);

// The answer's columns for the rows a rowid statement chose, in its order.
void LEmailSearchPageOf(LString& sql, const LString& rowids, const char16_t* order);

// Runs the statement and writes one object per row; the row count, or -1
// when the statement was refused (an FTS5 expression the index rejects).
int32_t LEmailSearchWriteRow(LAppDatabaseAccount& db, const LString& sql, LJsonWriter& json);

// Writes the members of the answer object (the caller opens and closes it).
void LEmailSearchHandle(LAppDatabaseAccount* db, const LJsonValue& body, LJsonWriter& json);
