// search_mail: the full-text index first, a LIKE scan of the newest 5000
// messages when the index is missing, the query yields no term, or the
// index finds nothing. Either way one ranked result is paged, and only the
// page's rows are read whole.
#include <initializer_list>

#include "foundation/string_map.h"
#include "mail/search/email_search.h"
#include "mail/store/fts_index.h"
#include "mcp/tools/search_engine.h"
#include "mcp/tools/tool_framework.h"
#include "mcp/tools/tools.h"

namespace {

constexpr int kLikeWindow = 5000;

struct Filters {
    char16_t account[260] = {};
    char16_t mailbox[260] = {};
};

bool Is(const char16_t* text, const char16_t* word) {
    return LCompareNoCase(text, LTextLength(text), word, LTextLength(word)) == 0;
}

// The word of the list that the text names (case ignored), the first one
// for an empty text, null for anything else.
const char16_t* OneOf(const char16_t* text, std::initializer_list<const char16_t*> words) {
    if (!text[0]) return *words.begin();
    for (const char16_t* w : words)
        if (Is(text, w)) return w;
    return nullptr;
}

constexpr const char16_t* kHeaderColumns = u"{SUBJECT FROM_TEXT TO_TEXT CC_TEXT BODY_PREVIEW}";
constexpr const char16_t* kBodyColumns = u"{BODY_TEXT}";
constexpr std::initializer_list<const char16_t*> kHeaderLike = {u"SUBJECT", u"FROM_TEXT", u"TO_TEXT", u"CC_TEXT",
                                                                u"BODY_PREVIEW"};
constexpr std::initializer_list<const char16_t*> kBodyLike = {u"BODY_TEXT", u"BODY_HTML"};
constexpr std::initializer_list<const char16_t*> kAllLike = {u"SUBJECT",      u"FROM_TEXT", u"TO_TEXT",  u"CC_TEXT",
                                                             u"BODY_PREVIEW", u"BODY_TEXT", u"BODY_HTML"};

void AppendFilters(LString& sql, const Filters& f, const char16_t* prefix) {
    if (f.account[0]) sql.AppendFormat(u" AND %sACCOUNT_ID='%Q'", prefix, f.account);
    if (f.mailbox[0]) sql.AppendFormat(u" AND %sMAILBOX_ID='%Q'", prefix, f.mailbox);
}

// The rows of one tier of the ranked result: key, tier and the sort keys,
// nothing costly. `unless` (a column set) leaves out what an earlier tier
// already found.
LString FtsTier(const Filters& f, int tier, const char16_t* column_set, const char16_t* unless, const LString& match) {
    LString sql;
    sql.Format(u"SELECT m.rowid AS k, %d AS tier, bm25(EMAIL_MESSAGES_FTS) AS score, m.RECEIVED_UTC AS received, m.ID "
               u"AS id FROM %s.EMAIL_MESSAGES_FTS JOIN %s.EMAIL_MESSAGES m ON m.rowid=EMAIL_MESSAGES_FTS.rowid WHERE "
               u"EMAIL_MESSAGES_FTS MATCH '%s' AND m.IS_DELETED=0",
               tier, u"main", u"main", LEmailSearchMatchText(column_set, match));
    AppendFilters(sql, f, u"m.");
    if (unless)
        sql.AppendFormat(u" AND m.rowid NOT IN (SELECT rowid FROM %s.EMAIL_MESSAGES_FTS WHERE EMAIL_MESSAGES_FTS "
                         u"MATCH '%s')",
                         u"main", LEmailSearchMatchText(unless, match));
    return sql;
}

// One tier in time order: the rowids of its live matches within the filters,
// the index's tests first and the live-row test last (SQLite tests the terms
// in this order). `unless` leaves out what an earlier tier already found.
// With many matches "+m.rowid" keeps the planner from driving by the index's
// list: it walks the messages in the page's order and probes the list.
LString TimeTier(LAppDatabaseAccount& db, const Filters& f, const char16_t* column_set, const char16_t* unless,
                 const LString& words, const LString& match, const char16_t* order) {
    LString sql;
    sql.Format(u"SELECT m.rowid FROM %s.EMAIL_MESSAGES m WHERE %s IN (SELECT rowid FROM %s.EMAIL_MESSAGES_FTS "
               u"WHERE EMAIL_MESSAGES_FTS MATCH '%s')",
               u"main", LEmailSearchManyMatches(db, column_set, words, match) ? u"+m.rowid" : u"m.rowid", u"main",
               LEmailSearchMatchText(column_set, match));
    if (unless)
        sql.AppendFormat(u" AND +m.rowid NOT IN (SELECT rowid FROM %s.EMAIL_MESSAGES_FTS WHERE EMAIL_MESSAGES_FTS "
                         u"MATCH '%s')",
                         u"main", LEmailSearchMatchText(unless, match));
    AppendFilters(sql, f, u"m.");
    sql.AppendFormat(u" AND m.IS_DELETED=0 ORDER BY %s", order);
    return sql;
}

// The messages of one tier of the page with their snippets for the tier's
// column set, in the page's order. One statement for the page: the index
// reads its list once and the rowid range bounds it, where a statement a
// message would read a prefix term's whole list again for each.
LString FtsRows(const char16_t* column_set, const LString& match, const int64_t* keys, int32_t n,
                const char16_t* order) {
    int64_t low = keys[0], high = keys[0];
    LString list;
    for (int32_t i = 0; i < n; ++i) {
        low = keys[i] < low ? keys[i] : low;
        high = keys[i] > high ? keys[i] : high;
        list.AppendFormat(u"%s%I64d", i ? u", " : u"", keys[i]);
    }
    LString sql;
    sql.Format(u"SELECT m.ID, m.ACCOUNT_ID, m.MAILBOX_ID, m.SUBJECT, m.FROM_TEXT, m.TO_TEXT, m.BODY_PREVIEW, m.FLAGS, "
               u"m.RECEIVED_UTC, CASE WHEN COALESCE(m.BODY_PREVIEW, '')='' THEN m.BODY_TEXT END, s.snip, s.score FROM "
               u"(SELECT rowid AS k, snippet(EMAIL_MESSAGES_FTS, -1, '[', ']', ' ... ', 12) AS snip, "
               u"bm25(EMAIL_MESSAGES_FTS) AS score FROM %s.EMAIL_MESSAGES_FTS WHERE EMAIL_MESSAGES_FTS MATCH '%s' AND "
               u"rowid>=%I64d AND rowid<=%I64d AND +rowid IN (%s) LIMIT %d) s JOIN %s.EMAIL_MESSAGES m ON m.rowid=s.k "
               u"ORDER BY %s;",
               u"main", LEmailSearchMatchText(column_set, match), low, high, list, n, u"main", order);
    return sql;
}

// "COALESCE(a LIKE ... OR b LIKE ..., 0)": false, not NULL, when no column
// matches and some are NULL, so that NOT of it holds for such a row.
LString LikeAny(std::initializer_list<const char16_t*> columns, const LString& pattern) {
    LString sql;
    sql.Append(u"COALESCE(");
    bool first = true;
    for (const char16_t* column : columns) {
        sql.AppendFormat(u"%s%s LIKE '%%%Q%%' ESCAPE '\\'", first ? u"" : u" OR ", column, pattern);
        first = false;
    }
    sql.Append(u", 0)");
    return sql;
}

// One tier of the LIKE result, bounded to the newest messages of the account
// and mailbox.
LString LikeTier(const Filters& f, int tier, std::initializer_list<const char16_t*> columns,
                 const std::initializer_list<const char16_t*>* unless, const LString& pattern) {
    LString filters;
    AppendFilters(filters, f, u"");
    LString sql;
    sql.Format(u"SELECT rowid AS k, %d AS tier, 0 AS score, RECEIVED_UTC AS received, ID AS id FROM %s.EMAIL_MESSAGES "
               u"WHERE IS_DELETED=0%s AND ID IN (SELECT ID FROM %s.EMAIL_MESSAGES WHERE IS_DELETED=0%s ORDER BY "
               u"RECEIVED_UTC DESC LIMIT %d) AND %s",
               tier, u"main", filters, u"main", filters, kLikeWindow, LikeAny(columns, pattern));
    if (unless) sql.AppendFormat(u" AND NOT %s", LikeAny(*unless, pattern));
    return sql;
}

LString LikeRow(int64_t key) {
    LString sql;
    sql.Format(u"SELECT ID, ACCOUNT_ID, MAILBOX_ID, SUBJECT, FROM_TEXT, TO_TEXT, BODY_PREVIEW, FLAGS, RECEIVED_UTC, "
               u"BODY_TEXT FROM %s.EMAIL_MESSAGES WHERE rowid=%I64d;",
               u"main", key);
    return sql;
}

// One message of a page: its rowid and the tier that found it.
struct PageRow {
    int64_t key = 0;
    int tier = 0;
};

// The page of one ranked result: the tiers in order (the smart scope's
// header hits before its body-only hits), each in the requested order, and
// one LIMIT and OFFSET over the whole, so pages neither repeat nor skip.
// Snippets and bodies are read afterwards for the page's rows only.
int32_t ReadPage(LAppDatabaseAccount& db, const LString& tiers, const char16_t* order, int32_t limit, int32_t offset,
                 PageRow out[50]) {
    LString sql;
    sql.Format(u"SELECT k, tier FROM (%s) ORDER BY tier, %s LIMIT %d OFFSET %d;", tiers, order, limit, offset);
    LAppDatabaseCursor c;
    int32_t n = 0;
    for (c.Query(db, sql.c_str()); c.HasRow() && n < limit && n < 50; c.Step()) {
        out[n].key = c.GetColumnInt64(0);
        out[n].tier = c.GetColumnInt(1);
        ++n;
    }
    return n;
}

int32_t ReadKeys(LAppDatabaseAccount& db, const LString& tier, int32_t limit, int32_t offset, int t, PageRow* out) {
    LString sql;
    sql.Format(u"%s LIMIT %d OFFSET %d;", tier, limit, offset);
    LAppDatabaseCursor c;
    int32_t n = 0;
    for (c.Query(db, sql.c_str()); c.HasRow() && n < limit; c.Step()) {
        out[n].key = c.GetColumnInt64(0);
        out[n].tier = t;
        ++n;
    }
    return n;
}

// The page of the result in time order: the first tier's rows, then (smart
// scope) the body-only tier's, with one LIMIT and OFFSET over both, as the
// ranked result has them. The second tier is read only when the page reaches
// past the end of the first. `found`: the result holds any row at all.
int32_t TimePage(LAppDatabaseAccount& db, const Filters& f, const char16_t* first_set, bool smart,
                 const LString& words, const LString& match, const char16_t* order, int32_t lim, int32_t off,
                 PageRow out[50], bool& found) {
    PageRow probe[1];
    LString first = TimeTier(db, f, first_set, nullptr, words, match, order);
    int32_t n = ReadKeys(db, first, lim, off, 0, out);
    if (n == lim || !smart) {
        found = n > 0 || (off > 0 && ReadKeys(db, first, 1, 0, 0, probe) > 0);
        return n;
    }
    int64_t first_rows = off + n;
    if (n == 0 && off > 0) {
        LString count;
        count.Format(u"SELECT COUNT(*) FROM (%s);", first);
        if (!db.QueryInt64(count.c_str(), &first_rows)) first_rows = 0;
    }
    LString second = TimeTier(db, f, kBodyColumns, kHeaderColumns, words, match, order);
    int32_t skip = off > first_rows ? static_cast<int32_t>(off - first_rows) : 0;
    int32_t m = ReadKeys(db, second, lim - n, skip, 1, out + n);
    found = first_rows > 0 || m > 0 || (skip > 0 && ReadKeys(db, second, 1, 0, 1, probe) > 0);
    return n + m;
}

// More messages in the account and mailbox than the substring scan looks at.
bool BeyondLikeWindow(LAppDatabaseAccount& db, const Filters& f) {
    LString sql;
    sql.Format(u"SELECT COUNT(*) FROM (SELECT 1 FROM %s.EMAIL_MESSAGES WHERE IS_DELETED=0", u"main");
    AppendFilters(sql, f, u"");
    sql.AppendFormat(u" LIMIT %d);", kLikeWindow + 1);
    int64_t n = 0;
    return db.QueryInt64(sql.c_str(), &n) && n > kLikeWindow;
}

}  // namespace

void LMcpToolSearchMail(LMcpAnswer& answer, LAppDatabaseAccount& db, const LMcpArgs& args) {
    char16_t query[260];
    if (!LMcpGetTextArg(args, "query", query) || !query[0]) {
        LMcpWriteToolError(answer, u"search_mail requires a non-empty query string.");
        return;
    }
    LString pattern;
    LMcpEscapeLike(pattern, query);
    Filters f;
    LMcpResolveAccountId(db, args, f.account);
    char16_t mailbox_id[260], mailbox_name[260], resolved_name[260] = {}, scope[260], sort[260];
    LMcpGetTextArg(args, "mailbox_id", mailbox_id);
    LMcpGetTextArg(args, "mailbox_name", mailbox_name);
    bool mailbox_given = mailbox_id[0] || mailbox_name[0];
    if (mailbox_given && !LMcpResolveMailbox(db, f.account, mailbox_id, mailbox_name, f.mailbox, resolved_name)) {
        LMcpWriteToolError(answer, u"search_mail could not resolve mailbox_id/mailbox_name.");
        return;
    }
    int64_t limit = 10, offset = 0;
    LMcpGetIntArg(args, "limit", 1, 50, 10, &limit);
    LMcpGetIntArg(args, "offset", 0, 5000, 0, &offset);
    LMcpGetTextArg(args, "scope", scope);
    LMcpTrimSpaces(scope);
    const char16_t* scope_name = OneOf(scope, {u"smart", u"headers", u"body", u"all"});
    if (!scope_name) {
        LMcpWriteToolError(answer, u"search_mail scope must be smart, headers, body, or all.");
        return;
    }
    LMcpGetTextArg(args, "sort", sort);
    LMcpTrimSpaces(sort);
    const char16_t* sort_name = OneOf(sort, {u"newest", u"oldest", u"relevance"});
    if (!sort_name) {
        LMcpWriteToolError(answer, u"search_mail sort must be newest, oldest, or relevance.");
        return;
    }
    int32_t lim = static_cast<int32_t>(limit), off = static_cast<int32_t>(offset);
    bool oldest = Is(sort_name, u"oldest");

    LStringA text;
    LJsonWriter json(text);
    json.BeginObject();
    json.BeginArrayNamed("emails");
    LString match;
    bool fts = LEmailFtsTableExists(db) && LMcpBuildFtsMatch(query, match);
    const char16_t* mode = u"like";
    int32_t count = 0;
    LMcpSeenIds seen;
    bool smart = Is(scope_name, u"smart");
    bool fts_found = false;
    PageRow page[50];
    if (fts) {
        bool relevance = Is(sort_name, u"relevance");
        // The column set each tier matches and shows its snippet for.
        const char16_t* sets[2] = {Is(scope_name, u"body") ? kBodyColumns
                                   : Is(scope_name, u"all") ? nullptr
                                                            : kHeaderColumns,
                                   kBodyColumns};
        // A tier's rows in the order of the page (the row statement's names).
        const char16_t* row_order = oldest      ? u"m.RECEIVED_UTC ASC, m.ID ASC"
                                    : relevance ? u"s.score, m.RECEIVED_UTC DESC, m.ID DESC"
                                                : u"m.RECEIVED_UTC DESC, m.ID DESC";
        int32_t n = 0;
        if (relevance) {
            // Ranking needs every match's score: the tiers are ranked whole.
            const char16_t* order = u"score, received DESC, id DESC";
            LString tiers = FtsTier(f, 0, sets[0], nullptr, match);
            if (smart) tiers.AppendFormat(u" UNION ALL %s", FtsTier(f, 1, kBodyColumns, kHeaderColumns, match));
            n = ReadPage(db, tiers, order, lim, off, page);
            // A page past the end of the index's result is empty: the scan's
            // result is another ranking, and its rows would repeat earlier pages.
            if (n == 0 && off > 0 && ReadPage(db, tiers, order, 1, 0, page) > 0) fts_found = true;
        } else {
            LString words;
            LEmailSearchParseQuery(query, words, false);
            n = TimePage(db, f, sets[0], smart, words, match, row_order, lim, off, page, fts_found);
        }
        for (int32_t i = 0; i < n;) {
            int64_t keys[50] = {};
            int32_t k = 0;
            for (int tier = page[i].tier; i < n && page[i].tier == tier; ++i) keys[k++] = page[i].key;
            count = LMcpWriteSearchRow(json, db, FtsRows(sets[page[i - 1].tier], match, keys, k, row_order), seen,
                                       count, lim, true);
        }
        mode = u"fts";
    }
    bool like_window_full = false;
    if (count == 0 && !fts_found) {
        if (fts) mode = u"like_fallback";
        if (!oldest) sort_name = u"newest";
        const char16_t* order = oldest ? u"received ASC, id ASC" : u"received DESC, id DESC";
        seen.Clear();
        LString tiers = LikeTier(f, 0,
                                 Is(scope_name, u"body")  ? kBodyLike
                                 : Is(scope_name, u"all") ? kAllLike
                                                          : kHeaderLike,
                                 nullptr, pattern);
        if (smart) tiers.AppendFormat(u" UNION ALL %s", LikeTier(f, 1, kBodyLike, &kHeaderLike, pattern));
        int32_t n = ReadPage(db, tiers, order, lim, off, page);
        for (int32_t i = 0; i < n; ++i)
            count = LMcpWriteSearchRow(json, db, LikeRow(page[i].key), seen, count, lim, false);
        like_window_full = BeyondLikeWindow(db, f);
    }
    json.EndArray();
    if (f.account[0]) json.String("account_id", f.account);
    if (mailbox_given) {
        json.String("mailbox_id", f.mailbox);
        json.String("mailbox_name", resolved_name);
    }
    json.String("scope", scope_name);
    json.String("sort", sort_name);
    json.Int("limit", lim);
    json.Int("offset", off);
    json.String("search_mode", mode);
    if (like_window_full) {
        json.BeginObjectNamed("substring_scan");
        json.Int("newest_messages_searched", kLikeWindow);
        json.Bool("complete", false);
        json.StringUTF8("note", "The substring scan looks at the newest 5000 messages of the account and mailbox "
                                "only; older messages were not searched. Narrow the search with a mailbox, an account "
                                "or whole words the full-text index can match.");
        json.EndObject();
    }
    if (fts) json.String("match_query", match.c_str());
    int32_t indexed = 0, total = 0;
    bool complete = false;
    // The state row says whether the index is complete; only an incomplete
    // one is counted (two passes over an index).
    int64_t max_rowid = 0, next_rowid = 0;
    if (LEmailFtsGetBackfillState(db, max_rowid, next_rowid) && next_rowid < max_rowid &&
        LEmailFtsGetCoverage(db, indexed, total, complete) && !complete) {
        json.BeginObjectNamed("index_status");
        json.Bool("complete", false);
        json.Int("messages_indexed", indexed);
        json.Int("messages_total", total);
        json.EndObject();
    }
    json.EndObject();
    LString summary;
    summary.Format(u"Found %d email(s) for query \"%s\" using %s scope.", count, query, scope_name);
    if (like_window_full) summary.Append(u" The substring scan searched only the newest 5000 messages.");
    LMcpWriteToolResult(answer, summary, text);
}
