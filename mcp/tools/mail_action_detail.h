#pragma once
// The action of a stored rule or of an MCP mail action: the action word,
// its lower-case label and its detail text (the RULES.FUNCTION_DETAIL
// column), which the rules engine reads when it runs the action.
//   TRASH    empty
//   MOVE     the target mailbox as given (an ID or an IMAP name)
//   FORWARD, REDIRECT, REPLY
//            a URL-encoded form of "to", "message" and "box"
#include "foundation/database.h"
#include "foundation/json_value.h"
#include "foundation/json_writer.h"
#include "foundation/lstring.h"

// The canonical action word for a word in any case (null when unknown) and
// its label.
const char16_t* LMcpActionWord(const char16_t* word, const char16_t** label);
// The detail for the action from the arguments; false when the arguments
// the action needs are missing (MOVE a mailbox, FORWARD and REDIRECT "to",
// REPLY "message") or the action is unknown.
bool LMcpParseMailAction(const char16_t* action, const LJsonValue& args, LString& detail, const char16_t** label);
// "action" and the decoded detail of a stored action.
void LMcpWriteRuleActionDetail(LJsonWriter& json, LAppDatabaseAccount& db, const char16_t* account_id,
                               const char16_t* action, const char16_t* detail);
// "mailbox_id" and "mailbox_name" of a target mailbox text resolved within
// the account (the text itself for both when no mailbox has it).
void LMcpWriteMailActionDetail(LJsonWriter& json, LAppDatabaseAccount& db, const char16_t* account_id,
                               const char16_t* target);
