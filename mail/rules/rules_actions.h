#pragma once
// The rule actions on the caller's handle. from_rule: a rule runs it, so
// what it sends is marked as generated (RFC 3834) and a REPLY answers one
// sender at most once a day, its ledger row and queued answer one
// transaction. The MCP tools act for the user and run them plainly.
#include <string>

#include "foundation/database.h"

bool LRulesRunActionOn(LAppDatabaseAccount& db, const char16_t* message_id, const char16_t* label,
                       const std::u16string& function, const std::u16string& detail, bool from_rule);

// TRASH: the account's trash mailbox, made on the server and in the store
// when the account has none. A failure is logged with its cause.
bool LRulesMoveToTrash(LAppDatabaseAccount& db, const char16_t* message_id, const char16_t* label);
