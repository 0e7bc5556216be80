// The discovery tools: list_accounts, list_mailboxes, downloadmessages_wait.
#include "mail/sync/sync_engine.h"
#include "mcp/tools/tool_framework.h"
#include "mcp/tools/tools.h"

namespace {

constexpr int64_t kMinWaitMs = 1000;
constexpr int64_t kMaxWaitMs = 120000;
constexpr int64_t kDefaultWaitMs = 30000;

uint32_t TimeoutArg(const LMcpArgs& args) {
    int64_t ms = kDefaultWaitMs;
    LMcpGetIntArg(args, "timeout_ms", kMinWaitMs, kMaxWaitMs, kDefaultWaitMs, &ms);
    return static_cast<uint32_t>(ms);
}

}  // namespace

void LMcpToolListAccounts(LMcpAnswer& answer, LAppDatabaseAccount& db) {
    LStringA text;
    LJsonWriter json(text);
    json.BeginObject();
    json.BeginArrayNamed("accounts");
    int32_t count = 0;
    LAppDatabaseCursor c;
    for (c.QueryF(db, u"SELECT ID, EMAIL FROM %s.EMAILACCOUNTS WHERE DELETED IS NULL ORDER BY EMAIL;", u"main");
         c.HasRow(); c.Step()) {
        json.BeginObject();
        LMcpWriteColumn(json, "id", c, 0);
        LMcpWriteColumn(json, "email", c, 1);
        json.EndObject();
        ++count;
    }
    json.EndArray();
    json.EndObject();
    LString summary;
    summary.Format(u"Found %d active account(s).", count);
    LMcpWriteToolResult(answer, summary, text);
}

void LMcpToolListMailboxes(LTaskProgress& wait, LMcpAnswer& answer, LAppDatabaseAccount& db, const LMcpArgs& args) {
    char16_t account[260];
    LMcpResolveAccountId(db, args, account);
    bool refresh = LMcpGetTrueArg(args, "refresh");
    uint32_t timeout = TimeoutArg(args);
    int32_t triggered = 0;
    if (refresh) {
        if (!account[0]) {
            LMcpWriteToolError(answer, u"list_mailboxes refresh=true requires account_id.");
            return;
        }
        if (!LMailSyncIsStarted()) {
            LMcpWriteToolError(answer, u"Porlinex mail sync engine is not started.");
            return;
        }
        bool found = false, ok = false;
        if (!LMailSyncRefreshListAndWait(wait, account, timeout, triggered, found, ok)) {
            LMcpWriteToolError(answer, found ? u"list_mailboxes refresh timed out before the mailbox list settled."
                                             : u"list_mailboxes could not find account_id.");
            return;
        }
        if (!ok) {
            LMcpWriteToolError(answer, u"list_mailboxes could not refresh the mailbox list.");
            return;
        }
    }
    LString sql;
    sql.Format(u"SELECT ID, EMAILACCOUNTS_ID, IMAP_NAME, IMAP_FLAGS, LAST_SYNC_UTC FROM %s.EMAILMAILBOXES WHERE "
               u"DELETED IS NULL",
               u"main");
    if (account[0]) sql.AppendFormat(u" AND EMAILACCOUNTS_ID='%Q'", account);
    sql.Append(u" ORDER BY EMAILACCOUNTS_ID, CASE WHEN UPPER(IMAP_NAME)='INBOX' THEN 0 ELSE 1 END, IMAP_NAME;");
    LStringA text;
    LJsonWriter json(text);
    json.BeginObject();
    json.BeginArrayNamed("mailboxes");
    int32_t count = 0;
    LAppDatabaseCursor c;
    for (c.Query(db, sql.c_str()); c.HasRow(); c.Step()) {
        json.BeginObject();
        LMcpWriteColumn(json, "mailbox_id", c, 0);
        LMcpWriteColumn(json, "account_id", c, 1);
        LMcpWriteColumn(json, "mailbox_name", c, 2);
        LMcpWriteColumn(json, "flags", c, 3);
        LMcpWriteColumn(json, "last_sync_utc", c, 4);
        json.EndObject();
        ++count;
    }
    json.EndArray();
    if (account[0]) json.String("account_id", account);
    if (refresh) {
        json.Bool("refresh", true);
        json.Int("timeout_ms", static_cast<int32_t>(timeout));
        json.Int("triggered_count", triggered);
    }
    json.EndObject();
    LString summary;
    summary.Format(u"Found %d mailbox row(s).", count);
    LMcpWriteToolResult(answer, summary, text);
}

void LMcpToolDownloadMessagesWait(LTaskProgress& wait, LMcpAnswer& answer, LAppDatabaseAccount& db,
                                  const LMcpArgs& args) {
    char16_t account[260], mailbox[260];
    LMcpResolveAccountId(db, args, account);
    LMcpGetTextArg(args, "mailbox_id", mailbox);
    LMcpTrimSpaces(mailbox);
    uint32_t timeout = TimeoutArg(args);
    bool started = LMailSyncIsStarted();
    int32_t workers = 0, triggered = 0;
    bool account_found = false, target_found = false, settled = false;
    if (started)
        settled = LMailSyncWakeAndWait(wait, account, mailbox, timeout, workers, triggered, account_found, target_found);
    LStringA text;
    LJsonWriter json(text);
    json.BeginObject();
    json.Int("timeout_ms", static_cast<int32_t>(timeout));
    if (account[0]) json.String("account_id", account);
    if (mailbox[0]) json.String("mailbox_id", mailbox);
    json.Int("account_count", workers);
    json.Int("triggered_count", triggered);
    json.EndObject();
    LString summary;
    if (settled) {
        if (mailbox[0])
            summary.Format(u"Mail sync is settled for mailbox %s; %d refresh thread(s) were triggered.", mailbox,
                           triggered);
        else if (account[0])
            summary.Format(u"Mail sync is settled for account %s; %d getter(s) were woken.", account, triggered);
        else
            summary.Format(u"Mail sync is settled across %d active account(s); %d getter(s) were woken.", workers,
                           triggered);
        LMcpWriteToolResult(answer, summary, text);
        return;
    }
    if (!started)
        summary.Assign(u"Porlinex mail sync engine is not started.");
    else if (mailbox[0] && !target_found)
        summary.Assign(u"downloadmessages_wait could not find mailbox_id.");
    else if (mailbox[0] && !account_found)
        summary.Assign(u"downloadmessages_wait could not find account_id for mailbox_id.");
    else if (!mailbox[0] && account[0] && !account_found)
        summary.Assign(u"downloadmessages_wait could not find a running sync thread for account_id.");
    else
        summary.Assign(u"Porlinex mail sync did not settle before the timeout.");
    LMcpWriteToolResult(answer, summary, text);
    answer.Bool("isError", true);
}
