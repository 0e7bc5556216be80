#include "mcp/tools/thread_query.h"

#include "mcp/tools/search_engine.h"
#include "mcp/tools/thread_match.h"
#include "mcp/tools/tool_framework.h"

bool LMcpFindMessages(LJsonWriter& answer, LAppDatabaseAccount& db, const LJsonValue& args, const char16_t* tool,
                      LMcpThreadQuery& q) {
    char16_t mailbox_id[260], mailbox_name[260];
    LMcpGetTextArg(args, "email_id", q.email_id);
    LMcpGetTextArg(args, "subject", q.subject);
    LMcpGetTextArg(args, "mailbox_id", mailbox_id);
    LMcpGetTextArg(args, "mailbox_name", mailbox_name);
    for (char16_t* t : {q.email_id, q.subject, mailbox_id, mailbox_name}) LMcpTrimSpaces(t);
    LMcpResolveAccountId(db, args, q.account_id);
    if (!q.email_id[0] && !q.subject[0]) {
        LMcpWriteToolErrorF(answer, u"%s requires email_id or subject.", tool);
        return false;
    }
    q.window.after_given = LMcpGetTimeArg(args, "after_utc", &q.window.after);
    q.window.before_given = LMcpGetTimeArg(args, "before_utc", &q.window.before);
    if (!q.window.after_given && !q.window.before_given) {
        if (!q.email_id[0]) {
            LMcpWriteToolErrorF(answer, u"%s requires after_utc or before_utc when email_id is not supplied.", tool);
            return false;
        }
        q.match_subjects = false;
    }
    if (q.window.after_given && q.window.before_given && q.window.before < q.window.after) {
        LMcpWriteToolErrorF(answer, u"%s after_utc must be less than or equal to before_utc.", tool);
        return false;
    }
    int64_t limit = 50;
    LMcpGetIntArg(args, "limit", 1, 200, 50, &limit);
    q.limit = static_cast<int32_t>(limit);
    if (q.email_id[0]) {
        LAppDatabaseCursor c;
        c.QueryF(db,
                 u"SELECT ACCOUNT_ID, SUBJECT, MESSAGE_ID, THREAD_ID, IN_REPLY_TO, REFERENCES_TEXT, RECEIVED_UTC FROM "
                 u"%s.EMAIL_MESSAGES WHERE ID='%Q' AND IS_DELETED=0 LIMIT 1;",
                 u"main", q.email_id);
        if (!c.HasRow()) {
            LMcpWriteToolErrorF(answer, u"%s email_id was not found.", tool);
            return false;
        }
        if (!q.account_id[0]) c.GetColumnText(0, u"", q.account_id);
        if (!q.subject[0]) c.GetColumnText(1, u"", q.subject);
        c.GetColumnString(2, q.message_id);
        c.GetColumnString(3, q.thread_id);
        c.GetColumnString(4, q.in_reply_to);
        c.GetColumnString(5, q.references);
        q.anchor_utc = c.GetColumnInt64(6);
        q.anchor_time_known = true;
    }
    LMcpNormalizeSubject(q.subject, q.normalized_subject);
    if (!q.normalized_subject[0]) {
        LMcpWriteToolErrorF(answer, u"%s could not determine a usable subject anchor.", tool);
        return false;
    }
    q.mailbox_given = mailbox_id[0] || mailbox_name[0];
    if (q.mailbox_given &&
        !LMcpResolveMailbox(db, q.account_id, mailbox_id, mailbox_name, q.mailbox_id, q.mailbox_name)) {
        LMcpWriteToolErrorF(answer, u"%s could not resolve mailbox_id/mailbox_name.", tool);
        return false;
    }
    return true;
}

void LMcpBuildThreadCandidatesSql(const char16_t* columns, const LMcpThreadQuery& q, const char16_t* order,
                                  LString& sql) {
    LString filter;
    filter.Format(u"FROM %s.EMAIL_MESSAGES WHERE IS_DELETED=0", u"main");
    if (q.account_id[0]) filter.AppendFormat(u" AND ACCOUNT_ID='%Q'", q.account_id);
    if (q.mailbox_id[0]) filter.AppendFormat(u" AND %s='%Q'", u"MAILBOX_ID", q.mailbox_id);
    if (q.window.after_given || q.window.before_given) {
        sql.Format(u"SELECT %s %s", columns, filter);
        LMcpAppendTimeWindow(sql, u"RECEIVED_UTC", q.window);
        sql.AppendFormat(u" ORDER BY %s LIMIT %d;", order, LMcpThreadScanBound + 1);
        return;
    }
    int32_t n = q.limit * 20 > 2000 ? 2000 : q.limit * 20;
    sql.Format(u"SELECT * FROM (SELECT %s %s AND RECEIVED_UTC>=%I64d ORDER BY RECEIVED_UTC ASC LIMIT %d) UNION SELECT * "
               u"FROM (SELECT %s %s AND RECEIVED_UTC<%I64d ORDER BY RECEIVED_UTC DESC LIMIT %d) ORDER BY %s;",
               columns, filter, q.anchor_utc, n, columns, filter, q.anchor_utc, n, order);
}

bool LMcpIsThreadMember(const LMcpThreadQuery& q, const char16_t* subject, const char16_t* thread_id,
                        const char16_t* message_id, const char16_t* in_reply_to, const char16_t* references,
                        char16_t normalized[260]) {
    LMcpNormalizeSubject(subject, normalized);
    LMcpThreadHeaders anchor{q.thread_id.c_str(), q.message_id.c_str(), q.in_reply_to.c_str(), q.references.c_str()};
    LMcpThreadHeaders candidate{thread_id, message_id, in_reply_to, references};
    return LMcpHeadersLinked(anchor, candidate) ||
           (q.match_subjects && LMcpSubjectsMatch(q.normalized_subject, normalized));
}

void LMcpWriteThreadQuery(LJsonWriter& json, const LMcpThreadQuery& q, const char16_t* order) {
    json.String("subject", q.subject);
    json.String("normalized_subject", q.normalized_subject);
    if (order) json.String("order", order);
    if (q.email_id[0]) json.String("email_id", q.email_id);
    if (q.mailbox_given) {
        json.String("mailbox_id", q.mailbox_id);
        json.String("mailbox_name", q.mailbox_name);
    }
    LMcpWriteTimeWindow(json, q.window);
}
