#include "mcp/tools/search_engine.h"
#include "mcp/tools/structured_search.h"
#include "mcp/tools/tool_framework.h"

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
