// The helpers the structured search, listing, thread and statistics tools
// share (structured_search.h).
#include "foundation/utf8.h"
#include "mcp/tools/search_engine.h"
#include "mcp/tools/structured_search.h"
#include "mcp/tools/tool_framework.h"

namespace {

constexpr size_t kPreviewChars = 512;

}  // namespace

bool LMcpGetMailboxScope(LJsonWriter& answer, LAppDatabaseAccount& db, const LJsonValue& args, const char16_t* tool,
                         bool required, LMcpMailboxScope& scope) {
    char16_t id[260], name[260];
    LMcpGetTextArg(args, "mailbox_id", id);
    LMcpGetTextArg(args, "mailbox_name", name);
    LMcpTrimSpaces(id);
    LMcpTrimSpaces(name);
    scope.mailbox_given = id[0] || name[0];
    if (required && !scope.mailbox_given) {
        LMcpWriteToolErrorF(answer, u"%s requires mailbox_id or mailbox_name.", tool);
        return false;
    }
    LMcpResolveAccountId(db, args, scope.account);
    if (scope.mailbox_given && !LMcpResolveMailbox(db, scope.account, id, name, scope.mailbox, scope.mailbox_name)) {
        LMcpWriteToolErrorF(answer, u"%s could not resolve mailbox_id/mailbox_name.", tool);
        return false;
    }
    return true;
}

void LMcpWriteMailboxScope(LJsonWriter& json, const LMcpMailboxScope& scope) {
    if (!scope.mailbox_given) return;
    json.String("mailbox_id", scope.mailbox);
    json.String("mailbox_name", scope.mailbox_name);
}

const char16_t* LMcpBodyFormatName(int32_t mode) {
    return mode == LMcpBodyText ? u"text" : mode == LMcpBodyHtml ? u"html" : mode == LMcpBodyBoth ? u"both" : u"none";
}

void LMcpWriteRowHead(LJsonWriter& json, LAppDatabaseCursor& c) {
    static constexpr const char* kNames[] = {"id", "account_id", "mailbox_id", "mailbox_name", "subject", "from", "to"};
    for (uint64_t i = 0; i < 7; ++i) LMcpWriteColumnField(json, kNames[i], c, i);
}

void LMcpWritePreview(LJsonWriter& json, LAppDatabaseCursor& c, uint64_t preview_column, uint64_t body_column) {
    char16_t preview[kPreviewChars];
    c.GetColumnText(preview_column, u"", preview);
    if (!preview[0]) {
        LString body;
        c.GetColumnString(body_column, body);
        LEmailMakePreviewText(body, LString(), preview, kPreviewChars);
    }
    json.String("preview", preview);
}

void LMcpWriteStringOrArray(LJsonWriter& json, const char* name, const LMcpStringList& list) {
    json.BeginArrayNamed(name);
    for (const std::u16string& s : list.items) json.String(nullptr, s.c_str());
    json.EndArray();
}

int LMcpGetStringOrArray(const LJsonValue& args, const char* name, LMcpStringList& out) {
    out.items.clear();
    const LJsonValue* v = args.kind == LJsonObject ? args.FindMember(name) : nullptr;
    auto add = [&out](const LJsonValue& s) {
        char16_t text[260];
        LString wide;
        wide.SetUtf8N(s.text.c_str(), s.text.length);
        LCopyField(text, wide.c_str());
        LMcpTrimSpaces(text);
        if (!text[0]) return false;
        out.items.emplace_back(text);
        return true;
    };
    if (!v) return LMcpListAbsent;
    if (v->IsString()) return add(*v) ? LMcpListGiven : LMcpListAbsent;
    if (v->kind != LJsonArray || v->count == 0) return LMcpListAbsent;
    // Each entry becomes a clause: a bound keeps the statement within what
    // SQLite parses.
    if (v->count > LMcpMaxListEntries) return LMcpListTooLong;
    for (size_t i = 0; i < v->count; ++i) {
        if (!v->elements[i].IsString()) return LMcpListNotString;
        if (!add(v->elements[i])) return LMcpListEmptyEntry;
    }
    return LMcpListGiven;
}

bool LMcpGetTimeWindow(LJsonWriter& answer, const LJsonValue& args, const char16_t* tool, LMcpTimeWindow& w) {
    w.after_given = LMcpGetTimeArg(args, "after_utc", &w.after);
    w.before_given = LMcpGetTimeArg(args, "before_utc", &w.before);
    if (w.after_given && w.before_given && w.before < w.after) {
        LMcpWriteToolErrorF(answer, u"%s after_utc must be less than or equal to before_utc.", tool);
        return false;
    }
    return true;
}

void LMcpAppendTimeWindow(LString& sql, const char16_t* column, const LMcpTimeWindow& w) {
    if (w.after_given) sql.AppendFormat(u" AND %s>=%I64d", column, w.after);
    if (w.before_given) sql.AppendFormat(u" AND %s<=%I64d", column, w.before);
}

void LMcpWriteTimeWindow(LJsonWriter& json, const LMcpTimeWindow& w) {
    if (w.after_given) json.Int64("after_utc", w.after);
    if (w.before_given) json.Int64("before_utc", w.before);
}

void LMcpWriteCount(LJsonWriter& json, const char* name, int64_t count) {
    if (json.needComma) json.out_raw->AppendBulk(",", 1);
    json.out_raw->AppendFormat("\"%J\":%I64d", name, count);
    json.needComma = 1;
}
