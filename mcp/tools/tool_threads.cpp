// get_thread and get_thread_compact: the conversation of an anchor message
// or subject, rebuilt from a bounded candidate scan.
#include "foundation/string_map.h"
#include "mcp/tools/structured_search.h"
#include "mcp/tools/thread_match.h"
#include "mcp/tools/thread_query.h"
#include "mcp/tools/tool_framework.h"
#include "mcp/tools/tools.h"

namespace {

constexpr const char16_t* kColumns =
    u"ID, ACCOUNT_ID, MAILBOX_ID, SUBJECT, FROM_TEXT, TO_TEXT, BODY_PREVIEW, FLAGS, RECEIVED_UTC, MESSAGE_ID, "
    u"THREAD_ID, IN_REPLY_TO, REFERENCES_TEXT, BODY_TEXT";
constexpr const char16_t* kColumnsWithHtml =
    u"ID, ACCOUNT_ID, MAILBOX_ID, SUBJECT, FROM_TEXT, TO_TEXT, BODY_PREVIEW, FLAGS, RECEIVED_UTC, MESSAGE_ID, "
    u"THREAD_ID, IN_REPLY_TO, REFERENCES_TEXT, BODY_TEXT, BODY_HTML";

// Steps the candidates and calls write(cursor, normalised subject) for each
// member until the limit; true when the scan bound cut the candidates.
template <class W>
bool ForEachMember(LAppDatabaseAccount& db, const LMcpThreadQuery& q, const LString& sql, int32_t* count, W&& write) {
    LAppDatabaseCursor c;
    int32_t scanned = 0;
    for (c.Query(db, sql.c_str()); c.HasRow() && *count < q.limit; c.Step()) {
        if (++scanned > LMcpThreadScanBound) return true;
        LString subject, thread_id, message_id, in_reply_to, references;
        c.GetColumnString(3, subject);
        c.GetColumnString(9, message_id);
        c.GetColumnString(10, thread_id);
        c.GetColumnString(11, in_reply_to);
        c.GetColumnString(12, references);
        char16_t normalized[260];
        if (!LMcpIsThreadMember(q, subject.c_str(), thread_id.c_str(), message_id.c_str(), in_reply_to.c_str(),
                                references.c_str(), normalized))
            continue;
        write(c, normalized);
        ++*count;
    }
    return false;
}

// The members both tools write first: "id" to "received_utc".
void WriteCommon(LJsonWriter& json, LAppDatabaseCursor& c, const char16_t* normalized) {
    LMcpWriteColumnField(json, "id", c, 0);
    LMcpWriteColumnField(json, "account_id", c, 1);
    LMcpWriteColumnField(json, "mailbox_id", c, 2);
    LMcpWriteColumnField(json, "subject", c, 3);
    json.String("normalized_subject", normalized);
    LMcpWriteColumnField(json, "from", c, 4);
    LMcpWriteColumnField(json, "to", c, 5);
    LMcpWritePreview(json, c, 6, 13);
    LMcpWriteColumnField(json, "flags", c, 7);
    LMcpWriteColumnInt64(json, "received_utc", c, 8);
}

}  // namespace

void LMcpToolGetThread(LMcpAnswer& answer, LAppDatabaseAccount& db, const LMcpArgs& args) {
    LMcpThreadQuery q;
    if (!LMcpFindMessages(answer, db, args, u"get_thread", q)) return;
    LMcpBodyOptions body;
    if (!LMcpGetBodyOptions(args, false, &body)) {
        LMcpWriteToolError(answer, u"get_thread requires body_format text, html, or both and max_body_chars between 1 "
                                   u"and 16777216.");
        return;
    }
    bool bodies = body.mode != LMcpBodyNone;
    LString sql;
    LMcpBuildThreadCandidatesSql(bodies ? kColumnsWithHtml : kColumns, q, u"RECEIVED_UTC ASC", sql);
    LStringA text;
    LJsonWriter json(text);
    json.BeginObject();
    json.BeginArrayNamed("emails");
    int32_t count = 0;
    bool truncated = ForEachMember(db, q, sql, &count, [&](LAppDatabaseCursor& c, const char16_t* normalized) {
        json.BeginObject();
        WriteCommon(json, c, normalized);
        LMcpWriteColumn(json, "message_id", c, 9);
        LMcpWriteColumn(json, "thread_id", c, 10);
        LMcpWriteColumn(json, "in_reply_to", c, 11);
        LMcpWriteColumn(json, "references", c, 12);
        if (bodies) {
            LString body_text, body_html;
            c.GetColumnString(13, body_text);
            c.GetColumnString(14, body_html);
            LMcpWriteBody(json, body_text, body_html, body);
        }
        json.EndObject();
    });
    json.EndArray();
    LMcpWriteThreadQuery(json, q, nullptr);
    json.String("body_format", LMcpBodyFormatName(body.mode));
    json.MaxBodyChars(static_cast<size_t>(body.max_body_chars));
    if (truncated) json.Bool("truncated", true);
    json.EndObject();
    LString summary;
    summary.Format(u"Found %d email(s) in thread \"%s\".", count, q.normalized_subject);
    LMcpWriteToolResult(answer, summary, text);
}

void LMcpToolGetThreadCompact(LMcpAnswer& answer, LAppDatabaseAccount& db, const LMcpArgs& args) {
    LMcpThreadQuery q;
    if (!LMcpFindMessages(answer, db, args, u"get_thread_compact", q)) return;
    char16_t order[260];
    LMcpGetTextArg(args, "order", order);
    LMcpTrimSpaces(order);
    auto is = [&order](const char16_t* word) {
        return LCompareNoCase(order, LTextLength(order), word, LTextLength(word)) == 0;
    };
    bool latest = false;
    if (order[0] && !is(u"oldest_first")) {
        if (!is(u"latest_first")) {
            LMcpWriteToolError(answer, u"get_thread_compact order must be oldest_first or latest_first.");
            return;
        }
        latest = true;
    }
    LString sql;
    LMcpBuildThreadCandidatesSql(kColumns, q, latest ? u"RECEIVED_UTC DESC" : u"RECEIVED_UTC ASC", sql);
    LStringA text;
    LJsonWriter json(text);
    json.BeginObject();
    json.BeginArrayNamed("messages");
    int32_t count = 0;
    bool truncated = ForEachMember(db, q, sql, &count, [&](LAppDatabaseCursor& c, const char16_t* normalized) {
        json.BeginObject();
        WriteCommon(json, c, normalized);
        char16_t preview[260];
        LString body, compact;
        c.GetColumnText(6, u"", preview);
        c.GetColumnString(13, body);
        LMcpCompactText(preview, body, compact);
        json.String("text", compact.c_str());
        json.EndObject();
    });
    json.EndArray();
    LMcpWriteThreadQuery(json, q, latest ? u"latest_first" : u"oldest_first");
    if (truncated) json.Bool("truncated", true);
    json.EndObject();
    LString summary;
    summary.Format(u"Found %d compact thread message(s) in \"%s\".", count, q.normalized_subject);
    LMcpWriteToolResult(answer, summary, text);
}
