#include "foundation/date_time.h"
#include "mail/mail_services.h"
#include "mail/rules/own_mail.h"
#include "mail/rules/rules.h"
#include "mail/rules/rules_actions.h"

bool LRulesApply(LAppDatabaseAccount& db, const char16_t* message_id) {
    // Without a rule nothing can act: no reason to read the message.
    std::shared_ptr<const LRuleSet> rules = LRulesSnapshot();
    if (!rules || rules->empty()) return false;
    if (!LMailServicesMayActOn(db, message_id)) return false;
    LRulesMessage m;
    if (!LRulesLoadMessage(db, message_id, m)) return false;
    const LRule* rule = LRulesFindMatch(db, *rules, m);
    if (!rule) return false;
    // The action as it stands now: a rule deleted or changed since the last
    // reload does not run in its old form.
    std::u16string function, detail;
    {
        LAppDatabaseCursor c;
        c.QueryF(db, u"SELECT FUNCTION, FUNCTION_DETAIL FROM %s.RULES WHERE ID='%Q' AND DELETED IS NULL LIMIT 1;",
                 u"main", rule->id);
        if (!c.HasRow()) return false;
        LString f, d;
        c.GetColumnString(0, f);
        c.GetColumnString(1, d);
        function = f.View();
        detail = d.View();
    }
    // What sends mail on never answers or passes on what a machine sent.
    bool sends = function == u"FORWARD" || function == u"REDIRECT" || function == u"REPLY";
    if (sends && !LMailServicesIsPersonal(db, message_id)) return false;
    if (function == u"REPLY" && !LMailServicesSenderMayBeAnswered(
                                    db, LEmailExtractAddress(m.replyTo.empty() ? m.from : m.replyTo).c_str()))
        return false;
    char16_t now[260];
    LNowDateTimeUTC(now);
    db.ExecF(u"UPDATE %s.RULES SET LAST_SEEN='%s' WHERE ID='%Q';", u"main", now, rule->id);
    return LRulesRunActionOn(db, message_id, rule->id.c_str(), function, detail, true);
}
