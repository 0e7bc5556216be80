#pragma once
// Mail rules: the cache of live rules that matching reads, the matching of
// one message, and the actions. The cache is one snapshot replaced whole by
// a reload; a match works on the snapshot it took, so a reload never waits
// for a match that reads a body from the database, nor the reverse.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/database.h"
#include "foundation/lstring.h"

struct LRuleCondition {
    std::u16string part, test, detail;
};
struct LRule {
    std::u16string id, accountId, name, function, detail;
    std::vector<LRuleCondition> conditions;  // BODY last
};
using LRuleSet = std::vector<LRule>;

// The message as matching sees it; the body is read on first need.
struct LRulesMessage {
    std::u16string id, accountId, messageId, subject, from, to, cc, replyTo;
    LString bodyText, bodyHtml;
    bool bodyLoaded = false;
};

int LRulesLoad(LAppDatabaseAccount& db);
void LRulesPurge(LAppDatabaseAccount& db);
std::shared_ptr<const LRuleSet> LRulesSnapshot();

bool LRulesLoadMessage(LAppDatabaseAccount& db, const char16_t* message_id, LRulesMessage& m);
bool LRulesLoadBody(LAppDatabaseAccount& db, LRulesMessage& m);
bool LRulesMatch(LAppDatabaseAccount& db, const LRule& rule, LRulesMessage& m);
// The first rule of the snapshot that matches; null when none.
const LRule* LRulesFindMatch(LAppDatabaseAccount& db, const LRuleSet& rules, LRulesMessage& m);

// Address test: case-insensitive (ASCII), the detail anywhere in the whole
// text; an empty detail holds. Text test: case-sensitive IS, STARTS, or
// anywhere.
bool LRulesTestAddress(std::u16string_view text, std::u16string_view detail);
bool LRulesTestText(std::u16string_view text, const std::u16string& test, std::u16string_view detail);

// The one address of a list or of "Name <address>".
std::u16string LEmailExtractAddress(std::u16string_view text);
// "Re: " in front unless the subject begins so in any case.
std::u16string LRulesReplySubject(const std::u16string& subject);
