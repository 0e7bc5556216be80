#include "mail/rules/rules.h"

namespace {

std::u16string Lower(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& c : out)
        if (c >= u'A' && c <= u'Z') c += 32;
    return out;
}

std::u16string Column(LAppDatabaseCursor& c, uint64_t i) {
    LString s;
    c.GetColumnString(i, s);
    return std::u16string(s.View());
}

}  // namespace

bool LRulesTestAddress(std::u16string_view text, std::u16string_view detail) {
    if (detail.empty()) return true;
    return Lower(text).find(Lower(detail)) != std::u16string::npos;
}

bool LRulesTestText(std::u16string_view text, const std::u16string& test, std::u16string_view detail) {
    if (test == u"IS") return text == detail;
    if (test == u"STARTS") return text.substr(0, detail.size()) == detail;
    return text.find(detail) != std::u16string_view::npos;
}

bool LRulesLoadMessage(LAppDatabaseAccount& db, const char16_t* message_id, LRulesMessage& m) {
    m = LRulesMessage();
    LAppDatabaseCursor c;
    c.QueryF(db,
             u"SELECT ACCOUNT_ID, MESSAGE_ID, SUBJECT, FROM_TEXT, TO_TEXT, CC_TEXT, REPLY_TO_TEXT FROM %s.EMAIL_MESSAGES "
             u"WHERE ID='%Q' AND IS_DELETED=0 LIMIT 1;",
             u"main", message_id);
    if (!c.HasRow()) return false;
    m.id = message_id;
    m.accountId = Column(c, 0);
    m.messageId = Column(c, 1);
    m.subject = Column(c, 2);
    m.from = Column(c, 3);
    m.to = Column(c, 4);
    m.cc = Column(c, 5);
    m.replyTo = Column(c, 6);
    return true;
}

bool LRulesLoadBody(LAppDatabaseAccount& db, LRulesMessage& m) {
    if (m.bodyLoaded) return true;
    LAppDatabaseCursor c;
    c.QueryF(db, u"SELECT BODY_TEXT, BODY_HTML FROM %s.EMAIL_MESSAGES WHERE ID='%Q' AND IS_DELETED=0 LIMIT 1;",
             u"main", m.id);
    if (!c.HasRow()) return false;
    c.GetColumnString(0, m.bodyText);
    c.GetColumnString(1, m.bodyHtml);
    m.bodyLoaded = true;
    return true;
}

bool LRulesMatch(LAppDatabaseAccount& db, const LRule& rule, LRulesMessage& m) {
    if (!rule.accountId.empty() && rule.accountId != m.accountId) return false;
    for (const LRuleCondition& c : rule.conditions) {
        bool holds;
        if (c.part == u"FROM") {
            holds = LRulesTestAddress(m.from, c.detail);
        } else if (c.part == u"TO") {
            holds = LRulesTestAddress(m.to, c.detail);
        } else if (c.part == u"CC") {
            holds = LRulesTestAddress(m.cc, c.detail);
        } else if (c.part == u"TOORCC") {
            holds = LRulesTestAddress(m.to, c.detail) || LRulesTestAddress(m.cc, c.detail);
        } else if (c.part == u"SUBJECT") {
            holds = LRulesTestText(m.subject, c.test, c.detail);
        } else if (c.part == u"BODY") {
            if (!LRulesLoadBody(db, m)) return false;
            holds = LRulesTestText(m.bodyHtml.IsEmpty() ? m.bodyText.View() : m.bodyHtml.View(), c.test, c.detail);
        } else {
            holds = false;
        }
        if (!holds) return false;
    }
    return true;
}

const LRule* LRulesFindMatch(LAppDatabaseAccount& db, const LRuleSet& rules, LRulesMessage& m) {
    for (const LRule& rule : rules)
        if (LRulesMatch(db, rule, m)) return &rule;
    return nullptr;
}

std::u16string LEmailExtractAddress(std::u16string_view text) {
    size_t lt = text.find(u'<');
    if (lt != std::u16string_view::npos) {
        size_t gt = text.find(u'>', lt + 1);
        if (gt != std::u16string_view::npos) return std::u16string(text.substr(lt + 1, gt - lt - 1));
    }
    size_t comma = text.find(u',');
    return std::u16string(comma == std::u16string_view::npos ? text : text.substr(0, comma));
}

std::u16string LRulesReplySubject(const std::u16string& subject) {
    if (subject.size() >= 3 && Lower(subject.substr(0, 3)) == u"re:") return subject;
    return u"Re: " + subject;
}
