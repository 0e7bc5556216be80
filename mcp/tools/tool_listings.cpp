// list_mailbox_mail and list_recent_mail: newest first, paged by the keyset
// cursor on (RECEIVED_UTC, ID) so that pages hold still while mail arrives.
#include "mcp/tools/message_cursor.h"
#include "mcp/tools/search_engine.h"
#include "mcp/tools/structured_search.h"
#include "mcp/tools/tool_framework.h"
#include "mcp/tools/tools.h"

namespace {

// What both listings read and check, in the order their errors answer.
struct Listing {
    const char16_t* tool;
    LMcpMailboxScope scope;
    int32_t limit = 25;
    LMcpBodyOptions body;
    LMcpMessageCursor cursor;
    LMcpTimeWindow window;
};

bool ReadListing(LJsonWriter& answer, LAppDatabaseAccount& db, const LJsonValue& args, Listing& l, bool need_mailbox) {
    if (!LMcpGetMailboxScope(answer, db, args, l.tool, need_mailbox, l.scope)) return false;
    int64_t limit = 25;
    LMcpGetIntArg(args, "limit", 1, 100, 25, &limit);
    l.limit = static_cast<int32_t>(limit);
    if (!LMcpGetBodyOptions(args, false, &l.body)) {
        LMcpWriteToolErrorF(answer,
                            u"%s requires body_format text, html, or both and max_body_chars between 1 and 16777216.",
                            l.tool);
        return false;
    }
    if (!LMcpMessageCursorParse(args, l.cursor)) {
        LMcpWriteToolErrorF(answer, u"%s cursor requires received_utc and email_id.", l.tool);
        return false;
    }
    return LMcpGetTimeWindow(answer, args, l.tool, l.window);
}

// The window and cursor clauses and the ORDER BY with one row more than the
// page, which tells whether another page follows.
void AppendPage(LString& sql, const char16_t* prefix, const Listing& l) {
    LString received, id;
    received.Format(u"%sRECEIVED_UTC", prefix);
    id.Format(u"%sID", prefix);
    LMcpAppendTimeWindow(sql, received.c_str(), l.window);
    if (l.cursor.present)
        sql.AppendFormat(u" AND (%s<%I64d OR (%s=%I64d AND %s<'%Q'))", received, l.cursor.received_utc, received,
                         l.cursor.received_utc, id, l.cursor.email_id);
    sql.AppendFormat(u" ORDER BY %s DESC, %s DESC LIMIT %d;", received, id, l.limit + 1);
}

// Writes "emails", "has_more" and "next_cursor"; columns: ID, ACCOUNT_ID,
// MAILBOX_ID, IMAP_NAME, SUBJECT, FROM_TEXT, TO_TEXT, BODY_PREVIEW, FLAGS,
// RECEIVED_UTC, BODY_TEXT[, BODY_HTML]. A null mailbox column takes the
// resolved mailbox.
int32_t WritePage(LJsonWriter& json, LAppDatabaseAccount& db, const LString& sql, const Listing& l) {
    json.BeginArrayNamed("emails");
    int32_t count = 0;
    bool more = false;
    char16_t last_id[260] = {};
    int64_t last_received = 0;
    LAppDatabaseCursor c;
    for (c.Query(db, sql.c_str()); c.HasRow(); c.Step()) {
        if (count == l.limit) {
            more = true;
            break;
        }
        json.BeginObject();
        c.GetColumnText(0, u"", last_id);
        LMcpWriteRowHead(json, c);
        LMcpWritePreview(json, c, 7, 10);
        LMcpWriteColumnField(json, "flags", c, 8);
        last_received = c.GetColumnInt64(9);
        json.Int64("received_utc", last_received);
        if (l.body.mode != LMcpBodyNone) {
            LString text, html;
            c.GetColumnString(10, text);
            c.GetColumnString(11, html);
            LMcpWriteBody(json, text, html, l.body);
        }
        json.EndObject();
        ++count;
    }
    json.EndArray();
    json.Bool("has_more", more);
    if (more) LMcpMessageCursorWrite(json, last_received, last_id);
    return count;
}

void WriteTail(LJsonWriter& json, const Listing& l) {
    LMcpWriteTimeWindow(json, l.window);
    json.Bool("include_body", l.body.mode != LMcpBodyNone);
    json.String("body_format", LMcpBodyFormatName(l.body.mode));
    json.MaxBodyChars(static_cast<size_t>(l.body.max_body_chars));
    json.EndObject();
}

}  // namespace

void LMcpToolListMailboxMail(LMcpAnswer& answer, LAppDatabaseAccount& db, const LMcpArgs& args) {
    Listing l;
    l.tool = u"list_mailbox_mail";
    if (!ReadListing(answer, db, args, l, true)) return;
    if (!l.window.after_given && !l.window.before_given) {
        LMcpWriteToolError(answer, u"list_mailbox_mail requires after_utc or before_utc.");
        return;
    }
    LString sql;
    sql.Format(u"SELECT ID, ACCOUNT_ID, '%Q', '%Q', SUBJECT, FROM_TEXT, TO_TEXT, BODY_PREVIEW, FLAGS, RECEIVED_UTC, "
               u"BODY_TEXT%s FROM %s.EMAIL_MESSAGES WHERE IS_DELETED=0 AND %s='%Q'",
               l.scope.mailbox, l.scope.mailbox_name, l.body.mode != LMcpBodyNone ? u", BODY_HTML" : u"", u"main",
               u"MAILBOX_ID", l.scope.mailbox);
    if (l.scope.account[0]) sql.AppendFormat(u" AND ACCOUNT_ID='%Q'", l.scope.account);
    AppendPage(sql, u"", l);
    LStringA text;
    LJsonWriter json(text);
    json.BeginObject();
    int32_t count = WritePage(json, db, sql, l);
    LMcpWriteMailboxScope(json, l.scope);
    if (l.scope.account[0]) json.String("account_id", l.scope.account);
    WriteTail(json, l);
    LString summary;
    summary.Format(u"Found %d email(s) in mailbox \"%s\" for the requested timeframe.", count, l.scope.mailbox_name);
    LMcpWriteToolResult(answer, summary, text);
}

void LMcpToolListRecentMail(LMcpAnswer& answer, LAppDatabaseAccount& db, const LMcpArgs& args) {
    Listing l;
    l.tool = u"list_recent_mail";
    if (!ReadListing(answer, db, args, l, false)) return;
    LString sql;
    sql.Format(u"SELECT m.ID, m.ACCOUNT_ID, m.MAILBOX_ID, b.IMAP_NAME, m.SUBJECT, m.FROM_TEXT, m.TO_TEXT, "
               u"m.BODY_PREVIEW, m.FLAGS, m.RECEIVED_UTC, m.BODY_TEXT%s FROM %s.EMAIL_MESSAGES m LEFT JOIN "
               u"%s.EMAILMAILBOXES b ON b.ID=m.MAILBOX_ID WHERE m.IS_DELETED=0",
               l.body.mode != LMcpBodyNone ? u", m.BODY_HTML" : u"", u"main", u"main");
    if (l.scope.account[0]) sql.AppendFormat(u" AND m.ACCOUNT_ID='%Q'", l.scope.account);
    if (l.scope.mailbox[0]) sql.AppendFormat(u" AND %s='%Q'", u"m.MAILBOX_ID", l.scope.mailbox);
    AppendPage(sql, u"m.", l);
    LStringA text;
    LJsonWriter json(text);
    json.BeginObject();
    int32_t count = WritePage(json, db, sql, l);
    if (l.scope.account[0]) json.String("account_id", l.scope.account);
    LMcpWriteMailboxScope(json, l.scope);
    WriteTail(json, l);
    LString summary;
    if (l.scope.mailbox_given)
        summary.Format(u"Found %d recent email(s) in mailbox \"%s\".", count, l.scope.mailbox_name);
    else
        summary.Format(u"Found %d recent email(s).", count);
    LMcpWriteToolResult(answer, summary, text);
}
