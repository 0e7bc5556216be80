#pragma once
// Autoresponders: the decision for one arriving message (at a given time,
// so that tests can drive the periods and frequencies), and the list, save
// and delete behind the routes.
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/database.h"

class LJsonValue;
class LJsonWriter;

bool LAutoresponderOnNewMessageAt(LAppDatabaseAccount& db, const char16_t* message_id, int64_t now);

// EVERY_MESSAGE still answers one address at most once in this time.
constexpr int64_t LAutoresponderEveryMessageFloor = 3600;

struct LAutoresponderCondition {
    std::u16string part, test, detail;
};
struct LAutoresponderInput {
    std::u16string id, name, subject, body, frequency;
    int64_t start = 0, end = 0;
    bool enabled = true, allAccounts = false;
    int priority = 0;
    std::vector<std::u16string> accounts;
    std::vector<LAutoresponderCondition> conditions;
};
bool LAutoresponderParseJson(const LJsonValue& body, LAutoresponderInput& out);
bool LAutoresponderSave(LAppDatabaseAccount& db, const LAutoresponderInput& in, std::u16string& out_id);
bool LAutoresponderDelete(LAppDatabaseAccount& db, const char16_t* id);
void LAutoresponderWriteListJson(LJsonWriter& json, LAppDatabaseAccount& db);
