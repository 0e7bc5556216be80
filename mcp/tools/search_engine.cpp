#include "mcp/tools/search_engine.h"

#include <cstring>

#include "foundation/html_text.h"
#include "foundation/string_map.h"
#include "mail/search/email_search.h"
#include "mcp/tools/tool_framework.h"

namespace {

constexpr size_t kSeenChars = 15;
constexpr size_t kPreviewChars = 512;

bool EqualsNoCase(const char16_t* a, const char16_t* b) {
    return LCompareNoCase(a, LTextLength(a), b, LTextLength(b)) == 0;
}

}  // namespace

const char16_t* LMcpSortOrder(const char16_t* key) {
    static constexpr const char16_t* kOrders[][2] = {
        {u"received_utc_desc", u"m.RECEIVED_UTC DESC, m.ID DESC"},
        {u"received_utc_asc", u"m.RECEIVED_UTC ASC, m.ID ASC"},
        {u"sent_utc_desc", u"m.SENT_UTC DESC, m.ID DESC"},
        {u"sent_utc_asc", u"m.SENT_UTC ASC, m.ID ASC"},
        {u"subject_asc", u"UPPER(COALESCE(m.SUBJECT, '')) ASC, m.RECEIVED_UTC DESC, m.ID DESC"},
        {u"subject_desc", u"UPPER(COALESCE(m.SUBJECT, '')) DESC, m.RECEIVED_UTC DESC, m.ID DESC"},
    };
    for (const auto& o : kOrders)
        if (EqualsNoCase(key, o[0])) return o[1];
    return nullptr;
}

bool LMcpResolveMailbox(LAppDatabaseAccount& db, const char16_t* account_id, const char16_t* mailbox_id,
                        const char16_t* mailbox_name, char16_t out_id[260], char16_t out_name[260]) {
    out_id[0] = out_name[0] = 0;
    bool by_id = mailbox_id && *mailbox_id;
    bool by_name = mailbox_name && *mailbox_name;
    if (!by_id && !by_name) return false;
    LString sql;
    sql.Format(u"SELECT ID, IMAP_NAME FROM %s.EMAILMAILBOXES WHERE DELETED IS NULL", u"main");
    if (account_id && *account_id) sql.AppendFormat(u" AND EMAILACCOUNTS_ID='%Q'", account_id);
    if (by_id) sql.AppendFormat(u" AND ID='%Q'", mailbox_id);
    if (by_name) sql.AppendFormat(u" AND UPPER(IMAP_NAME)=UPPER('%Q')", mailbox_name);
    sql.Append(u" ORDER BY IMAP_NAME LIMIT 1;");
    LAppDatabaseCursor c;
    c.Query(db, sql.c_str());
    if (!c.HasRow()) return false;
    c.GetColumnText(0, u"", out_id);
    c.GetColumnText(1, u"", out_name);
    return out_id[0] && out_name[0];
}

void LMcpEscapeLike(LString& out, const char16_t* text) {
    out.Clear();
    for (const char16_t* p = text; p && *p; ++p) {
        if (*p == u'%' || *p == u'_' || *p == u'\\') out.AppendChar(u'\\');
        out.AppendChar(*p);
    }
}

// The search route's grammar: one reading of a query for both doors.
bool LMcpBuildFtsMatch(const char16_t* query, LString& out) { return LEmailSearchParseQuery(query, out); }

bool LMcpSeenIds::Contains(const char16_t* id) const {
    for (int i = 0; i < count_; ++i) {
        size_t k = 0;
        while (k < kSeenChars && ids_[i][k] && ids_[i][k] == id[k]) ++k;
        if (k == kSeenChars || (ids_[i][k] == 0 && id[k] == 0)) return true;
    }
    return false;
}

void LMcpSeenIds::Add(const char16_t* id) {
    if (count_ >= 50) return;
    size_t k = 0;
    for (; k < kSeenChars && id[k]; ++k) ids_[count_][k] = id[k];
    ids_[count_][k] = 0;
    ++count_;
}

int32_t LMcpWriteSearchRow(LJsonWriter& json, LAppDatabaseAccount& db, const LString& statement, LMcpSeenIds& seen,
                           int32_t count, int32_t limit, bool fts) {
    if (count >= limit) return count;
    LAppDatabaseCursor c;
    for (c.Query(db, statement.c_str()); c.HasRow() && count < limit; c.Step()) {
        char16_t id[260];
        c.GetColumnText(0, u"", id);
        if (seen.Contains(id)) continue;
        json.BeginObject();
        json.String("id", id);
        LMcpWriteColumnField(json, "account_id", c, 1);
        LMcpWriteColumnField(json, "mailbox_id", c, 2);
        LMcpWriteColumnField(json, "subject", c, 3);
        LMcpWriteColumnField(json, "from", c, 4);
        LMcpWriteColumnField(json, "to", c, 5);
        char16_t preview[kPreviewChars];
        c.GetColumnText(6, u"", preview);
        if (!preview[0]) {
            LString body;
            c.GetColumnString(9, body);
            LEmailMakePreviewText(body, LString(), preview, kPreviewChars);
        }
        json.String("preview", preview);
        LMcpWriteColumnField(json, "flags", c, 7);
        json.Int64("received_utc", c.GetColumnInt64(8));
        if (fts) {
            char16_t snippet[260];
            c.GetColumnText(10, u"", snippet);
            if (snippet[0]) json.String("match_snippet", snippet);
            json.Double("relevance", -sqlite3_column_double(c.statement, 11));
        }
        json.EndObject();
        seen.Add(id);
        ++count;
    }
    return count;
}
