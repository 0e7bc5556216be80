// list_recent_threads: an inbox-style overview of the newest conversations,
// grouped in memory from a bounded scan of the newest messages.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/utf8.h"
#include "mcp/tools/search_engine.h"
#include "mcp/tools/structured_search.h"
#include "mcp/tools/thread_match.h"
#include "mcp/tools/thread_summary.h"
#include "mcp/tools/tool_framework.h"
#include "mcp/tools/tools.h"

namespace {

constexpr size_t kMaxSummaries = 100;
constexpr size_t kPreviewChars = 260;

bool IsBlank(char16_t c) { return c <= 32; }

std::u16string_view TrimControls(std::u16string_view v) {
    while (!v.empty() && IsBlank(v.front())) v.remove_prefix(1);
    while (!v.empty() && IsBlank(v.back())) v.remove_suffix(1);
    return v;
}

}  // namespace

void LMcpThreadAddReferences(LMcpThreadSummary& s, const char16_t* value) {
    std::u16string_view v = TrimControls(value ? value : u"");
    if (v.empty() || s.references.find(v) != std::u16string::npos) return;
    // Every link test searches this text: a bound keeps a hostile
    // References header from making each test slow.
    if (s.references.size() + v.size() + 1 > LMcpThreadReferenceChars) return;
    if (!s.references.empty()) s.references.push_back(u' ');
    s.references.append(v);
}

void LMcpThreadAddParticipants(LMcpThreadSummary& s, const char16_t* text) {
    std::u16string_view rest(text ? text : u"");
    while (!rest.empty()) {
        size_t cut = rest.find_first_of(u",;");
        std::u16string_view piece = TrimControls(rest.substr(0, cut));
        rest = cut == std::u16string_view::npos ? std::u16string_view() : rest.substr(cut + 1);
        if (piece.empty() || s.participants.size() >= LMcpThreadParticipantsMax) continue;
        bool known = false;
        for (const std::u16string& p : s.participants) known = known || p == piece;
        if (!known) s.participants.emplace_back(piece);
    }
}

void LMcpThreadSummaryInit(LMcpThreadSummary& s, const LMcpThreadRow& row) {
    s = LMcpThreadSummary();
    s.f = row.f;
    s.subject = row.subject;
    s.preview = row.preview;
    s.message_id = row.message_id;
    s.thread_id = row.thread_id;
    s.in_reply_to = row.in_reply_to;
    s.received_utc = row.received_utc;
    LMcpThreadAddReferences(s, row.message_id);
    LMcpThreadAddReferences(s, row.in_reply_to);
    LMcpThreadAddReferences(s, row.references);
    LMcpThreadAddParticipants(s, row.f.from);
    LMcpThreadAddParticipants(s, row.f.to);
    s.message_count = 1;
}

bool LMcpThreadJoins(const LMcpThreadSummary& s, const LMcpThreadRow& row) {
    if (std::u16string_view(s.f.account_id) != std::u16string_view(row.f.account_id)) return false;
    LMcpThreadHeaders first{s.thread_id.c_str(), s.message_id.c_str(), s.in_reply_to.c_str(), s.references.c_str()};
    LMcpThreadHeaders second{row.thread_id, row.message_id, row.in_reply_to, row.references};
    return LMcpHeadersLinked(first, second) || LMcpSubjectsMatch(s.f.normalized_subject, row.f.normalized_subject);
}

void LMcpThreadJoin(LMcpThreadSummary& s, const LMcpThreadRow& row) {
    if (s.thread_id.empty() && row.thread_id[0]) s.thread_id = row.thread_id;
    if (s.in_reply_to.empty() && row.in_reply_to[0]) s.in_reply_to = row.in_reply_to;
    LMcpThreadAddReferences(s, row.message_id);
    LMcpThreadAddReferences(s, row.in_reply_to);
    LMcpThreadAddReferences(s, row.references);
    LMcpThreadAddParticipants(s, row.f.from);
    LMcpThreadAddParticipants(s, row.f.to);
    ++s.message_count;
}

void LMcpToolListRecentThreads(LMcpAnswer& answer, LAppDatabaseAccount& db, const LMcpArgs& args) {
    LMcpMailboxScope scope;
    if (!LMcpGetMailboxScope(answer, db, args, u"list_recent_threads", false, scope)) return;
    const char16_t* account = scope.account;
    const char16_t* mailbox = scope.mailbox;
    int64_t limit = 25;
    LMcpGetIntArg(args, "limit", 1, 100, 25, &limit);
    LMcpTimeWindow window;
    if (!LMcpGetTimeWindow(answer, args, u"list_recent_threads", window)) return;
    int32_t scan = static_cast<int32_t>(limit) * 20 > 2000 ? 2000 : static_cast<int32_t>(limit) * 20;
    LString sql;
    sql.Format(u"SELECT m.ID, m.ACCOUNT_ID, m.MAILBOX_ID, b.IMAP_NAME, m.SUBJECT, m.FROM_TEXT, m.TO_TEXT, "
               u"m.BODY_PREVIEW, m.FLAGS, m.RECEIVED_UTC, m.MESSAGE_ID, m.THREAD_ID, m.IN_REPLY_TO, m.REFERENCES_TEXT, "
               u"m.BODY_TEXT FROM %s.EMAIL_MESSAGES m LEFT JOIN %s.EMAILMAILBOXES b ON b.ID=m.MAILBOX_ID WHERE "
               u"m.IS_DELETED=0",
               u"main", u"main");
    if (account[0]) sql.AppendFormat(u" AND m.ACCOUNT_ID='%Q'", account);
    if (mailbox[0]) sql.AppendFormat(u" AND %s='%Q'", u"m.MAILBOX_ID", mailbox);
    LMcpAppendTimeWindow(sql, u"m.RECEIVED_UTC", window);
    sql.AppendFormat(u" ORDER BY m.RECEIVED_UTC DESC, m.ID DESC LIMIT %d;", scan);

    std::vector<std::unique_ptr<LMcpThreadSummary>> threads;
    LAppDatabaseCursor c;
    for (c.Query(db, sql.c_str()); c.HasRow(); c.Step()) {
        LMcpThreadRow row;
        LString subject, preview_source, message_id, thread_id, in_reply_to, references;
        c.GetColumnText(0, u"", row.f.id);
        c.GetColumnText(1, u"", row.f.account_id);
        c.GetColumnText(2, u"", row.f.mailbox_id);
        c.GetColumnText(3, u"", row.f.mailbox_name);
        c.GetColumnString(4, subject);
        c.GetColumnText(5, u"", row.f.from);
        c.GetColumnText(6, u"", row.f.to);
        c.GetColumnText(8, u"", row.f.flags);
        row.received_utc = c.GetColumnInt64(9);
        c.GetColumnString(10, message_id);
        c.GetColumnString(11, thread_id);
        c.GetColumnString(12, in_reply_to);
        c.GetColumnString(13, references);
        char16_t preview[kPreviewChars];
        c.GetColumnText(7, u"", preview);
        if (!preview[0]) {
            c.GetColumnString(14, preview_source);
            LEmailMakePreviewText(preview_source, LString(), preview, kPreviewChars);
        }
        row.subject = subject.c_str();
        row.preview = preview;
        row.message_id = message_id.c_str();
        row.thread_id = thread_id.c_str();
        row.in_reply_to = in_reply_to.c_str();
        row.references = references.c_str();
        LMcpNormalizeSubject(row.subject, row.f.normalized_subject);
        LMcpThreadSummary* home = nullptr;
        for (auto& t : threads) {
            if (LMcpThreadJoins(*t, row)) {
                home = t.get();
                break;
            }
        }
        if (home) {
            LMcpThreadJoin(*home, row);
        } else if (threads.size() < kMaxSummaries) {
            threads.push_back(std::make_unique<LMcpThreadSummary>());
            LMcpThreadSummaryInit(*threads.back(), row);
        }
    }

    LStringA text;
    LJsonWriter json(text);
    json.BeginObject();
    json.BeginArrayNamed("threads");
    int32_t written = 0;
    for (const auto& t : threads) {
        if (written == limit) break;
        json.BeginObject();
        json.String("thread_key", t->thread_id.empty() ? t->f.normalized_subject : t->thread_id.c_str());
        json.String("id", t->f.id);
        json.String("account_id", t->f.account_id);
        json.String("mailbox_id", t->f.mailbox_id);
        json.String("mailbox_name", t->f.mailbox_name);
        json.String("subject", t->subject.c_str());
        json.String("normalized_subject", t->f.normalized_subject);
        json.String("from", t->f.from);
        json.String("to", t->f.to);
        json.String("preview", t->preview.c_str());
        json.String("flags", t->f.flags);
        json.Int64("received_utc", t->received_utc);
        LMcpWriteCount(json, "message_count", t->message_count);
        json.BeginArrayNamed("participants");
        for (const std::u16string& p : t->participants) json.String(nullptr, p.c_str());
        json.EndArray();
        json.EndObject();
        ++written;
    }
    json.EndArray();
    if (account[0]) json.String("account_id", account);
    LMcpWriteMailboxScope(json, scope);
    LMcpWriteTimeWindow(json, window);
    json.EndObject();
    LString summary;
    if (scope.mailbox_given)
        summary.Format(u"Found %d recent thread(s) in mailbox \"%s\".", written, scope.mailbox_name);
    else
        summary.Format(u"Found %d recent thread(s).", written);
    LMcpWriteToolResult(answer, summary, text);
}
