#include "mcp/tools/mail_action_detail.h"

#include "foundation/string_map.h"
#include "foundation/url_decode.h"
#include "foundation/utf8.h"
#include "mcp/tools/search_engine.h"
#include "mcp/tools/tool_framework.h"

namespace {

struct Action {
    const char16_t* word;
    const char16_t* label;
};
constexpr Action kActions[] = {
    {u"TRASH", u"trash"}, {u"MOVE", u"move"}, {u"FORWARD", u"forward"}, {u"REDIRECT", u"redirect"}, {u"REPLY", u"reply"},
};

bool Is(const char16_t* a, const char16_t* b) { return LCompareNoCase(a, LTextLength(a), b, LTextLength(b)) == 0; }

}  // namespace

const char16_t* LMcpActionWord(const char16_t* word, const char16_t** label) {
    for (const Action& a : kActions) {
        if (Is(word, a.word)) {
            if (label) *label = a.label;
            return a.word;
        }
    }
    return nullptr;
}

bool LMcpParseMailAction(const char16_t* action, const LJsonValue& args, LString& detail, const char16_t** label) {
    detail.Clear();
    *label = u"";
    const char16_t* word = LMcpActionWord(action, label);
    if (!word) return false;
    if (Is(word, u"TRASH")) return true;
    LString box, name;
    LMcpGetStringArg(args, "mailbox_id", box);
    if (box.IsEmpty()) LMcpGetStringArg(args, "mailbox_name", box);
    if (Is(word, u"MOVE")) {
        detail.AppendString(box);
        return !box.IsEmpty();
    }
    LString to, message;
    LMcpGetStringArg(args, "to", to);
    LMcpGetStringArg(args, "message", message);
    if (Is(word, u"REPLY") ? message.IsEmpty() : to.IsEmpty()) return false;
    LStringMap form;
    if (!to.IsEmpty()) form.Set(u"to", to.c_str());
    if (!message.IsEmpty()) form.Set(u"message", message.c_str());
    if (!box.IsEmpty()) form.Set(u"box", box.c_str());
    form.ToUrlEncodedForm(detail);
    return true;
}

void LMcpWriteMailActionDetail(LJsonWriter& json, LAppDatabaseAccount& db, const char16_t* account_id,
                               const char16_t* target) {
    if (!target || !target[0]) return;
    char16_t id[260], name[260];
    if (LMcpResolveMailbox(db, account_id, target, nullptr, id, name) ||
        LMcpResolveMailbox(db, account_id, nullptr, target, id, name)) {
        json.String("mailbox_id", id);
        json.String("mailbox_name", name);
        return;
    }
    json.String("mailbox_id", target);
    json.String("mailbox_name", target);
}

void LMcpWriteRuleActionDetail(LJsonWriter& json, LAppDatabaseAccount& db, const char16_t* account_id,
                               const char16_t* action, const char16_t* detail) {
    json.String("action", action);
    if (Is(action, u"MOVE")) {
        LMcpWriteMailActionDetail(json, db, account_id, detail);
        return;
    }
    if (Is(action, u"TRASH")) return;
    // The form was written as UTF-8 percent escapes, so it is read back as
    // UTF-8: a name or note beyond ASCII comes back as it was given.
    LStringMap form;
    LStringA utf8;
    utf8.SetUtf8FromWide(detail);
    LParseUrlEncodedForm(form, utf8.c_str());
    const char16_t* to = form.GetText(u"to", u"");
    if (!to[0]) to = form.GetText(u"email", u"");
    char16_t field[260];
    if (to[0]) {
        LCopyField(field, to);
        json.String("to", field);
    }
    const char16_t* message = form.GetText(u"message", u"");
    if (message[0]) {
        LCopyField(field, message);
        json.String("message", field);
    }
    LMcpWriteMailActionDetail(json, db, account_id, form.GetText(u"box", u""));
}
