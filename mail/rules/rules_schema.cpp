#include <iterator>

#include "foundation/date_time.h"
#include "mail/rules/rules.h"
#include "mail/rules/rules_schema.h"
#include "mail/store/mail_schema.h"

namespace {

constexpr const char16_t* kRulesCreate =
    u"CREATE TABLE %s.RULES (ID VARCHAR(12) PRIMARY KEY, EMAILACCOUNT_ID VARCHAR(12) NOT NULL DEFAULT '', NAME "
    u"VARCHAR(255) NOT NULL, FUNCTION VARCHAR(32) NOT NULL, FUNCTION_DETAIL VARCHAR(255), CREATED VARCHAR(20), "
    u"LAST_SEEN VARCHAR(20), DELETED VARCHAR(20));";
constexpr const char16_t* kConditionsCreate =
    u"CREATE TABLE %s.RULES_CONDITIONS (RULE_ID VARCHAR(12), PART VARCHAR(32) NOT NULL, TEST VARCHAR(32) NOT NULL, "
    u"TEST_DETAIL VARCHAR(255), DELETED VARCHAR(20));";

constexpr LEmailSchemaTable kRules = {u"RULES", kRulesCreate};
constexpr LEmailSchemaTable kConditions = {u"RULES_CONDITIONS", kConditionsCreate};
constexpr LEmailSchemaColumn kConditionUpgrade = {u"DELETED", u"DELETED VARCHAR(20);"};
constexpr LEmailSchemaColumn kRuleUpgrades[] = {
    {u"EMAILACCOUNT_ID", u"EMAILACCOUNT_ID VARCHAR(12) NOT NULL DEFAULT '';"},
    {u"CREATED", u"CREATED VARCHAR(20);"},
    {u"LAST_SEEN", u"LAST_SEEN VARCHAR(20);"},
    {u"DELETED", u"DELETED VARCHAR(20);"},
};

}  // namespace

int LRulesCreateSchema(LAppDatabaseAccount& db) {
    if (!LEmailSchemaEnsureTables(db, &kRules, 1) ||
        !LEmailSchemaAddColumns(db, u"RULES", kRuleUpgrades, std::size(kRuleUpgrades)))
        return 2;
    char16_t now[260];
    LNowDateTimeUTC(now);
    if (!db.ExecF(u"UPDATE %s.RULES SET CREATED='%s' WHERE CREATED IS NULL OR CREATED='';", u"main", now)) {
        LEmailSchemaFail(db, "Unable to date the rules");
        return 2;
    }
    if (!LEmailSchemaEnsureTables(db, &kConditions, 1) ||
        !LEmailSchemaAddColumns(db, u"RULES_CONDITIONS", &kConditionUpgrade, 1))
        return 2;
    LRulesPurge(db);
    // Always loaded at start: arriving mail meets the rules from the first
    // message on, not only after the first edit.
    if (LRulesLoad(db) != 0) LEmailSchemaFail(db, "Unable to load the mail rules");
    return 0;
}
