#pragma once
// The handlers of the 29 MCP tools. Each is called by the dispatcher with
// "result" already open in the answer and writes one envelope into it
// (tool_framework.h). The tools that wait take the waiting interface of the
// connection that serves the request, so a stop of the web server ends them.
#include "foundation/database.h"
#include "foundation/json_value.h"
#include "foundation/json_writer.h"
#include "foundation/task_progress.h"

using LMcpAnswer = LJsonWriter;
using LMcpArgs = LJsonValue;

void LMcpToolListAccounts(LMcpAnswer& answer, LAppDatabaseAccount& db);
void LMcpToolListMailboxes(LTaskProgress& wait, LMcpAnswer& answer, LAppDatabaseAccount& db, const LMcpArgs& args);
void LMcpToolDownloadMessagesWait(LTaskProgress& wait, LMcpAnswer& answer, LAppDatabaseAccount& db,
                                  const LMcpArgs& args);
void LMcpToolSearchMail(LMcpAnswer& answer, LAppDatabaseAccount& db, const LMcpArgs& args);
void LMcpToolExplainSearchSchema(LMcpAnswer& answer, LAppDatabaseAccount& db);
void LMcpToolCheckSearchIndex(LMcpAnswer& answer, LAppDatabaseAccount& db, const LMcpArgs& args);
void LMcpToolGetMail(LMcpAnswer& answer, LAppDatabaseAccount& db, const LMcpArgs& args);
void LMcpToolGetMailBatch(LMcpAnswer& answer, LAppDatabaseAccount& db, const LMcpArgs& args);
void LMcpToolGetMailHeaders(LMcpAnswer& answer, LAppDatabaseAccount& db, const LMcpArgs& args);
void LMcpToolGetMailAttachments(LMcpAnswer& answer, LAppDatabaseAccount& db, const LMcpArgs& args);
void LMcpToolSaveAttachment(LMcpAnswer& answer, LAppDatabaseAccount& db, const LMcpArgs& args);

// The tools of structured search, threads, listings, statistics, drafts,
// sending, rules and mail actions.
void LMcpToolAdvancedSearchMail(LMcpAnswer& answer, LAppDatabaseAccount& db, const LMcpArgs& args);
void LMcpToolSearchMailAddress(LMcpAnswer& answer, LAppDatabaseAccount& db, const LMcpArgs& args);
void LMcpToolListRecentMail(LMcpAnswer& answer, LAppDatabaseAccount& db, const LMcpArgs& args);
void LMcpToolListRecentThreads(LMcpAnswer& answer, LAppDatabaseAccount& db, const LMcpArgs& args);
void LMcpToolMailStats(LMcpAnswer& answer, LAppDatabaseAccount& db, const LMcpArgs& args);
void LMcpToolGetThread(LMcpAnswer& answer, LAppDatabaseAccount& db, const LMcpArgs& args);
void LMcpToolGetThreadCompact(LMcpAnswer& answer, LAppDatabaseAccount& db, const LMcpArgs& args);
void LMcpToolListMailboxMail(LMcpAnswer& answer, LAppDatabaseAccount& db, const LMcpArgs& args);
void LMcpToolListRules(LMcpAnswer& answer, LAppDatabaseAccount& db, const LMcpArgs& args);
void LMcpToolAddRule(LMcpAnswer& answer, LAppDatabaseAccount& db, const LMcpArgs& args);
void LMcpToolDeleteRule(LMcpAnswer& answer, LAppDatabaseAccount& db, const LMcpArgs& args);
void LMcpToolDraftMail(LMcpAnswer& answer, LAppDatabaseAccount& db, const LMcpArgs& args);
void LMcpToolSendMail(LMcpAnswer& answer, LAppDatabaseAccount& db, const LMcpArgs& args);
// move_mail_trash, move_mail_mailbox, forward_mail, redirect_mail, reply_mail.
void LMcpToolMailAction(LMcpAnswer& answer, LAppDatabaseAccount& db, const LMcpArgs& args, const char16_t* tool,
                        const char16_t* action, bool sending);
