// Whether an arriving message is answered, and the answer.
#include <string>
#include <vector>

#include "foundation/format.h"
#include "foundation/time_source.h"
#include "mail/mail_services.h"
#include "mail/queue/send_queue.h"
#include "mail/rules/autoresponder.h"
#include "mail/rules/own_mail.h"
#include "mail/rules/rules.h"
#include "mail/store/mail_ids.h"
#include "mail/store/store_transaction.h"
#include "web/http/activity_log.h"

namespace {

std::u16string Column(LAppDatabaseCursor& c, uint64_t i) {
    LString s;
    c.GetColumnString(i, s);
    return std::u16string(s.View());
}

struct Active {
    std::u16string id, subject, body, frequency;
    int64_t start = 0;
    std::vector<LAutoresponderCondition> conditions;
};

struct Message {
    std::u16string id, accountId, messageId, references, subject, from, to, cc, recipient;
    int64_t sent = 0;
    LRulesMessage body;  // loaded on first need
};

bool LoadMessage(LAppDatabaseAccount& db, const char16_t* message_id, Message& m) {
    {
        LAppDatabaseCursor c;
        c.QueryF(db,
                 u"SELECT ACCOUNT_ID, SUBJECT, FROM_TEXT, TO_TEXT, CC_TEXT, COALESCE(MESSAGE_ID, ''), "
                 u"COALESCE(REFERENCES_TEXT, ''), COALESCE(SENT_UTC, 0) FROM %s.EMAIL_MESSAGES WHERE ID='%Q' AND "
                 u"IS_DELETED=0 LIMIT 1;",
                 u"main", message_id);
        if (!c.HasRow()) return false;
        m.id = message_id;
        m.accountId = Column(c, 0);
        m.subject = Column(c, 1);
        m.from = Column(c, 2);
        m.to = Column(c, 3);
        m.cc = Column(c, 4);
        m.messageId = Column(c, 5);
        m.references = Column(c, 6);
        m.sent = c.GetColumnInt64(7);
    }
    LAppDatabaseCursor c;
    c.QueryF(db,
             u"SELECT EMAIL FROM %s.EMAIL_MESSAGE_ADDRESSES WHERE MESSAGE_ID='%Q' AND KIND IN ('REPLYTO', 'FROM') AND "
             u"EMAIL<>'' ORDER BY CASE WHEN KIND='REPLYTO' THEN 0 ELSE 1 END, ORDINAL LIMIT 1;",
             u"main", message_id);
    if (!c.HasRow()) return false;
    m.recipient = Column(c, 0);
    for (char16_t& ch : m.recipient)
        if (ch >= u'A' && ch <= u'Z') ch += 32;
    m.body.id = message_id;
    return !m.recipient.empty();
}

std::vector<Active> LoadActive(LAppDatabaseAccount& db, const std::u16string& account_id, int64_t now) {
    std::vector<Active> list;
    {
        LAppDatabaseCursor c;
        c.QueryF(db,
                 u"SELECT ID, COALESCE(SUBJECT, ''), BODY_TEXT, COALESCE(REPLY_FREQUENCY, 'ONCE_PER_PERIOD'), "
                 u"START_UTC FROM %s.AUTORESPONDERS a WHERE ENABLED=1 AND DELETED IS NULL AND START_UTC<=%lld AND "
                 u"END_UTC>=%lld AND (ALL_ACCOUNTS=1 OR EXISTS (SELECT 1 FROM %s.AUTORESPONDER_ACCOUNTS aa WHERE "
                 u"aa.AUTORESPONDER_ID=a.ID AND aa.EMAILACCOUNT_ID='%Q')) ORDER BY PRIORITY DESC, CREATED_UTC, ID;",
                 u"main", static_cast<long long>(now), static_cast<long long>(now), u"main", account_id);
        for (; c.HasRow(); c.Step())
            list.push_back(Active{Column(c, 0), Column(c, 1), Column(c, 2), Column(c, 3), c.GetColumnInt64(4), {}});
    }
    for (Active& a : list) {
        LAppDatabaseCursor c;
        c.QueryF(db,
                 u"SELECT PART, TEST, TEST_DETAIL FROM %s.AUTORESPONDER_CONDITIONS WHERE AUTORESPONDER_ID='%Q' ORDER BY "
                 u"rowid;",
                 u"main", a.id);
        for (; c.HasRow(); c.Step()) a.conditions.push_back({Column(c, 0), Column(c, 1), Column(c, 2)});
    }
    return list;
}

bool ConditionsHold(LAppDatabaseAccount& db, const Active& a, Message& m) {
    for (const LAutoresponderCondition& c : a.conditions) {
        bool holds;
        auto no_case = [&](const std::u16string& text) {
            std::u16string t = text, d = c.detail;
            for (std::u16string* s : {&t, &d})
                for (char16_t& ch : *s)
                    if (ch >= u'A' && ch <= u'Z') ch += 32;
            return LRulesTestText(t, c.test, d);
        };
        if (c.part == u"FROM") {
            holds = no_case(m.from);
        } else if (c.part == u"TO") {
            holds = no_case(m.to);
        } else if (c.part == u"CC") {
            holds = no_case(m.cc);
        } else if (c.part == u"TOORCC") {
            holds = no_case(m.to) || no_case(m.cc);
        } else if (c.part == u"SUBJECT") {
            holds = LRulesTestText(m.subject, c.test, c.detail);
        } else if (c.part == u"BODY") {
            if (!LRulesLoadBody(db, m.body)) return false;
            holds = LRulesTestText(m.body.bodyHtml.IsEmpty() ? m.body.bodyText.View() : m.body.bodyHtml.View(), c.test,
                                   c.detail);
        } else {
            holds = false;
        }
        if (!holds) return false;
    }
    return true;
}

bool FrequencyAllows(LAppDatabaseAccount& db, const Message& m, const Active& a, int64_t now) {
    LString q;
    q.Format(u"SELECT COUNT(*) FROM %s.AUTORESPONDER_SENDS WHERE AUTORESPONDER_ID='%Q' AND EMAIL_MESSAGE_ID='%Q';",
             u"main", a.id, m.id);
    int32_t n = 1;
    if (!db.QueryInt(q.c_str(), &n) || n != 0) return false;
    int64_t since;
    if (a.frequency == u"EVERY_MESSAGE")
        since = now - LAutoresponderEveryMessageFloor;
    else if (a.frequency == u"ONCE_PER_DAY")
        since = now - 86400;
    else
        since = a.start;
    q.Format(u"SELECT COUNT(*) FROM %s.AUTORESPONDER_SENDS WHERE AUTORESPONDER_ID='%Q' AND RECIPIENT_NORMALIZED='%Q' "
             u"AND STATUS='SENT' AND SENT_UTC>=%lld;",
             u"main", a.id, m.recipient, static_cast<long long>(since));
    n = 1;
    return db.QueryInt(q.c_str(), &n) && n == 0;
}

// The ledger row, the queued answer and the last-sent time commit together:
// a failed queue leaves no SENT row, a crash no answer without its row.
bool SendReply(LAppDatabaseAccount& db, const Message& m, const Active& a, int64_t now) {
    std::u16string subject = !a.subject.empty() ? a.subject : LRulesReplySubject(m.subject);
    LString html(u"<div style=\"white-space:pre-wrap\">");
    LAppendHtmlW(html, a.body.c_str());
    html.Append(u"</div>");
    std::u16string refs = m.references.empty() ? m.messageId : m.references + u" " + m.messageId;
    LQueueExtras x;
    x.autoSubmitted = u"auto-replied";
    x.inReplyTo = m.messageId.c_str();
    x.references = refs.c_str();
    LStoreTransaction tx(db);
    char16_t id[LEmailIdLength + 1];
    bool ok = tx.Began() && LEmailNewRowId(db, u"AUTORESPONDER_SENDS", id) &&
              db.ExecF(u"INSERT INTO %s.AUTORESPONDER_SENDS (ID, AUTORESPONDER_ID, EMAIL_MESSAGE_ID, "
                       u"RECIPIENT_NORMALIZED, SENT_UTC, STATUS) VALUES ('%Q', '%Q', '%Q', '%Q', %lld, 'SENT');",
                       u"main", id, a.id, m.id, m.recipient, static_cast<long long>(now)) &&
              LEmailQueueOutgoingEx(db, m.accountId.c_str(), m.recipient.c_str(), u"", subject.c_str(), html.c_str(),
                                    x) == 0 &&
              db.ExecF(u"UPDATE %s.AUTORESPONDERS SET LAST_SENT_UTC=%lld WHERE ID='%Q';", u"main",
                       static_cast<long long>(now), a.id) &&
              tx.Commit();
    if (!ok) {
        LActivityLogError(u"Autoresponder %s could not queue a reply for email %s", a.id, m.id);
        return false;
    }
    LSendQueueWake();
    LActivityLogEmail(u"Autoresponder %s queued a reply for email %s", a.id, m.id);
    return true;
}

}  // namespace

bool LAutoresponderOnNewMessageAt(LAppDatabaseAccount& db, const char16_t* message_id, int64_t now) {
    // Without an autoresponder in its period nothing answers: every new
    // message of a mirror comes here, so the message is not read for it.
    LString any;
    any.Format(u"SELECT COUNT(*) FROM main.AUTORESPONDERS WHERE ENABLED=1 AND DELETED IS NULL AND START_UTC<=%lld AND "
               u"END_UTC>=%lld;",
               static_cast<long long>(now), static_cast<long long>(now));
    int32_t active = 1;
    if (db.QueryInt(any.c_str(), &active) && active == 0) return false;
    Message m;
    if (!LMailServicesMayActOn(db, message_id) || !LoadMessage(db, message_id, m) ||
        !LMailServicesIsPersonal(db, message_id) || !LMailServicesSenderMayBeAnswered(db, m.recipient.c_str()))
        return false;
    for (const Active& a : LoadActive(db, m.accountId, now)) {
        if (!ConditionsHold(db, a, m)) continue;
        // Mail written before the period began (an old message mirrored
        // for the first time) is not answered.
        if (m.sent && m.sent < a.start) return false;
        if (!FrequencyAllows(db, m, a, now)) return true;
        return SendReply(db, m, a, now);
    }
    return false;
}

bool LAutoresponderOnNewMessage(LAppDatabaseAccount& db, const char16_t* message_id) {
    return LAutoresponderOnNewMessageAt(db, message_id, LNow());
}
