// search_mail_address: the messages that involve one address within a time
// window, first through the parsed address table, then through the address
// texts of the newest messages for what the parser could not read.
#include "mcp/tools/search_engine.h"
#include "mcp/tools/structured_search.h"
#include "mcp/tools/tool_framework.h"
#include "mcp/tools/tools.h"

namespace {

constexpr int32_t kLikeWindow = 5000;

}  // namespace

void LMcpToolSearchMailAddress(LMcpAnswer& answer, LAppDatabaseAccount& db, const LMcpArgs& args) {
    char16_t address[260];
    LMcpGetTextArg(args, "address", address);
    LMcpTrimSpaces(address);
    if (!address[0]) {
        LMcpWriteToolError(answer, u"search_mail_address requires address.");
        return;
    }
    LMcpMailboxScope scope;
    if (!LMcpGetMailboxScope(answer, db, args, u"search_mail_address", false, scope)) return;
    const char16_t* account = scope.account;
    const char16_t* box = scope.mailbox;
    int64_t limit = 10;
    LMcpGetIntArg(args, "limit", 1, 50, 10, &limit);
    LMcpTimeWindow window;
    if (!LMcpGetTimeWindow(answer, args, u"search_mail_address", window)) return;
    if (!window.after_given && !window.before_given) {
        LMcpWriteToolError(answer, u"search_mail_address requires after_utc or before_utc.");
        return;
    }
    int32_t lim = static_cast<int32_t>(limit);
    LString filters;
    if (account[0]) filters.AppendFormat(u" AND ACCOUNT_ID='%Q'", account);
    if (box[0]) filters.AppendFormat(u" AND %s='%Q'", u"MAILBOX_ID", box);
    LMcpAppendTimeWindow(filters, u"RECEIVED_UTC", window);

    char16_t lowered[260];
    for (size_t i = 0; i < 260; ++i) {
        char16_t c = address[i];
        lowered[i] = c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
        if (!c) break;
    }
    LString exact;
    exact.Format(u"SELECT ID, ACCOUNT_ID, MAILBOX_ID, SUBJECT, FROM_TEXT, TO_TEXT, BODY_PREVIEW, FLAGS, RECEIVED_UTC, "
                 u"BODY_TEXT FROM %s.EMAIL_MESSAGES WHERE IS_DELETED=0%s AND EXISTS (SELECT 1 FROM "
                 u"%s.EMAIL_MESSAGE_ADDRESSES a WHERE a.MESSAGE_ID=EMAIL_MESSAGES.ID AND a.EMAIL='%Q') ORDER BY "
                 u"RECEIVED_UTC DESC LIMIT %d;",
                 u"main", filters, u"main", lowered, lim);

    LStringA text;
    LJsonWriter json(text);
    json.BeginObject();
    json.BeginArrayNamed("emails");
    LMcpSeenIds seen;
    int32_t count = LMcpWriteSearchRow(json, db, exact, seen, 0, lim, false);
    if (count < lim) {
        LString like, scope;
        LMcpEscapeLike(like, address);
        if (account[0]) scope.AppendFormat(u" AND ACCOUNT_ID='%Q'", account);
        if (box[0]) scope.AppendFormat(u" AND %s='%Q'", u"MAILBOX_ID", box);
        LString scan;
        scan.Format(u"SELECT ID, ACCOUNT_ID, MAILBOX_ID, SUBJECT, FROM_TEXT, TO_TEXT, BODY_PREVIEW, FLAGS, RECEIVED_UTC, "
                    u"BODY_TEXT FROM %s.EMAIL_MESSAGES WHERE IS_DELETED=0%s AND ID IN (SELECT ID FROM "
                    u"%s.EMAIL_MESSAGES WHERE IS_DELETED=0%s ORDER BY RECEIVED_UTC DESC LIMIT %d)",
                    u"main", scope, u"main", scope, kLikeWindow);
        LMcpAppendTimeWindow(scan, u"RECEIVED_UTC", window);
        scan.AppendFormat(u" AND (FROM_TEXT LIKE '%%%Q%%' ESCAPE '\\' OR TO_TEXT LIKE '%%%Q%%' ESCAPE '\\' OR CC_TEXT "
                          u"LIKE '%%%Q%%' ESCAPE '\\' OR BCC_TEXT LIKE '%%%Q%%' ESCAPE '\\' OR REPLY_TO_TEXT LIKE "
                          u"'%%%Q%%' ESCAPE '\\') ORDER BY RECEIVED_UTC DESC LIMIT %d;",
                          like, like, like, like, like, lim);
        count = LMcpWriteSearchRow(json, db, scan, seen, count, lim, false);
    }
    json.EndArray();
    json.String("address", address);
    if (account[0]) json.String("account_id", account);
    LMcpWriteMailboxScope(json, scope);
    LMcpWriteTimeWindow(json, window);
    json.EndObject();
    LString summary;
    summary.Format(u"Found %d email(s) for address \"%s\" in the requested timeframe.", count, address);
    LMcpWriteToolResult(answer, summary, text);
}
