// draft_mail and send_mail: a draft stored in the account's Drafts mailbox,
// or a new message queued for the send-queue worker.
#include "foundation/format.h"
#include "mail/mail_services.h"
#include "mail/queue/send_queue.h"
#include "mcp/mcp_settings.h"
#include "mcp/tools/tool_framework.h"
#include "mcp/tools/tools.h"
#include "net/mime/address.h"

namespace {

// A header holds one line: each run of CR and LF becomes one space, so no
// text given here can start a header of its own.
void OneLine(LString& s) {
    LString out;
    for (uint64_t i = 0; i < s.length; ++i) {
        char16_t c = s.buffer[i];
        if (c != u'\r' && c != u'\n') {
            out.AppendChar(c);
        } else if (i == 0 || (s.buffer[i - 1] != u'\r' && s.buffer[i - 1] != u'\n')) {
            out.AppendChar(u' ');
        }
    }
    s.Clear();
    s.AppendString(out);
}

// An address text: trimmed of blanks and controls at both ends, one line.
void ReadAddress(const LJsonValue& args, const char* name, LString& out) {
    LMcpGetStringArg(args, name, out);
    out.Trim();
    OneLine(out);
}

}  // namespace

void LMcpToolDraftMail(LMcpAnswer& answer, LAppDatabaseAccount& db, const LMcpArgs& args) {
    char16_t account[260];
    LMcpResolveAccountId(db, args, account);
    if (!account[0]) {
        LMcpWriteToolError(answer, u"draft_mail requires account_id or account_email.");
        return;
    }
    if (!LMcpSettingBool(db, u"DraftEnabled", false)) {
        LMcpWriteToolErrorF(answer, u"%s is disabled. Enable MCP %s on the MCP page first.", u"draft_mail",
                            u"draft actions");
        return;
    }
    LString to, cc, bcc, reply_to, subject, body_text, body_html;
    ReadAddress(args, "to", to);
    ReadAddress(args, "cc", cc);
    ReadAddress(args, "bcc", bcc);
    ReadAddress(args, "reply_to", reply_to);
    LMcpGetStringArg(args, "subject", subject);
    OneLine(subject);
    LMcpGetStringArg(args, "body_text", body_text);
    LMcpGetStringArg(args, "body_html", body_html);
    char16_t id[260] = {};
    if (!LEmailStoreDraft(db, account, to.c_str(), cc.c_str(), bcc.c_str(), reply_to.c_str(), subject.c_str(),
                          body_text.c_str(), body_html.c_str(), id)) {
        LMcpWriteToolError(answer, u"The draft email could not be stored.");
        return;
    }
    LStringA text;
    LJsonWriter json(text);
    json.BeginObject();
    json.BeginObjectNamed("draft");
    json.String("email_id", id);
    json.String("account_id", account);
    const char* names[] = {"to", "cc", "bcc", "reply_to", "subject", "body_text", "body_html"};
    const LString* values[] = {&to, &cc, &bcc, &reply_to, &subject, &body_text, &body_html};
    for (int i = 0; i < 7; ++i) json.String(names[i], values[i]->c_str());
    json.EndObject();
    json.EndObject();
    LString summary;
    summary.Format(u"Stored draft email %s for account %s.", id, account);
    LMcpWriteToolResult(answer, summary, text);
}

void LMcpToolSendMail(LMcpAnswer& answer, LAppDatabaseAccount& db, const LMcpArgs& args) {
    char16_t account[260];
    LMcpResolveAccountId(db, args, account);
    if (!account[0]) {
        LMcpWriteToolError(answer, u"send_mail requires account_id or account_email.");
        return;
    }
    LString to, reply_to, subject, body_text, body_html;
    ReadAddress(args, "to", to);
    ReadAddress(args, "reply_to", reply_to);
    if (to.IsEmpty()) {
        LMcpWriteToolError(answer, u"send_mail requires to.");
        return;
    }
    if (!LEmailAddressListIsValid(to.c_str())) {
        LMcpWriteToolError(answer, u"send_mail to must be a valid email address.");
        return;
    }
    if (!reply_to.IsEmpty() && !LEmailAddressListIsValid(reply_to.c_str())) {
        LMcpWriteToolError(answer, u"send_mail reply_to must be a valid email address.");
        return;
    }
    LMcpGetStringArg(args, "subject", subject);
    OneLine(subject);
    LMcpGetStringArg(args, "body_text", body_text);
    LMcpGetStringArg(args, "body_html", body_html);
    LString html;
    if (!body_html.IsEmpty())
        html.AppendString(body_html);
    else if (!body_text.IsEmpty())
        LEmailAppendTextAsHtml(html, body_text.c_str());
    int32_t limit = 0, used = 0;
    LMcpSendSlot slot;
    if (!LMcpTakeSendQuota(answer, db, u"send_mail", &limit, &used, &slot)) return;
    char16_t email_id[260] = {0};
    if (LEmailQueueOutgoingEx(db, account, to.c_str(), reply_to.c_str(), subject.c_str(), html.c_str(),
                              LQueueExtras(), email_id) != 0) {
        LMcpReturnSendQuota(db, slot);
        LMcpWriteToolError(answer, u"The requested email could not be queued for delivery.");
        return;
    }
    LStringA text;
    LJsonWriter json(text);
    json.BeginObject();
    json.BeginObjectNamed("queued_mail");
    // get_mail with this ID tells later whether it went out.
    json.String("email_id", email_id);
    json.String("account_id", account);
    json.String("to", to.c_str());
    json.String("reply_to", reply_to.c_str());
    json.String("subject", subject.c_str());
    json.EndObject();
    LMcpWriteSendQuota(json, limit, used);
    json.EndObject();
    LString summary;
    summary.Format(u"Queued email %s to %s from account %s for background delivery; get_mail with this email_id "
                   u"shows whether it was delivered.",
                   email_id, to, account);
    LMcpWriteToolResult(answer, summary, text);
}
