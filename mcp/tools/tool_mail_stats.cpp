// mail_stats: read, unread, flagged, answered and attachment counts, the
// busiest mailboxes and senders, messages per day and week, the largest
// messages and how long ago each mailbox was synchronised.
#include <ctime>

#include "mcp/tools/search_engine.h"
#include "mcp/tools/structured_search.h"
#include "mcp/tools/tool_framework.h"
#include "mcp/tools/tools.h"

namespace {

// The sum of the rows whose FLAGS hold the system flag (any case), or with
// "=0" those that do not.
LString FlagSum(const char16_t* flag, const char16_t* test) {
    LString s;
    s.Format(u"COALESCE(SUM(CASE WHEN INSTR(UPPER(COALESCE(m.FLAGS, '')), UPPER(char(92) || '%s'))%s THEN 1 ELSE 0 "
             u"END), 0)",
             flag, test);
    return s;
}

// The stored sync time as seconds since 1970: a number as it stands, else a
// date-time SQLite understands; 0 when empty or unreadable.
constexpr const char16_t* kSyncEpoch =
    u"CASE WHEN COALESCE(LAST_SYNC_UTC, '')='' THEN 0 WHEN LAST_SYNC_UTC GLOB '[0-9]*' AND LAST_SYNC_UTC NOT LIKE "
    u"'%-%' THEN CAST(LAST_SYNC_UTC AS INTEGER) ELSE COALESCE(CAST(strftime('%s', LAST_SYNC_UTC) AS INTEGER), 0) END";

void WriteSummary(LJsonWriter& json, LAppDatabaseAccount& db, const LString& from, int64_t* total) {
    LString sql;
    sql.Format(u"SELECT COUNT(*), %s, %s, %s, %s, COALESCE(SUM(CASE WHEN COALESCE(m.HAS_ATTACHMENTS, 0)<>0 THEN 1 ELSE "
               u"0 END), 0)%s;",
               FlagSum(u"Seen", u">0"), FlagSum(u"Seen", u"=0"), FlagSum(u"Flagged", u">0"),
               FlagSum(u"Answered", u">0"), from);
    LAppDatabaseCursor c;
    c.Query(db, sql.c_str());
    bool row = c.HasRow();
    static constexpr const char* kNames[] = {"total_messages",   "read_messages",     "unread_messages",
                                             "flagged_messages", "answered_messages", "attachment_messages"};
    json.BeginObjectNamed("summary");
    for (uint64_t i = 0; i < 6; ++i) LMcpWriteCount(json, kNames[i], row ? c.GetColumnInt64(i) : 0);
    json.EndObject();
    *total = row ? c.GetColumnInt64(0) : 0;
}

void WriteCounts(LJsonWriter& json, LAppDatabaseAccount& db, const char* name, const LString& sql, const char* key) {
    json.BeginArrayNamed(name);
    LAppDatabaseCursor c;
    for (c.Query(db, sql.c_str()); c.HasRow(); c.Step()) {
        json.BeginObject();
        LMcpWriteColumnField(json, key, c, 0);
        LMcpWriteCount(json, "message_count", c.GetColumnInt64(1));
        json.EndObject();
    }
    json.EndArray();
}

}  // namespace

void LMcpToolMailStats(LMcpAnswer& answer, LAppDatabaseAccount& db, const LMcpArgs& args) {
    LMcpMailboxScope scope;
    if (!LMcpGetMailboxScope(answer, db, args, u"mail_stats", false, scope)) return;
    const char16_t* account = scope.account;
    const char16_t* mailbox = scope.mailbox;
    int64_t limit64 = 5;
    LMcpGetIntArg(args, "limit", 1, 25, 5, &limit64);
    int32_t limit = static_cast<int32_t>(limit64);
    LMcpTimeWindow window;
    if (!LMcpGetTimeWindow(answer, args, u"mail_stats", window)) return;

    LString from;
    from.Format(u" FROM %s.EMAIL_MESSAGES m LEFT JOIN %s.EMAILMAILBOXES b ON b.ID=m.MAILBOX_ID WHERE m.IS_DELETED=0",
                u"main", u"main");
    if (account[0]) from.AppendFormat(u" AND m.ACCOUNT_ID='%Q'", account);
    if (mailbox[0]) from.AppendFormat(u" AND %s='%Q'", u"m.MAILBOX_ID", mailbox);
    LMcpAppendTimeWindow(from, u"m.RECEIVED_UTC", window);

    LStringA text;
    LJsonWriter json(text);
    json.BeginObject();
    int64_t total = 0;
    WriteSummary(json, db, from, &total);

    LString sql;
    sql.Format(u"SELECT m.MAILBOX_ID, b.IMAP_NAME, COUNT(*), %s%s GROUP BY m.MAILBOX_ID, COALESCE(b.IMAP_NAME, '') ORDER "
               u"BY COUNT(*) DESC, UPPER(COALESCE(b.IMAP_NAME, '')) ASC LIMIT %d;",
               FlagSum(u"Seen", u"=0"), from, limit);
    json.BeginArrayNamed("by_mailbox");
    LAppDatabaseCursor boxes;
    for (boxes.Query(db, sql.c_str()); boxes.HasRow(); boxes.Step()) {
        json.BeginObject();
        LMcpWriteColumnField(json, "mailbox_id", boxes, 0);
        LMcpWriteColumnField(json, "mailbox_name", boxes, 1);
        LMcpWriteCount(json, "message_count", boxes.GetColumnInt64(2));
        LMcpWriteCount(json, "unread_count", boxes.GetColumnInt64(3));
        json.EndObject();
    }
    json.EndArray();

    sql.Format(u"SELECT m.FROM_TEXT, COUNT(*)%s AND COALESCE(m.FROM_TEXT, '')<>'' GROUP BY COALESCE(m.FROM_TEXT, '') "
               u"ORDER BY COUNT(*) DESC, UPPER(COALESCE(m.FROM_TEXT, '')) ASC LIMIT %d;",
               from, limit);
    WriteCounts(json, db, "by_sender", sql, "from");
    for (const auto& period : {std::pair{"by_day", "day_utc"}, std::pair{"by_week", "week_utc"}}) {
        const char16_t* key = period.second[0] == 'd' ? u"%Y-%m-%d" : u"%Y-W%W";
        sql.Format(u"SELECT strftime('%s', m.RECEIVED_UTC, 'unixepoch'), COUNT(*)%s AND m.RECEIVED_UTC IS NOT NULL GROUP "
                   u"BY 1 ORDER BY 1 DESC LIMIT %d;",
                   key, from, limit);
        WriteCounts(json, db, period.first, sql, period.second);
    }

    sql.Format(u"SELECT m.ID, m.ACCOUNT_ID, m.MAILBOX_ID, b.IMAP_NAME, m.SUBJECT, m.FROM_TEXT, m.SIZE_BYTES, "
               u"m.RECEIVED_UTC%s ORDER BY COALESCE(m.SIZE_BYTES, 0) DESC, COALESCE(m.RECEIVED_UTC, 0) DESC, m.ID ASC "
               u"LIMIT %d;",
               from, limit);
    json.BeginArrayNamed("largest_messages");
    LAppDatabaseCursor large;
    for (large.Query(db, sql.c_str()); large.HasRow(); large.Step()) {
        json.BeginObject();
        static constexpr const char* kFields[] = {"id", "account_id", "mailbox_id", "mailbox_name", "subject", "from"};
        for (uint64_t i = 0; i < 6; ++i) LMcpWriteColumnField(json, kFields[i], large, i);
        LMcpWriteColumnInt64(json, "size_bytes", large, 6);
        LMcpWriteColumnInt64(json, "received_utc", large, 7);
        json.EndObject();
    }
    json.EndArray();

    int64_t now = static_cast<int64_t>(std::time(nullptr));
    sql.Format(u"SELECT ID, EMAILACCOUNTS_ID, IMAP_NAME, LAST_SYNC_UTC, %s FROM %s.EMAILMAILBOXES WHERE DELETED IS NULL",
               kSyncEpoch, u"main");
    if (account[0]) sql.AppendFormat(u" AND EMAILACCOUNTS_ID='%Q'", account);
    if (mailbox[0]) sql.AppendFormat(u" AND ID='%Q'", mailbox);
    sql.AppendFormat(u" ORDER BY CASE WHEN COALESCE(LAST_SYNC_UTC, '')='' THEN 0 ELSE 1 END ASC, %s ASC, CASE WHEN "
                     u"UPPER(IMAP_NAME)='INBOX' THEN 0 ELSE 1 END, UPPER(IMAP_NAME) ASC LIMIT %d;",
                     kSyncEpoch, limit);
    json.BeginArrayNamed("mailbox_sync");
    LAppDatabaseCursor sync;
    for (sync.Query(db, sql.c_str()); sync.HasRow(); sync.Step()) {
        json.BeginObject();
        LMcpWriteColumnField(json, "mailbox_id", sync, 0);
        LMcpWriteColumnField(json, "account_id", sync, 1);
        LMcpWriteColumnField(json, "mailbox_name", sync, 2);
        LMcpWriteColumnField(json, "last_sync_utc", sync, 3);
        int64_t epoch = sync.GetColumnInt64(4);
        if (epoch > 0) json.Int64("last_sync_epoch", epoch);
        json.Int64("sync_age_seconds", epoch >= 1 && epoch <= now ? now - epoch : 0);
        json.EndObject();
    }
    json.EndArray();

    if (account[0]) json.String("account_id", account);
    LMcpWriteMailboxScope(json, scope);
    LMcpWriteTimeWindow(json, window);
    json.Int("limit", limit);
    json.EndObject();
    LString summary;
    if (scope.mailbox_given)
        summary.Format(u"Calculated mail stats across %I64d stored message(s) in mailbox \"%s\".", total, scope.mailbox_name);
    else
        summary.Format(u"Calculated mail stats across %I64d stored message(s).", total);
    LMcpWriteToolResult(answer, summary, text);
}
