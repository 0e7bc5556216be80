// The search statement: every text of the request reaches SQL through %Q
// (LIKE values escaped first), column sets and sort orders are constants,
// and times stay 64-bit.
#include "mail/search/email_search.h"
#include "mail/store/fts_index.h"

namespace {

constexpr const char16_t* kColumns =
    u"SELECT m.ID, m.ACCOUNT_ID, COALESCE(ac.EMAIL, ''), m.MAILBOX_ID, COALESCE(b.IMAP_NAME, ''), m.SUBJECT, "
    u"m.FROM_TEXT, m.TO_TEXT, m.CC_TEXT, m.BODY_PREVIEW, m.FLAGS, m.RECEIVED_UTC, m.HAS_ATTACHMENTS, "
    // The body is only needed to make a preview where the store has none;
    // reading it for every row would drag whole message bodies through.
    u"CASE WHEN COALESCE(m.BODY_PREVIEW, '')='' THEN m.BODY_TEXT END";
constexpr const char16_t* kTables =
    u" FROM %s.EMAIL_MESSAGES m LEFT JOIN %s.EMAILACCOUNTS ac ON ac.ID=m.ACCOUNT_ID LEFT JOIN %s.EMAILMAILBOXES b "
    u"ON b.ID=m.MAILBOX_ID WHERE ";
constexpr const char16_t* kFrom =
    u" FROM %s.EMAIL_MESSAGES m LEFT JOIN %s.EMAILACCOUNTS ac ON ac.ID=m.ACCOUNT_ID LEFT JOIN %s.EMAILMAILBOXES b "
    u"ON b.ID=m.MAILBOX_ID WHERE m.IS_DELETED=0";

constexpr const char16_t* kHeaderColumns[] = {u"SUBJECT",  u"FROM_TEXT",     u"TO_TEXT",     u"CC_TEXT",
                                              u"BCC_TEXT", u"REPLY_TO_TEXT", u"BODY_PREVIEW"};
constexpr const char16_t* kBodyColumns[] = {u"BODY_PREVIEW", u"BODY_TEXT", u"BODY_HTML"};

bool ScopeIs(const char16_t* scope, const char16_t* name) {
    for (; *scope && *name; ++scope, ++name) {
        char16_t c = *scope >= u'A' && *scope <= u'Z' ? static_cast<char16_t>(*scope + 32) : *scope;
        if (c != *name) return false;
    }
    return !*scope && !*name;
}

void AppendLikeTest(LString& sql, const char16_t* column, const char16_t* escaped, bool first) {
    sql.AppendFormat(u"%sCOALESCE(m.%s, '') LIKE '%%%Q%%' ESCAPE '\\'", first ? u"" : u" OR ", column, escaped);
}

void AddLike(LString& sql, const char16_t* column, const char16_t* text) {
    LString escaped;
    LEmailSearchEscapeLike(escaped, text);
    sql.Append(u" AND ");
    AppendLikeTest(sql, column, escaped.c_str(), true);
}

}  // namespace

const char16_t* LEmailSearchColumnSet(const char16_t* scope) {
    if (ScopeIs(scope, u"headers")) return u"{SUBJECT FROM_TEXT TO_TEXT CC_TEXT BCC_TEXT REPLY_TO_TEXT BODY_PREVIEW}";
    if (ScopeIs(scope, u"body")) return u"{BODY_PREVIEW BODY_TEXT}";
    return nullptr;
}

LString LEmailSearchMatchText(const char16_t* column_set, const LString& expression) {
    LString m;
    if (column_set) m.Format(u"%s : (%Q)", column_set, expression.c_str());
    else m.Format(u"%Q", expression.c_str());
    return m;
}

void LEmailSearchFtsClause(LString& sql, const char16_t* column_set, const LString& expression, bool probe) {
    // "+m.rowid" keeps the planner from driving the query by the index's
    // list: it walks the messages in the page's order and probes the list.
    sql.AppendFormat(u" AND %s IN (SELECT rowid FROM %s.EMAIL_MESSAGES_FTS WHERE EMAIL_MESSAGES_FTS MATCH '%s')",
                     probe ? u"+m.rowid" : u"m.rowid", u"main", LEmailSearchMatchText(column_set, expression).c_str());
}

bool LEmailSearchManyMatches(LAppDatabaseAccount& db, const char16_t* column_set, const LString& words,
                             const LString& expression) {
    // Whole words are counted first: that count stops at the cap, where a
    // prefix ("com"*) makes the index merge the lists of every word it
    // begins before the first row. Only a query whose whole words are rare
    // is counted as written.
    const LString* both[] = {&words, &expression};
    for (const LString* e : both) {
        LString sql;
        sql.Format(u"SELECT COUNT(*) FROM (SELECT rowid FROM %s.EMAIL_MESSAGES_FTS WHERE EMAIL_MESSAGES_FTS MATCH "
                   u"'%s' LIMIT %d);",
                   u"main", LEmailSearchMatchText(column_set, *e).c_str(), LEmailSearchWalkFromMatches);
        int64_t n = 0;
        if (db.QueryInt64(sql.c_str(), &n) && n >= LEmailSearchWalkFromMatches) return true;
    }
    return false;
}

void LEmailSearchLikeClause(LString& sql, const char16_t* escaped, const char16_t* scope) {
    bool headers = ScopeIs(scope, u"headers"), body = ScopeIs(scope, u"body");
    sql.Append(u" AND (");
    bool first = true;
    if (!body)
        for (const char16_t* c : kHeaderColumns) {
            AppendLikeTest(sql, c, escaped, first);
            first = false;
        }
    if (!headers)
        for (const char16_t* c : kBodyColumns) {
            // The preview is a header column too; "all" names it once.
            if (!body && c == kBodyColumns[0]) continue;
            AppendLikeTest(sql, c, escaped, first);
            first = false;
        }
    sql.AppendChar(u')');
}

void LEmailSearchPageOf(LString& sql, const LString& rowids, const char16_t* order) {
    sql.Append(kColumns);
    sql.AppendFormat(kFrom, u"main", u"main", u"main");
    sql.AppendFormat(u" AND m.rowid IN (%s) ORDER BY %s;", rowids.c_str(), order);
}

void LEmailSearchRun(LString& sql, const LEmailSearchRequest& r, bool& has_filter, bool use_fts,
                     const LString& expression, const LString& escaped_query, const char16_t* scope, bool rowids_only,
                     bool probe_fts) {
    has_filter = false;
    sql.Append(rowids_only ? u"SELECT m.rowid" : kColumns);
    sql.AppendFormat(kTables, u"main", u"main", u"main");
    // The filters come first and the live-row test last: SQLite tests the
    // terms in this order, and IS_DELETED lies behind the bodies in the row,
    // so testing it first would read every candidate's bodies.
    LString w;
    if (r.account_id[0]) w.AppendFormat(u" AND m.ACCOUNT_ID='%Q'", r.account_id);
    if (r.mailbox_id[0]) w.AppendFormat(u" AND m.MAILBOX_ID='%Q'", r.mailbox_id);
    if (r.mailbox_name[0]) w.AppendFormat(u" AND UPPER(COALESCE(b.IMAP_NAME, ''))=UPPER('%Q')", r.mailbox_name);
    has_filter = r.account_id[0] || r.mailbox_id[0] || r.mailbox_name[0];
    if (r.query[0]) {
        if (use_fts)
            LEmailSearchFtsClause(w, LEmailSearchColumnSet(scope), expression, probe_fts);
        else
            LEmailSearchLikeClause(w, escaped_query.c_str(), scope);
        has_filter = true;
    }
    if (r.from[0]) AddLike(w, u"FROM_TEXT", r.from);
    if (r.to[0]) {
        LString escaped;
        LEmailSearchEscapeLike(escaped, r.to);
        w.Append(u" AND (");
        AppendLikeTest(w, u"TO_TEXT", escaped.c_str(), true);
        AppendLikeTest(w, u"CC_TEXT", escaped.c_str(), false);
        w.AppendChar(u')');
    }
    if (r.subject[0]) AddLike(w, u"SUBJECT", r.subject);
    if (r.body[0]) {
        LString body_expression;
        if (use_fts && LEmailSearchParseQuery(r.body, body_expression)) {
            LEmailSearchFtsClause(w, u"{BODY_PREVIEW BODY_TEXT}", body_expression);
        } else {
            LString escaped;
            LEmailSearchEscapeLike(escaped, r.body);
            w.Append(u" AND (");
            bool first = true;
            for (const char16_t* c : kBodyColumns) {
                AppendLikeTest(w, c, escaped.c_str(), first);
                first = false;
            }
            w.AppendChar(u')');
        }
    }
    if (r.filename[0]) {
        LString escaped;
        LEmailSearchEscapeLike(escaped, r.filename);
        w.AppendFormat(u" AND EXISTS (SELECT 1 FROM %s.EMAIL_MESSAGE_ATTACHMENTS a WHERE a.MESSAGE_ID=m.ID AND "
                         u"COALESCE(a.FILENAME, '') LIKE '%%%Q%%' ESCAPE '\\')",
                         u"main", escaped.c_str());
    }
    if (r.flags[0]) AddLike(w, u"FLAGS", r.flags);
    if (r.has_after) w.AppendFormat(u" AND m.RECEIVED_UTC>=%I64d", r.after_utc);
    if (r.has_before) w.AppendFormat(u" AND m.RECEIVED_UTC<=%I64d", r.before_utc);
    if (r.has_attachments_given) w.AppendFormat(u" AND m.HAS_ATTACHMENTS=%d", r.has_attachments ? 1 : 0);
    // Every clause begins with " AND ".
    if (w.length) {
        sql.Append(w.c_str() + 5);
        sql.Append(u" AND ");
    }
    sql.Append(u"m.IS_DELETED=0");
    has_filter = has_filter || r.from[0] || r.to[0] || r.subject[0] || r.body[0] || r.filename[0] || r.flags[0] ||
                 r.has_after || r.has_before || r.has_attachments_given;
}
