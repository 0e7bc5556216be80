// list_rules, add_rule and delete_rule: the stored mail rules the rules
// engine applies to arriving mail. A rule and its conditions are written in
// one transaction, so no rule is ever stored without its conditions.
#include <string>
#include <vector>

#include "foundation/string_map.h"
#include "mail/rules/rules.h"
#include "mail/store/store_transaction.h"
#include "mcp/mcp_settings.h"
#include "mcp/tools/mail_action_detail.h"
#include "mcp/tools/rule_id.h"
#include "mcp/tools/search_engine.h"
#include "mcp/tools/tool_framework.h"
#include "mcp/tools/tools.h"
#include "net/mime/address.h"

namespace {

constexpr uint64_t kMaxStored = 255;  // NAME, FUNCTION_DETAIL and TEST_DETAIL
constexpr int kIdAttempts = 100;

struct LMcpRuleCondition {
    const char16_t* part;
    const char16_t* test;
    LString value;
};

bool Is(const char16_t* a, const char16_t* b) { return LCompareNoCase(a, LTextLength(a), b, LTextLength(b)) == 0; }

// The canonical word of the list for a word in any case; null when none.
const char16_t* OneOf(const char16_t* word, std::initializer_list<const char16_t*> words) {
    for (const char16_t* w : words)
        if (Is(word, w)) return w;
    return nullptr;
}

void TrimSpaces(LString& s) {
    uint64_t start = 0, end = s.length;
    while (start < end && s.buffer[start] == u' ') ++start;
    while (end > start && s.buffer[end - 1] == u' ') --end;
    LString t;
    t.AppendN(s.c_str() + start, end - start);
    s.Clear();
    s.AppendString(t);
}

// Reads and checks the conditions in array order; the first failure is
// written and ends the read.
bool ReadConditions(LJsonWriter& answer, const LJsonValue& list, std::vector<LMcpRuleCondition>& out) {
    bool header_condition = false;
    for (size_t i = 0; i < list.count; ++i) {
        const LJsonValue& c = list.elements[i];
        if (c.kind != LJsonObject) {
            LMcpWriteToolError(answer, u"add_rule conditions must contain only objects.");
            return false;
        }
        LString part, test, value;
        if (!LMcpGetStringArg(c, "part", part) || !LMcpGetStringArg(c, "test", test) ||
            !LMcpGetStringArg(c, "value", value)) {
            LMcpWriteToolError(answer, u"add_rule each condition requires string part, test, and value fields.");
            return false;
        }
        TrimSpaces(part);
        TrimSpaces(test);
        value.Trim();
        if (value.IsEmpty()) {
            LMcpWriteToolError(answer, u"add_rule condition values must be non-empty strings.");
            return false;
        }
        if (value.length > kMaxStored) {
            LMcpWriteToolError(answer, u"add_rule condition values must be 255 characters or fewer.");
            return false;
        }
        const char16_t* p = OneOf(part.c_str(), {u"FROM", u"TO", u"CC", u"TOORCC", u"SUBJECT", u"BODY"});
        if (!p) {
            LMcpWriteToolError(answer, u"add_rule condition part must be FROM, TO, CC, TOORCC, SUBJECT, or BODY.");
            return false;
        }
        const char16_t* t = OneOf(test.c_str(), {u"IS", u"STARTS", u"CONTAINS"});
        if (!t) {
            LMcpWriteToolError(answer, u"add_rule condition test must be IS, STARTS, or CONTAINS.");
            return false;
        }
        if (OneOf(p, {u"FROM", u"TO", u"CC", u"TOORCC"}) && !Is(t, u"CONTAINS")) {
            LMcpWriteToolError(answer, u"add_rule address conditions must use test CONTAINS.");
            return false;
        }
        header_condition = header_condition || !Is(p, u"BODY");
        out.push_back({p, t, LString()});
        out.back().value.AppendString(value);
    }
    if (!header_condition) {
        LMcpWriteToolError(answer, u"add_rule requires at least one non-BODY condition.");
        return false;
    }
    return true;
}

void WriteConditions(LJsonWriter& json, const std::vector<LMcpRuleCondition>& conditions) {
    json.BeginArrayNamed("conditions");
    for (const LMcpRuleCondition& c : conditions) {
        json.BeginObject();
        json.String("part", c.part);
        json.String("test", c.test);
        json.String("value", c.value.c_str());
        json.EndObject();
    }
    json.EndArray();
}

// Inside the caller's write transaction: the uniqueness check and the
// INSERT cannot be split by another writer.
bool AllocateRuleId(LAppDatabaseAccount& db, char16_t id[LMcpRuleIdLength + 1]) {
    for (int i = 0; i < kIdAttempts; ++i) {
        if (!LMcpNewRuleId(id)) return false;
        LAppDatabaseCursor c;
        c.QueryF(db, u"SELECT ID FROM %s.RULES WHERE ID='%Q' LIMIT 1;", u"main", id);
        // Were the check to fail, the primary key still refuses a taken ID.
        if (!c.HasRow()) return true;
    }
    return false;
}

}  // namespace

void LMcpToolAddRule(LMcpAnswer& answer, LAppDatabaseAccount& db, const LMcpArgs& args) {
    char16_t account[260], action_arg[260], mailbox_id[260], mailbox_name[260], box[260], box_name[260];
    LMcpResolveAccountId(db, args, account);
    if (account[0]) {
        LAppDatabaseCursor c;
        c.QueryF(db, u"SELECT ID FROM %s.EMAILACCOUNTS WHERE ID='%Q' AND DELETED IS NULL LIMIT 1;", u"main", account);
        if (!c.HasRow()) {
            LMcpWriteToolError(answer, u"add_rule account_id was not found.");
            return;
        }
    }
    LMcpGetTextArg(args, "action", action_arg);
    LMcpTrimSpaces(action_arg);
    const char16_t* label = u"";
    const char16_t* action = LMcpActionWord(action_arg, &label);
    if (!action) {
        LMcpWriteToolError(answer, u"add_rule action must be TRASH, MOVE, FORWARD, REDIRECT, or REPLY.");
        return;
    }
    bool moving = Is(action, u"MOVE") || Is(action, u"TRASH");
    if (moving && !LMcpCheckMoveEnabled(answer, db, u"add_rule")) return;
    if (!moving && !LMcpSettingBool(db, u"SendEnabled", false)) {
        LMcpWriteToolErrorF(answer, u"%s is disabled. Enable MCP send actions on the MCP page first.", u"add_rule");
        return;
    }
    LMcpGetTextArg(args, "mailbox_id", mailbox_id);
    LMcpGetTextArg(args, "mailbox_name", mailbox_name);
    LMcpTrimSpaces(mailbox_id);
    LMcpTrimSpaces(mailbox_name);
    if (mailbox_id[0] || mailbox_name[0]) {
        if (!moving && !LMcpCheckMoveEnabled(answer, db, u"add_rule")) return;
        if (account[0] && !LMcpResolveMailbox(db, account, mailbox_id, mailbox_name, box, box_name)) {
            LMcpWriteToolError(answer, u"add_rule mailbox_id/mailbox_name was not found for account_id.");
            return;
        }
    }
    LString to, name;
    LMcpGetStringArg(args, "to", to);
    TrimSpaces(to);
    bool needs_to = Is(action, u"FORWARD") || Is(action, u"REDIRECT");
    if (needs_to && !LEmailAddressListIsValid(to.c_str())) {
        LMcpWriteToolError(answer, u"add_rule to must be a valid email address for FORWARD and REDIRECT.");
        return;
    }
    LMcpGetStringArg(args, "name", name);
    TrimSpaces(name);
    if (name.length > kMaxStored) {
        LMcpWriteToolError(answer, u"add_rule name must be 255 characters or fewer.");
        return;
    }
    if (name.IsEmpty()) name.Format(u"MCP %s rule", action);
    const LJsonValue& list = args.kind == LJsonObject ? args.Member("conditions") : LJsonValue::EmptyValue();
    if (list.kind != LJsonArray || list.count == 0) {
        LMcpWriteToolError(answer, u"add_rule requires a non-empty conditions array.");
        return;
    }
    LString detail;
    if (!LMcpParseMailAction(action, args, detail, &label)) {
        LMcpWriteToolError(answer, u"add_rule action-specific arguments were invalid.");
        return;
    }
    if (detail.length > kMaxStored) {
        LMcpWriteToolError(answer, u"add_rule action detail was too long to store.");
        return;
    }
    std::vector<LMcpRuleCondition> conditions;
    if (!ReadConditions(answer, list, conditions)) return;

    // Every early return below leaves through the transaction's destructor,
    // which rolls back: nothing half-written stays, no transaction stays open.
    char16_t rule_id[LMcpRuleIdLength + 1];
    {
        LStoreTransaction transaction(db);
        if (!transaction.Began()) {
            LMcpWriteToolError(answer, u"add_rule could not start a database transaction.");
            return;
        }
        if (!AllocateRuleId(db, rule_id)) {
            LMcpWriteToolError(answer, u"add_rule could not allocate a unique rule ID.");
            return;
        }
        if (!db.ExecF(u"INSERT INTO %s.RULES (ID, EMAILACCOUNT_ID, NAME, FUNCTION, FUNCTION_DETAIL, CREATED, LAST_SEEN, "
                      u"DELETED) VALUES ('%Q', '%Q', '%Q', '%Q', '%Q', datetime('now'), '', NULL);",
                      u"main", rule_id, account, name, action, detail)) {
            LMcpWriteToolError(answer, u"add_rule could not save the new rule.");
            return;
        }
        for (const LMcpRuleCondition& c : conditions) {
            if (!db.ExecF(u"INSERT INTO %s.RULES_CONDITIONS (RULE_ID, PART, TEST, TEST_DETAIL, DELETED) VALUES ('%Q', "
                          u"'%Q', '%Q', '%Q', NULL);",
                          u"main", rule_id, c.part, c.test, c.value)) {
                LMcpWriteToolError(answer, u"add_rule could not save all rule conditions.");
                return;
            }
        }
        if (!transaction.Commit()) {
            LMcpWriteToolError(answer, u"add_rule could not commit the new rule.");
            return;
        }
    }
    if (LRulesLoad(db) != 0) {
        LMcpWriteToolError(answer, u"add_rule saved the rule but could not reload the rules cache.");
        return;
    }
    LStringA text;
    LJsonWriter json(text);
    json.BeginObject();
    json.BeginObjectNamed("rule");
    json.String("rule_id", rule_id);
    json.String("account_id", account);
    json.String("name", name.c_str());
    LMcpWriteRuleActionDetail(json, db, account, action, detail.c_str());
    WriteConditions(json, conditions);
    json.EndObject();
    json.EndObject();
    LString summary;
    summary.Format(u"Added %s rule %s.", label, rule_id);
    LMcpWriteToolResult(answer, summary, text);
}

void LMcpToolListRules(LMcpAnswer& answer, LAppDatabaseAccount& db, const LMcpArgs& args) {
    char16_t rule[260], account[260];
    LMcpGetTextArg(args, "rule_id", rule);
    LMcpTrimSpaces(rule);
    LMcpResolveAccountId(db, args, account);
    int64_t limit = 100;
    LMcpGetIntArg(args, "limit", 1, 200, 100, &limit);
    LString filter;
    if (rule[0]) filter.AppendFormat(u" AND ID='%Q'", rule);
    if (account[0]) filter.AppendFormat(u" AND EMAILACCOUNT_ID='%Q'", account);
    int64_t total = 0;
    {
        LAppDatabaseCursor count;
        count.QueryF(db, u"SELECT COUNT(*) FROM %s.RULES WHERE DELETED IS NULL%s;", u"main", filter);
        if (!db.handle || !count.HasRow()) {
            LMcpWriteToolError(answer, u"list_rules could not load the stored rule list.");
            return;
        }
        total = count.GetColumnInt64(0);
    }
    LStringA text;
    LJsonWriter json(text);
    json.BeginObject();
    json.BeginArrayNamed("rules");
    int32_t written = 0;
    LAppDatabaseCursor rules;
    rules.QueryF(db,
                 u"SELECT ID, EMAILACCOUNT_ID, NAME, FUNCTION, FUNCTION_DETAIL, CREATED, LAST_SEEN FROM %s.RULES WHERE "
                 u"DELETED IS NULL%s ORDER BY COALESCE(LAST_SEEN, '') DESC, ID LIMIT %d;",
                 u"main", filter, static_cast<int32_t>(limit));
    for (; rules.HasRow(); rules.Step()) {
        char16_t id[260], rule_account[260], function[260];
        LString detail;
        rules.GetColumnText(0, u"", id);
        rules.GetColumnText(1, u"", rule_account);
        rules.GetColumnText(3, u"", function);
        rules.GetColumnString(4, detail);
        LAppDatabaseCursor count;
        count.QueryF(db, u"SELECT COUNT(*) FROM %s.RULES_CONDITIONS WHERE RULE_ID='%Q' AND DELETED IS NULL;", u"main",
                     id);
        int64_t expected = count.HasRow() ? count.GetColumnInt64(0) : -1;
        LAppDatabaseCursor c;
        c.QueryF(db,
                 u"SELECT PART, TEST, TEST_DETAIL FROM %s.RULES_CONDITIONS WHERE RULE_ID='%Q' AND DELETED IS NULL ORDER "
                 u"BY CASE WHEN PART='BODY' THEN 1 ELSE 0 END, PART, TEST_DETAIL;",
                 u"main", id);
        if (expected < 0 || (expected > 0 && !c.HasRow())) {
            // The whole answer becomes the error: the rows written so far go.
            LMcpWriteToolError(answer, u"list_rules could not load one rule's conditions.");
            return;
        }
        json.BeginObject();
        json.String("rule_id", id);
        json.String("account_id", rule_account);
        LMcpWriteColumnField(json, "name", rules, 2);
        LMcpWriteRuleActionDetail(json, db, rule_account, function, detail.c_str());
        LMcpWriteColumnField(json, "created_utc", rules, 5);
        LMcpWriteColumnField(json, "last_seen_utc", rules, 6);
        json.BeginArrayNamed("conditions");
        for (; c.HasRow(); c.Step()) {
            json.BeginObject();
            LMcpWriteColumnField(json, "part", c, 0);
            LMcpWriteColumnField(json, "test", c, 1);
            LMcpWriteColumnField(json, "value", c, 2);
            json.EndObject();
        }
        json.EndArray();
        json.EndObject();
        ++written;
    }
    if (total > 0 && written == 0) {
        LMcpWriteToolError(answer, u"list_rules could not load the stored rule list.");
        return;
    }
    json.EndArray();
    if (rule[0]) json.String("rule_id", rule);
    if (account[0]) json.String("account_id", account);
    json.Int("limit", static_cast<int32_t>(limit));
    json.EndObject();
    LString summary;
    summary.Format(u"Found %d stored rule(s).", written);
    LMcpWriteToolResult(answer, summary, text);
}

void LMcpToolDeleteRule(LMcpAnswer& answer, LAppDatabaseAccount& db, const LMcpArgs& args) {
    char16_t rule[260];
    LMcpGetTextArg(args, "rule_id", rule);
    LMcpTrimSpaces(rule);
    if (!rule[0]) {
        LMcpWriteToolError(answer, u"delete_rule requires rule_id.");
        return;
    }
    {
        LAppDatabaseCursor c;
        c.QueryF(db, u"SELECT ID FROM %s.RULES WHERE ID='%Q' AND DELETED IS NULL LIMIT 1;", u"main", rule);
        if (!c.HasRow()) {
            LMcpWriteToolError(answer, u"delete_rule rule_id was not found.");
            return;
        }
    }
    {
        LStoreTransaction transaction(db);
        if (!transaction.Began()) {
            LMcpWriteToolError(answer, u"delete_rule could not start a database transaction.");
            return;
        }
        if (!db.ExecF(u"UPDATE %s.RULES SET DELETED=datetime('now') WHERE ID='%Q' AND DELETED IS NULL;", u"main", rule) ||
            !db.ExecF(u"UPDATE %s.RULES_CONDITIONS SET DELETED=datetime('now') WHERE RULE_ID='%Q' AND DELETED IS NULL;",
                      u"main", rule)) {
            LMcpWriteToolError(answer, u"delete_rule could not delete the stored rule.");
            return;
        }
        if (!transaction.Commit()) {
            LMcpWriteToolError(answer, u"delete_rule could not commit the delete transaction.");
            return;
        }
    }
    if (LRulesLoad(db) != 0) {
        LMcpWriteToolError(answer, u"delete_rule removed the rule but could not reload the rules cache.");
        return;
    }
    LStringA text;
    LJsonWriter json(text);
    json.BeginObject();
    json.BeginObjectNamed("rule");
    json.String("rule_id", rule);
    json.Bool("deleted", true);
    json.EndObject();
    json.EndObject();
    LString summary;
    summary.Format(u"Deleted stored rule %s.", rule);
    LMcpWriteToolResult(answer, summary, text);
}
