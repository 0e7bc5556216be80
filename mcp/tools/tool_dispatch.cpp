#include "mcp/tools/tool_dispatch.h"

#include <cstring>
#include <string_view>

#include "foundation/utf8.h"
#include "foundation/wait.h"
#include "mcp/tools/tool_catalogue.h"
#include "mcp/tools/tool_framework.h"
#include "mcp/tools/tools.h"
#include "web/http/activity_log.h"
#include "web/http/weblet.h"

namespace {

struct Call {
    LJsonWriter& answer;
    LAppDatabaseAccount& db;
    const LJsonValue& args;
    LTaskProgress& wait;
};

using Handler = void (*)(Call&);

// In the catalogue's order; the names are the catalogue's.
constexpr struct {
    const char* name;
    Handler run;
} kHandlers[] = {
    {"list_accounts", [](Call& c) { LMcpToolListAccounts(c.answer, c.db); }},
    {"list_mailboxes", [](Call& c) { LMcpToolListMailboxes(c.wait, c.answer, c.db, c.args); }},
    {"downloadmessages_wait", [](Call& c) { LMcpToolDownloadMessagesWait(c.wait, c.answer, c.db, c.args); }},
    {"search_mail", [](Call& c) { LMcpToolSearchMail(c.answer, c.db, c.args); }},
    {"advanced_search_mail", [](Call& c) { LMcpToolAdvancedSearchMail(c.answer, c.db, c.args); }},
    {"search_mail_address", [](Call& c) { LMcpToolSearchMailAddress(c.answer, c.db, c.args); }},
    {"list_recent_mail", [](Call& c) { LMcpToolListRecentMail(c.answer, c.db, c.args); }},
    {"list_recent_threads", [](Call& c) { LMcpToolListRecentThreads(c.answer, c.db, c.args); }},
    {"mail_stats", [](Call& c) { LMcpToolMailStats(c.answer, c.db, c.args); }},
    {"explain_search_schema", [](Call& c) { LMcpToolExplainSearchSchema(c.answer, c.db); }},
    {"check_search_index", [](Call& c) { LMcpToolCheckSearchIndex(c.answer, c.db, c.args); }},
    {"get_thread", [](Call& c) { LMcpToolGetThread(c.answer, c.db, c.args); }},
    {"get_thread_compact", [](Call& c) { LMcpToolGetThreadCompact(c.answer, c.db, c.args); }},
    {"list_mailbox_mail", [](Call& c) { LMcpToolListMailboxMail(c.answer, c.db, c.args); }},
    {"get_mail", [](Call& c) { LMcpToolGetMail(c.answer, c.db, c.args); }},
    {"get_mail_batch", [](Call& c) { LMcpToolGetMailBatch(c.answer, c.db, c.args); }},
    {"get_mail_headers", [](Call& c) { LMcpToolGetMailHeaders(c.answer, c.db, c.args); }},
    {"get_mail_attachments", [](Call& c) { LMcpToolGetMailAttachments(c.answer, c.db, c.args); }},
    {"save_attachment", [](Call& c) { LMcpToolSaveAttachment(c.answer, c.db, c.args); }},
    {"list_rules", [](Call& c) { LMcpToolListRules(c.answer, c.db, c.args); }},
    {"add_rule", [](Call& c) { LMcpToolAddRule(c.answer, c.db, c.args); }},
    {"delete_rule", [](Call& c) { LMcpToolDeleteRule(c.answer, c.db, c.args); }},
    {"draft_mail", [](Call& c) { LMcpToolDraftMail(c.answer, c.db, c.args); }},
    {"send_mail", [](Call& c) { LMcpToolSendMail(c.answer, c.db, c.args); }},
    {"move_mail_trash",
     [](Call& c) { LMcpToolMailAction(c.answer, c.db, c.args, u"move_mail_trash", u"TRASH", false); }},
    {"move_mail_mailbox",
     [](Call& c) { LMcpToolMailAction(c.answer, c.db, c.args, u"move_mail_mailbox", u"MOVE", false); }},
    {"forward_mail", [](Call& c) { LMcpToolMailAction(c.answer, c.db, c.args, u"forward_mail", u"FORWARD", true); }},
    {"redirect_mail",
     [](Call& c) { LMcpToolMailAction(c.answer, c.db, c.args, u"redirect_mail", u"REDIRECT", true); }},
    {"reply_mail", [](Call& c) { LMcpToolMailAction(c.answer, c.db, c.args, u"reply_mail", u"REPLY", true); }},
};

// UTF-16 units of a UTF-8 text: one per lead byte, two for a 4-byte form.
size_t Utf16Length(const LStringA& text) {
    size_t n = 0;
    for (char ch : text.View()) {
        auto b = static_cast<unsigned char>(ch);
        if ((b & 0xC0) != 0x80) n += b >= 0xF0 ? 2 : 1;
    }
    return n;
}

// The argument (or array element) read as a 259-character text that is
// longer: the tool must not run on a cut identifier or filter.
const char* OverlongArgument(const LMcpToolInfo& tool, const LJsonValue& args) {
    if (args.kind != LJsonObject) return nullptr;
    for (size_t i = 0; i < tool.arg_count; ++i) {
        const LMcpArgInfo& a = tool.args[i];
        if (a.kind != LMcpArgKind::Text && a.kind != LMcpArgKind::TextArray && a.kind != LMcpArgKind::EmailIds)
            continue;
        const LJsonValue* v = args.FindMember(a.name);
        if (!v) continue;
        if (v->IsString() && Utf16Length(v->text) > 259) return a.name;
        if (v->kind == LJsonArray)
            for (size_t k = 0; k < v->count; ++k)
                if (v->elements[k].IsString() && Utf16Length(v->elements[k].text) > 259) return a.name;
    }
    return nullptr;
}

const char* TypeName(LMcpArgKind kind) {
    switch (kind) {
        case LMcpArgKind::Integer: return "a number";
        case LMcpArgKind::Boolean: return "a boolean";
        case LMcpArgKind::TextArray: return "a string or an array of strings";
        case LMcpArgKind::EmailIds:
        case LMcpArgKind::Conditions: return "an array";
        case LMcpArgKind::Cursor: return "an object";
        default: return "a string";
    }
}

bool HasType(LMcpArgKind kind, const LJsonValue& v) {
    switch (kind) {
        case LMcpArgKind::Integer: return v.IsNumber();
        case LMcpArgKind::Boolean: return v.kind == LJsonBool;
        case LMcpArgKind::TextArray: return v.IsString() || v.kind == LJsonArray;
        case LMcpArgKind::EmailIds:
        case LMcpArgKind::Conditions: return v.kind == LJsonArray;
        case LMcpArgKind::Cursor: return v.kind == LJsonObject;
        default: return v.IsString();
    }
}

// An argument given with another JSON type than its schema names (null
// counts as not given). Handlers read such a member as missing, which would
// answer "requires email_id" for an email_id that is there.
bool WrongType(const LMcpToolInfo& tool, const LJsonValue& args, const char** name, const char** type) {
    if (args.kind != LJsonObject) return false;
    for (size_t i = 0; i < tool.arg_count; ++i) {
        const LMcpArgInfo& a = tool.args[i];
        struct {
            const char* name;
            LMcpArgKind kind;
        } members[2] = {{a.name, a.kind}, {nullptr, a.kind}};
        // The body options stand for two members.
        if (a.kind == LMcpArgKind::BodyOptions) {
            members[0] = {"body_format", LMcpArgKind::Text};
            members[1] = {"max_body_chars", LMcpArgKind::Integer};
        }
        for (const auto& m : members) {
            const LJsonValue* v = m.name ? args.FindMember(m.name) : nullptr;
            if (!v || v->kind == LJsonNull || HasType(m.kind, *v)) continue;
            *name = m.name;
            *type = TypeName(m.kind);
            return true;
        }
    }
    return false;
}

}  // namespace

void LMcpDispatchTool(LJsonWriter& answer, LAppDatabaseAccount& db, const char* tool_name, const LJsonValue& args,
                      Weblet* web_request) {
    const LMcpToolInfo* tool = LMcpFindTool(tool_name);
    if (!tool) {
        answer.BeginObjectNamed("error");
        answer.Int("code", -32602);
        answer.StringUTF8("message", "Requested tool was not found.");
        answer.EndObject();
        return;
    }
    answer.BeginObjectNamed("result");
    if (const char* name = OverlongArgument(*tool, args)) {
        LMcpWriteToolErrorF(answer, u"%s argument %s is longer than 259 characters.", tool_name, name);
        answer.EndObject();
        return;
    }
    const char *wrong = nullptr, *type = nullptr;
    if (WrongType(*tool, args, &wrong, &type)) {
        LMcpWriteToolErrorF(answer, u"%s argument %s must be %s.", tool_name, wrong, type);
        answer.EndObject();
        return;
    }
    LPlainWait plain;
    LTaskProgress& wait = web_request ? web_request->connection.Progress() : static_cast<LTaskProgress&>(plain);
    Call call{answer, db, args, wait};
    for (const auto& h : kHandlers) {
        if (std::strcmp(h.name, tool->name) == 0) {
            h.run(call);
            break;
        }
    }
    answer.EndObject();
}

void LMcpToolsCall(LJsonWriter& answer, LAppDatabaseAccount& db, const LJsonValue& request, Weblet* web_request) {
    const LJsonValue& params = request.Member("params");
    const LJsonValue& arguments = params.kind == LJsonObject ? params.Member("arguments") : LJsonValue::EmptyValue();
    const LJsonValue* name = params.kind == LJsonObject ? params.FindMember("name") : nullptr;
    if (!name || !name->IsString() || name->text.IsEmpty()) {
        answer.BeginObjectNamed("result");
        LMcpWriteToolError(answer, u"tools/call requires params.name.");
        answer.EndObject();
        return;
    }
    if (web_request) {
        char peer[32];
        web_request->PeerText(peer);
        LUTF8FromWide agent(web_request->HeaderText(u"User-Agent"));
        LStringA line;
        std::string_view shown = name->text.View().substr(0, 259);
        line.Format("tooluse tool=%s ip=%s useragent=%s", shown, peer, agent.text);
        // Both texts come from the request: nothing in them may break the line.
        for (uint64_t i = 0; i < line.length; ++i)
            if (static_cast<unsigned char>(line.buffer[i]) < 0x20) line.buffer[i] = '?';
        LActivityLogWrite(" MCP", line.c_str());
    }
    // A name with an inner NUL matches no catalogue name.
    LMcpDispatchTool(answer, db, std::memchr(name->text.c_str(), 0, name->text.length) ? "" : name->text.c_str(),
                     arguments, web_request);
}
