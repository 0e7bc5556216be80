// The route emailsearch: the answer object with its rows, paging values,
// search mode and the state of the full-text index.
#include "foundation/json_value.h"
#include "foundation/json_writer.h"
#include "mail/routes/route_guard.h"
#include "mail/search/email_search.h"
#include "mail/store/fts_index.h"
#include "mail/store/message_store.h"
#include "web/http/routes.h"
#include "web/http/weblet.h"

namespace {

bool IsOneOf(const char16_t* value, std::initializer_list<const char16_t*> names) {
    for (const char16_t* name : names) {
        const char16_t *a = value, *b = name;
        while (*a && *b && (*a >= u'A' && *a <= u'Z' ? *a + 32 : *a) == *b) ++a, ++b;
        if (!*a && !*b) return true;
    }
    return false;
}

// The rowid breaks ties, so that pages of equal times neither repeat nor
// skip a message.
const char16_t* SortOrder(const char16_t* sort) {
    if (IsOneOf(sort, {u"oldest"})) return u"m.RECEIVED_UTC ASC, m.rowid ASC";
    if (IsOneOf(sort, {u"subject"})) return u"m.SUBJECT COLLATE NOCASE ASC, m.rowid ASC";
    return u"m.RECEIVED_UTC DESC, m.rowid DESC";
}

bool ManyMatches(LAppDatabaseAccount* db, const LEmailSearchRequest& r, const char16_t* scope,
                 const LString& expression) {
    if (!db || !db->handle || IsOneOf(r.sort, {u"subject"})) return false;
    LString words;
    LEmailSearchParseQuery(r.query, words, false);
    return LEmailSearchManyMatches(*db, LEmailSearchColumnSet(scope), words, expression);
}

// -1 when the statement cannot run (no database, or an expression the
// index refuses): the caller treats that as no rows.
int32_t RunPage(LAppDatabaseAccount* db, const LEmailSearchRequest& r, bool use_fts, const LString& expression,
                const LString& escaped, const char16_t* scope, const char* array, LJsonWriter& json,
                bool& has_filter) {
    // The page is chosen on rowids and sort keys alone; sorting whole rows
    // would carry every match's texts through the sorter for a common word.
    LString rowids;
    bool walk = use_fts && ManyMatches(db, r, scope, expression);
    LEmailSearchRun(rowids, r, has_filter, use_fts, expression, escaped, scope, true, walk);
    if (!has_filter) return 0;
    rowids.AppendFormat(u" ORDER BY %s LIMIT %d OFFSET %d", SortOrder(r.sort), r.limit, r.offset);
    LString sql;
    LEmailSearchPageOf(sql, rowids, SortOrder(r.sort));
    json.BeginArrayNamed(array);
    int32_t rows = db && db->handle ? LEmailSearchWriteRow(*db, sql, json) : -1;
    json.EndArray();
    return rows;
}

void LWebEmailSearch(Weblet& request, LJsonValue& body) {
    if (!LMailRouteAllowed(request)) return;
    LMailRouteReplyObject(request, body, LEmailSearchHandle);
}

[[maybe_unused]] const LWebletRoute* g_route = LWebletRegisterJsonRoute(u"emailsearch", LWebEmailSearch, 1);

}  // namespace

int32_t LEmailSearchWriteRow(LAppDatabaseAccount& db, const LString& sql, LJsonWriter& json) {
    LAppDatabaseCursor c;
    c.Query(db, sql.c_str());
    if (!c.statement) return -1;
    int32_t rows = 0;
    char16_t text[260];
    LString body;
    static const char* const kNames[] = {"id",      "account_id", "account_email", "mailbox_id", "mailbox_name",
                                         "subject", "from",       "to",            "cc"};
    for (; c.HasRow(); c.Step()) {
        json.BeginObject();
        for (int i = 0; i < 9; ++i) {
            c.GetColumnText(static_cast<uint64_t>(i), u"", text);
            json.String(kNames[i], text);
        }
        c.GetColumnText(9, u"", text);
        if (!text[0]) {
            c.GetColumnString(13, body);
            LEmailMakePreviewText(body, LString(), text, 260);
        }
        json.String("preview", text);
        c.GetColumnText(10, u"", text);
        json.String("flags", text);
        json.Int64("received_utc", c.GetColumnInt64(11));
        json.Bool("has_attachments", c.GetColumnInt(12) != 0);
        json.EndObject();
        ++rows;
    }
    // A MATCH expression is checked when the first row is stepped: a refusal
    // there ends the statement with an error instead of "done".
    int rc = sqlite3_errcode(db.handle);
    if (rows == 0 && rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) return -1;
    return rows;
}

void LEmailSearchHandle(LAppDatabaseAccount* db, const LJsonValue& body, LJsonWriter& json) {
    LEmailSearchRequest r;
    LEmailSearchReadRequest(body, r);
    bool scope_valid = IsOneOf(r.scope, {u"all", u"headers", u"body"});
    bool sort_valid = IsOneOf(r.sort, {u"newest", u"oldest", u"subject"});
    const char16_t* scope = scope_valid ? r.scope : u"all";
    LString expression, escaped;
    bool index = db && db->handle && LEmailFtsTableExists(*db);
    bool use_fts = r.query[0] && index && LEmailSearchParseQuery(r.query, expression);
    LEmailSearchEscapeLike(escaped, r.query);

    // The filter test needs no rows: build the statement once before
    // writing anything so that the refusal is the whole answer.
    {
        LString probe;
        bool has_filter = false;
        LEmailSearchRun(probe, r, has_filter, use_fts, expression, escaped, scope);
        if (!has_filter) {
            json.Int("errorcode", 400);
            json.StringUTF8("errormsg", "EMAILSEARCH_FILTER_REQUIRED");
            json.StringUTF8("error_key", "EMAILSEARCH_FILTER_REQUIRED");
            return;
        }
    }
    json.Int("errorcode", 0);
    json.StringUTF8("errormsg", "OK");
    bool has_filter = false;
    int32_t count = RunPage(db, r, use_fts, expression, escaped, scope, "emails", json, has_filter);
    if (use_fts && count <= 0) {
        count = RunPage(db, r, false, expression, escaped, scope, "fallback_emails", json, has_filter);
        json.StringUTF8("search_mode", "like_fallback");
    } else {
        json.StringUTF8("search_mode", use_fts ? "fts" : "like");
    }
    json.Int("count", count < 0 ? 0 : count);
    json.Int("limit", r.limit);
    json.Int("offset", r.offset);
    json.String("scope", scope);
    json.String("sort", sort_valid ? r.sort : u"newest");
    if (use_fts) json.String("match_query", expression.c_str());
    int32_t indexed = 0, total = 0;
    bool complete = false;
    if (db && db->handle && LEmailFtsGetCoverage(*db, indexed, total, complete)) {
        json.BeginObjectNamed("index_status");
        json.Bool("complete", complete);
        json.Int("messages_indexed", indexed);
        json.Int("messages_total", total);
        json.EndObject();
    }
}
