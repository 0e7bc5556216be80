// search_mail: the full-text index first, a LIKE scan of the newest 5000
// messages when the index is missing, the query yields no term, or the
// index finds nothing.
#include <initializer_list>

#include "foundation/string_map.h"
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

// One FTS5 statement; column_set null for the all scope.
LString FtsStatement(const Filters& f, const char16_t* column_set, const LString& match, const char16_t* order,
                     int32_t limit, int32_t offset) {
    LString sql;
    sql.Format(u"SELECT m.ID, m.ACCOUNT_ID, m.MAILBOX_ID, m.SUBJECT, m.FROM_TEXT, m.TO_TEXT, m.BODY_PREVIEW, m.FLAGS, "
               u"m.RECEIVED_UTC, m.BODY_TEXT, snippet(EMAIL_MESSAGES_FTS, -1, '[', ']', ' ... ', 12), "
               u"bm25(EMAIL_MESSAGES_FTS) FROM %s.EMAIL_MESSAGES_FTS JOIN %s.EMAIL_MESSAGES m ON "
               u"m.rowid=EMAIL_MESSAGES_FTS.rowid WHERE EMAIL_MESSAGES_FTS MATCH '",
               u"main", u"main");
    if (column_set)
        sql.AppendFormat(u"%s : (%Q)'", column_set, match);
    else
        sql.AppendFormat(u"%Q'", match);
    sql.Append(u" AND m.IS_DELETED=0");
    if (f.account[0]) sql.AppendFormat(u" AND m.ACCOUNT_ID='%Q'", f.account);
    if (f.mailbox[0]) sql.AppendFormat(u" AND m.MAILBOX_ID='%Q'", f.mailbox);
    sql.AppendFormat(u" ORDER BY %s LIMIT %d OFFSET %d;", order, limit, offset);
    return sql;
}

// One LIKE statement over the given columns, bounded to the newest messages
// of the account and mailbox.
LString LikeStatement(const Filters& f, std::initializer_list<const char16_t*> columns, const LString& pattern,
                      const char16_t* order, int32_t limit, int32_t offset) {
    LString filters;
    if (f.account[0]) filters.AppendFormat(u" AND ACCOUNT_ID='%Q'", f.account);
    if (f.mailbox[0]) filters.AppendFormat(u" AND %s='%Q'", u"MAILBOX_ID", f.mailbox);
    LString sql;
    sql.Format(u"SELECT ID, ACCOUNT_ID, MAILBOX_ID, SUBJECT, FROM_TEXT, TO_TEXT, BODY_PREVIEW, FLAGS, RECEIVED_UTC, "
               u"BODY_TEXT FROM %s.EMAIL_MESSAGES WHERE IS_DELETED=0%s AND ID IN (SELECT ID FROM %s.EMAIL_MESSAGES "
               u"WHERE IS_DELETED=0%s ORDER BY RECEIVED_UTC DESC LIMIT %d) AND (",
               u"main", filters, u"main", filters, kLikeWindow);
    bool first = true;
    for (const char16_t* column : columns) {
        sql.AppendFormat(u"%s%s LIKE '%%%Q%%' ESCAPE '\\'", first ? u"" : u" OR ", column, pattern);
        first = false;
    }
    sql.AppendFormat(u") ORDER BY %s LIMIT %d OFFSET %d;", order, limit, offset);
    return sql;
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
    if (fts) {
        const char16_t* order = oldest                         ? u"m.RECEIVED_UTC ASC"
                                : Is(sort_name, u"relevance") ? u"bm25(EMAIL_MESSAGES_FTS)"
                                                              : u"m.RECEIVED_UTC DESC";
        count = LMcpParseScope(json, db, scope_name,
                               FtsStatement(f, u"{SUBJECT FROM_TEXT TO_TEXT CC_TEXT BODY_PREVIEW}", match, order, lim, off),
                               FtsStatement(f, u"{BODY_TEXT}", match, order, lim, off),
                               FtsStatement(f, nullptr, match, order, lim, off), seen, lim, true);
        mode = u"fts";
    }
    if (count == 0) {
        if (fts) mode = u"like_fallback";
        if (!oldest) sort_name = u"newest";
        const char16_t* order = oldest ? u"RECEIVED_UTC ASC" : u"RECEIVED_UTC DESC";
        seen.Clear();
        count = LMcpParseScope(
            json, db, scope_name,
            LikeStatement(f, {u"SUBJECT", u"FROM_TEXT", u"TO_TEXT", u"CC_TEXT", u"BODY_PREVIEW"}, pattern, order, lim, off),
            LikeStatement(f, {u"BODY_TEXT", u"BODY_HTML"}, pattern, order, lim, off),
            LikeStatement(f, {u"SUBJECT", u"FROM_TEXT", u"TO_TEXT", u"CC_TEXT", u"BODY_PREVIEW", u"BODY_TEXT", u"BODY_HTML"},
                          pattern, order, lim, off),
            seen, lim, false);
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
    if (fts) json.String("match_query", match.c_str());
    int32_t indexed = 0, total = 0;
    bool complete = false;
    if (LEmailFtsGetCoverage(db, indexed, total, complete) && !complete) {
        json.BeginObjectNamed("index_status");
        json.Bool("complete", false);
        json.Int("messages_indexed", indexed);
        json.Int("messages_total", total);
        json.EndObject();
    }
    json.EndObject();
    LString summary;
    summary.Format(u"Found %d email(s) for query \"%s\" using %s scope.", count, query, scope_name);
    LMcpWriteToolResult(answer, summary, text);
}
