// advanced_search_mail: field filters joined into one statement; the
// full-text index serves only the body filter, with a LIKE retry when it
// finds nothing (it does not index the HTML body).
#include "foundation/utf8.h"
#include "mail/store/fts_index.h"
#include "mcp/tools/search_engine.h"
#include "mcp/tools/structured_search.h"
#include "mcp/tools/tool_framework.h"
#include "mcp/tools/tools.h"

namespace {

struct Filter {
    Filter(const char* n, const char16_t* c) : name(n), column(c) {}
    const char* name;
    const char16_t* column;  // null: not a plain column filter
    char16_t text[260] = {};
    LString like;
};

}  // namespace

int32_t LMcpWriteAdvancedRows(LJsonWriter& json, LAppDatabaseAccount& db, const LString& statement) {
    int32_t count = 0;
    LAppDatabaseCursor c;
    for (c.Query(db, statement.c_str()); c.HasRow(); c.Step()) {
        json.BeginObject();
        LMcpWriteRowHead(json, c);
        LMcpWriteColumnField(json, "cc", c, 7);
        LMcpWritePreview(json, c, 8, 12);
        LMcpWriteColumnField(json, "flags", c, 9);
        json.Int64("received_utc", c.GetColumnInt64(10));
        json.Bool("has_attachments", c.GetColumnInt64(11) != 0);
        json.EndObject();
        ++count;
    }
    return count;
}

namespace {

bool ListError(LJsonWriter& answer, int status, const char* name) {
    if (status == LMcpListNotString)
        LMcpWriteToolErrorF(answer, u"advanced_search_mail %s must contain only strings.", LFromUtf8(name));
    else if (status == LMcpListEmptyEntry)
        LMcpWriteToolErrorF(answer, u"advanced_search_mail %s must contain non-empty strings.", LFromUtf8(name));
    else if (status == LMcpListTooLong)
        LMcpWriteToolErrorF(answer, u"advanced_search_mail %s must contain at most %d strings.", LFromUtf8(name),
                            LMcpMaxListEntries);
    else
        return false;
    return true;
}

}  // namespace

void LMcpToolAdvancedSearchMail(LMcpAnswer& answer, LAppDatabaseAccount& db, const LMcpArgs& args) {
    char16_t account[260];
    LMcpResolveAccountId(db, args, account);
    Filter filters[] = {{"from", u"m.FROM_TEXT"}, {"to", u"m.TO_TEXT"}, {"cc", u"m.CC_TEXT"},
                        {"subject", u"m.SUBJECT"}, {"body", nullptr},   {"filename", nullptr}};
    Filter& body = filters[4];
    Filter& filename = filters[5];
    for (Filter& f : filters) {
        LMcpGetTextArg(args, f.name, f.text);
        LMcpTrimSpaces(f.text);
        LMcpEscapeLike(f.like, f.text);
    }
    char16_t sort[260];
    LMcpGetTextArg(args, "sort", sort);
    LMcpTrimSpaces(sort);
    int64_t limit = 25, offset = 0;
    LMcpGetIntArg(args, "limit", 1, 100, 25, &limit);
    LMcpGetIntArg(args, "offset", 0, 5000, 0, &offset);
    LMcpTimeWindow window;
    if (!LMcpGetTimeWindow(answer, args, u"advanced_search_mail", window)) return;
    const LJsonValue& attachments = args.kind == LJsonObject ? args.Member("has_attachments") : LJsonValue::EmptyValue();
    bool attachments_given = attachments.kind == LJsonBool;
    LMcpStringList mailboxes, flags;
    int mailbox_status = LMcpGetStringOrArray(args, "mailboxes", mailboxes);
    int flag_status = LMcpGetStringOrArray(args, "flags", flags);
    bool any = mailbox_status != LMcpListAbsent || flag_status != LMcpListAbsent || window.after_given ||
               window.before_given || attachments_given;
    for (const Filter& f : filters) any = any || f.text[0];
    if (!any) {
        LMcpWriteToolError(answer, u"advanced_search_mail requires at least one structured filter.");
        return;
    }
    const char16_t* sort_key = sort[0] ? sort : u"received_utc_desc";
    const char16_t* order = LMcpSortOrder(sort_key);
    if (!order) {
        LMcpWriteToolError(answer, u"advanced_search_mail sort must be received_utc_desc, received_utc_asc, "
                                   u"sent_utc_desc, sent_utc_asc, subject_asc, or subject_desc.");
        return;
    }
    if (ListError(answer, mailbox_status, "mailboxes") || ListError(answer, flag_status, "flags")) return;

    LString head;
    head.Format(u"SELECT m.ID, m.ACCOUNT_ID, m.MAILBOX_ID, b.IMAP_NAME, m.SUBJECT, m.FROM_TEXT, m.TO_TEXT, m.CC_TEXT, "
                u"m.BODY_PREVIEW, m.FLAGS, m.RECEIVED_UTC, m.HAS_ATTACHMENTS, m.BODY_TEXT FROM %s.EMAIL_MESSAGES m LEFT "
                u"JOIN %s.EMAILMAILBOXES b ON b.ID=m.MAILBOX_ID WHERE m.IS_DELETED=0",
                u"main", u"main");
    if (account[0]) head.AppendFormat(u" AND m.ACCOUNT_ID='%Q'", account);
    if (!mailboxes.items.empty()) {
        head.Append(u" AND (");
        bool first = true;
        for (const std::u16string& box : mailboxes.items) {
            head.AppendFormat(u"%s(m.MAILBOX_ID='%Q' OR UPPER(COALESCE(b.IMAP_NAME, ''))=UPPER('%Q'))",
                              first ? u"" : u" OR ", box.c_str(), box.c_str());
            first = false;
        }
        head.Append(u")");
    }
    for (const Filter& f : filters)
        if (f.column && f.text[0]) head.AppendFormat(u" AND COALESCE(%s, '') LIKE '%%%Q%%' ESCAPE '\\'", f.column, f.like);
    LString tail;
    if (filename.text[0])
        tail.AppendFormat(u" AND EXISTS (SELECT 1 FROM %s.EMAIL_MESSAGE_ATTACHMENTS a WHERE a.MESSAGE_ID=m.ID AND "
                          u"COALESCE(a.FILENAME, '') LIKE '%%%Q%%' ESCAPE '\\')",
                          u"main", filename.like);
    LMcpAppendTimeWindow(tail, u"m.RECEIVED_UTC", window);
    if (attachments_given) tail.AppendFormat(u" AND m.HAS_ATTACHMENTS=%d", attachments.payload.b ? 1 : 0);
    for (const std::u16string& flag : flags.items) {
        LString like;
        LMcpEscapeLike(like, flag.c_str());
        tail.AppendFormat(u" AND COALESCE(m.FLAGS, '') LIKE '%%%Q%%' ESCAPE '\\'", like);
    }
    tail.AppendFormat(u" ORDER BY %s LIMIT %d OFFSET %d;", order, static_cast<int32_t>(limit),
                      static_cast<int32_t>(offset));

    LStringA text;
    LJsonWriter json(text);
    json.BeginObject();
    json.BeginArrayNamed("emails");
    int32_t count = 0;
    const char16_t* mode = u"like";
    LString match;
    if (body.text[0] && LEmailFtsTableExists(db) && LMcpBuildFtsMatch(body.text, match)) {
        LString fts;
        fts.Format(u"%s AND %s IN (SELECT rowid FROM %s.EMAIL_MESSAGES_FTS WHERE EMAIL_MESSAGES_FTS MATCH '%s : (%Q)')%s",
                   head, u"m.rowid", u"main", u"{BODY_PREVIEW BODY_TEXT}", match, tail);
        // Nothing is written when the index finds nothing, so the LIKE rows
        // can follow in the same array.
        count = LMcpWriteAdvancedRows(json, db, fts);
        if (count > 0) mode = u"fts";
    }
    if (count == 0) {
        LString like;
        like.AppendString(head);
        if (body.text[0])
            like.AppendFormat(u" AND (COALESCE(m.BODY_PREVIEW, '') LIKE '%%%Q%%' ESCAPE '\\' OR COALESCE(m.BODY_TEXT, "
                              u"'') LIKE '%%%Q%%' ESCAPE '\\' OR COALESCE(m.BODY_HTML, '') LIKE '%%%Q%%' ESCAPE '\\')",
                              body.like, body.like, body.like);
        like.AppendString(tail);
        count = LMcpWriteAdvancedRows(json, db, like);
    }
    json.EndArray();
    if (account[0]) json.String("account_id", account);
    if (!mailboxes.items.empty()) LMcpWriteStringOrArray(json, "mailboxes", mailboxes);
    for (const Filter& f : filters) {
        if (!f.text[0]) continue;
        json.String(f.name, f.text);
        if (&f == &body) json.String("body_search_mode", mode);
    }
    LMcpWriteTimeWindow(json, window);
    if (attachments_given) json.Bool("has_attachments", attachments.payload.b);
    if (!flags.items.empty()) LMcpWriteStringOrArray(json, "flags", flags);
    json.Int("limit", static_cast<int32_t>(limit));
    json.Int("offset", static_cast<int32_t>(offset));
    json.String("sort", sort_key);
    json.EndObject();
    LString summary;
    summary.Format(u"Found %d email(s) matching advanced mail filters.", count);
    LMcpWriteToolResult(answer, summary, text);
}
