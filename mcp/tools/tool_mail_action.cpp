// move_mail_trash, move_mail_mailbox, forward_mail, redirect_mail and
// reply_mail: one stored message through the action executor of the mail
// rules. A sending action takes one slot of the daily send quota, and gives
// it back when the action fails.
#include <string_view>

#include "mail/mail_services.h"
#include "mcp/tools/mail_action_detail.h"
#include "mcp/tools/search_engine.h"
#include "mcp/tools/tool_framework.h"
#include "mcp/tools/tools.h"
#include "net/mime/address.h"

void LMcpToolMailAction(LMcpAnswer& answer, LAppDatabaseAccount& db, const LMcpArgs& args, const char16_t* tool,
                        const char16_t* action, bool sending) {
    char16_t email_id[260];
    if (!LMcpGetTextArg(args, "email_id", email_id) || !email_id[0]) {
        LMcpWriteToolErrorF(answer, u"%s requires email_id.", tool);
        return;
    }
    LString detail;
    const char16_t* label = u"";
    if (!LMcpParseMailAction(action, args, detail, &label)) {
        LMcpWriteToolErrorF(answer, u"%s arguments were invalid.", tool);
        return;
    }
    int32_t limit = 0, used = 0;
    LMcpSendSlot slot;
    if (sending) {
        // The recipients are checked before a slot is taken: the composer
        // must never see a list that could carry a header of its own.
        // (A reply goes to the message's sender; it has no "to" to check.)
        LString to;
        LMcpGetStringArg(args, "to", to);
        to.Trim();
        if (std::u16string_view(action) != u"REPLY" && !LEmailAddressListIsValid(to.c_str())) {
            LMcpWriteToolErrorF(answer, u"%s to must be a valid email address.", tool);
            return;
        }
        char16_t mailbox_id[260], mailbox_name[260];
        LMcpGetTextArg(args, "mailbox_id", mailbox_id);
        LMcpGetTextArg(args, "mailbox_name", mailbox_name);
        LMcpTrimSpaces(mailbox_id);
        LMcpTrimSpaces(mailbox_name);
        if (mailbox_id[0] || mailbox_name[0]) {
            char16_t account[260] = {}, id[260], name[260];
            LAppDatabaseCursor c;
            c.QueryF(db, u"SELECT ACCOUNT_ID FROM %s.EMAIL_MESSAGES WHERE ID='%Q' AND IS_DELETED=0 LIMIT 1;", u"main",
                     email_id);
            if (c.HasRow()) c.GetColumnText(0, u"", account);
            if (!account[0] || !LMcpResolveMailbox(db, account, mailbox_id, mailbox_name, id, name)) {
                LMcpWriteToolErrorF(answer, u"%s mailbox_id/mailbox_name was not found.", tool);
                return;
            }
        }
        if (!LMcpTakeSendQuota(answer, db, tool, &limit, &used, &slot)) return;
    } else if (!LMcpCheckMoveEnabled(answer, db, tool)) {
        return;
    }
    if (!LRulesRunAction(email_id, u"MCP", action, detail.c_str())) {
        if (sending) LMcpReturnSendQuota(db, slot);
        LMcpWriteToolError(answer, u"The requested mail action did not complete successfully.");
        return;
    }
    LStringA text;
    LJsonWriter json(text);
    json.BeginObject();
    json.BeginObjectNamed("action");
    json.String("email_id", email_id);
    json.String("action", action);
    json.String("detail", detail.c_str());
    json.EndObject();
    if (sending) LMcpWriteSendQuota(json, limit, used);
    json.EndObject();
    LString summary;
    summary.Format(u"Applied %s action to email %s.", label, email_id);
    LMcpWriteToolResult(answer, summary, text);
}
