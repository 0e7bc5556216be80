#include <mutex>

#include "foundation/date_time.h"
#include "foundation/log.h"
#include "foundation/time_source.h"
#include "mail/rules/rules.h"

namespace {

// The rules lock guards only the pointer: a reload builds its set outside
// and swaps it in.
std::mutex g_rules_lock;
std::shared_ptr<const LRuleSet> g_rules;

std::u16string Column(LAppDatabaseCursor& c, uint64_t i) {
    LString s;
    c.GetColumnString(i, s);
    return std::u16string(s.View());
}

}  // namespace

std::shared_ptr<const LRuleSet> LRulesSnapshot() {
    std::lock_guard<std::mutex> g(g_rules_lock);
    return g_rules;
}

int LRulesLoad(LAppDatabaseAccount& db) {
    auto rules = std::make_shared<LRuleSet>();
    {
        LAppDatabaseCursor c;
        c.QueryF(db,
                 u"SELECT ID, EMAILACCOUNT_ID, NAME, FUNCTION, FUNCTION_DETAIL FROM %s.RULES WHERE DELETED IS NULL "
                 u"ORDER BY LAST_SEEN DESC, ID;",
                 u"main");
        if (!c.statement) return 2;
        for (; c.HasRow(); c.Step())
            rules->push_back(LRule{Column(c, 0), Column(c, 1), Column(c, 2), Column(c, 3), Column(c, 4), {}});
    }
    for (LRule& rule : *rules) {
        LAppDatabaseCursor c;
        c.QueryF(db,
                 u"SELECT PART, TEST, TEST_DETAIL FROM %s.RULES_CONDITIONS WHERE RULE_ID='%Q' AND DELETED IS NULL ORDER "
                 u"BY CASE WHEN PART='BODY' THEN 1 ELSE 0 END, rowid;",
                 u"main", rule.id);
        if (!c.statement) return 2;
        for (; c.HasRow(); c.Step()) rule.conditions.push_back({Column(c, 0), Column(c, 1), Column(c, 2)});
    }
    // A rule without conditions would match everything: it matches nothing.
    std::erase_if(*rules, [](const LRule& r) { return r.conditions.empty(); });
    std::lock_guard<std::mutex> g(g_rules_lock);
    g_rules = std::move(rules);
    return 0;
}

void LRulesPurge(LAppDatabaseAccount& db) {
    char16_t old_limit[260], deleted_limit[260];
    time_t now = LNow();
    LFormatDateTimeUTC(now - 63072000, old_limit);
    LFormatDateTimeUTC(now - 2592000, deleted_limit);
    std::vector<std::u16string> ids;
    {
        LAppDatabaseCursor c;
        c.QueryF(db,
                 u"SELECT ID FROM %s.RULES WHERE ((LAST_SEEN < '%s' AND CREATED < '%s') OR DELETED < '%s');", u"main",
                 old_limit, old_limit, deleted_limit);
        for (; c.HasRow(); c.Step()) ids.push_back(Column(c, 0));
    }
    for (const std::u16string& id : ids)
        if (!db.ExecF(u"DELETE FROM %s.RULES_CONDITIONS WHERE RULE_ID='%Q';", u"main", id) ||
            !db.ExecF(u"DELETE FROM %s.RULES WHERE ID='%Q';", u"main", id)) {
            LLogErrorF("Unable to purge old mail rules");
            return;
        }
}
