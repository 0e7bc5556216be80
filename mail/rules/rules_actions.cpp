#include "mail/rules/rules_actions.h"

#include <string_view>
#include <vector>

#include "foundation/format.h"
#include "foundation/string_map.h"
#include "foundation/time_source.h"
#include "foundation/url_decode.h"
#include "mail/mail_services.h"
#include "mail/queue/send_queue.h"
#include "mail/rules/rules.h"
#include "mail/store/mail_ids.h"
#include "mail/store/mailboxes.h"
#include "mail/store/store_transaction.h"
#include "net/mime/address.h"
#include "web/http/activity_log.h"

namespace {

constexpr int64_t kReplyFloorSeconds = 86400;

struct Action {
    LAppDatabaseAccount& db;
    const char16_t* messageId;
    const char16_t* label;
    bool fromRule;
    LStringMap form;
    LRulesMessage m;

    std::u16string Key(const char16_t* key) const { return std::u16string(form.GetText(key, u"")); }
    std::u16string Destination() const {
        std::u16string to = Key(u"to");
        return to.empty() ? Key(u"email") : to;
    }
    // The source's body as HTML: its own HTML, else its text with its
    // line breaks.
    void AppendSourceBody(LString& html) const {
        if (!m.bodyHtml.IsEmpty())
            html.AppendString(m.bodyHtml);
        else
            LEmailAppendTextAsHtml(html, m.bodyText.c_str());
    }
    // A reply or forward threads under its source, whoever asks for it
    // (In-Reply-To, and the source's References followed by its own ID);
    // a rule's mail also says that a machine made it.
    LQueueExtras Extras(const char16_t* kind, std::u16string& refs, bool threads = true) const {
        LQueueExtras x;
        if (fromRule) x.autoSubmitted = kind;
        // An ID longer than any real one (hostile mail) is not repeated.
        if ((!threads && !fromRule) || m.messageId.empty() || m.messageId.size() > 250) return x;
        x.inReplyTo = m.messageId.c_str();
        refs = SourceReferences();
        x.references = refs.c_str();
        return x;
    }
    std::u16string SourceReferences() const {
        LString stored;
        LAppDatabaseCursor c;
        c.QueryF(db, u"SELECT REFERENCES_TEXT FROM %s.EMAIL_MESSAGES WHERE ID='%Q' LIMIT 1;", u"main", messageId);
        if (c.HasRow()) c.GetColumnString(0, stored);
        // The last ones only: a hostile or endless chain stays bounded.
        constexpr size_t kKeep = 20;
        std::vector<std::u16string> ids;
        std::u16string_view text = stored.View();
        for (size_t at = 0; (at = text.find(u'<', at)) != std::u16string_view::npos;) {
            size_t end = text.find(u'>', at);
            if (end == std::u16string_view::npos) break;
            if (end - at < 250) ids.emplace_back(text.substr(at, end - at + 1));
            at = end + 1;
        }
        std::u16string out;
        for (size_t i = ids.size() > kKeep - 1 ? ids.size() - (kKeep - 1) : 0; i < ids.size(); ++i)
            if (ids[i] != m.messageId) out += ids[i] + u" ";
        return out + m.messageId;
    }
    // Runs once the mail is queued, so the action has done what it was
    // asked: a failed move is the log's business, not a failed send that a
    // caller might retry (and so mail twice).
    void MoveAfter() const {
        std::u16string box = Key(u"box");
        if (!box.empty() && LEmailMoveMessage(messageId, box.c_str(), false) != 0)
            LActivityLogError(u"Rule %s sent email %s but could not move it to %s", label, messageId, box);
    }
    bool Forward();
    bool Redirect();
    bool Reply();
};

bool Action::Forward() {
    std::u16string to = Destination();
    if (to.empty() || !LEmailAddressListIsValid(to.c_str())) return false;
    LString html(u"<div>");
    std::u16string note = Key(u"message");
    if (!note.empty()) {
        LEmailAppendTextAsHtml(html, note.c_str());
        html.Append(u"<br><br>");
    }
    html.AppendFormat(u"---------- Forwarded message ----------<br>From: %H<br>To: %H<br>Cc: %H<br>Subject: "
                      u"%H<br><br>",
                      m.from, m.to, m.cc, m.subject);
    AppendSourceBody(html);
    html.Append(u"</div>");
    LActivityLogEmail(u"Forwarding email %s using rule %s to %s", messageId, label, to);
    std::u16string subject = u"Fwd: " + m.subject, refs;
    LQueueExtras x = Extras(u"auto-generated", refs);
    if (LEmailQueueOutgoingEx(db, m.accountId.c_str(), to.c_str(), u"", subject.c_str(), html.c_str(), x) != 0) {
        LActivityLogError(u"Rule %s failed to forward email %s to %s", label, messageId, to);
        return false;
    }
    MoveAfter();
    return true;
}

bool Action::Redirect() {
    std::u16string to = Destination();
    if (to.empty() || !LEmailAddressListIsValid(to.c_str())) return false;
    std::u16string reply_to = LEmailExtractAddress(m.replyTo.empty() ? m.from : m.replyTo);
    if (!LEmailAddressListIsValid(reply_to.c_str())) return false;
    LString html;
    AppendSourceBody(html);
    LActivityLogEmail(u"Redirecting email %s using rule %s to %s with reply-to %s", messageId, label, to, reply_to);
    std::u16string refs;
    LQueueExtras x = Extras(u"auto-generated", refs, false);
    if (LEmailQueueOutgoingEx(db, m.accountId.c_str(), to.c_str(), reply_to.c_str(), m.subject.c_str(), html.c_str(),
                              x) != 0) {
        LActivityLogError(u"Rule %s failed to redirect email %s to %s", label, messageId, to);
        return false;
    }
    MoveAfter();
    return true;
}

bool Action::Reply() {
    std::u16string note = Key(u"message");
    if (note.empty()) return false;
    std::u16string to = LEmailExtractAddress(m.replyTo.empty() ? m.from : m.replyTo);
    if (to.empty() || !LEmailAddressListIsValid(to.c_str())) return false;
    LString html(u"<div>");
    LEmailAppendTextAsHtml(html, note.c_str());
    html.AppendFormat(u"<br><br>On an earlier message, %H wrote:<br><br>", m.from);
    AppendSourceBody(html);
    html.Append(u"</div>");
    std::u16string subject = LRulesReplySubject(m.subject), refs;
    LQueueExtras x = Extras(u"auto-replied", refs);
    std::u16string recipient;
    for (char16_t c : to) recipient.push_back(c >= u'A' && c <= u'Z' ? c + 32 : c);
    std::u16string ledger_key = std::u16string(u"rule:") + label;
    int64_t now = LNow();
    LStoreTransaction tx(db);
    if (!tx.Began()) return false;
    if (fromRule) {
        // One answer per sender per day: two programs answering each other
        // stop after one round.
        LString q;
        q.Format(u"SELECT COUNT(*) FROM %s.AUTORESPONDER_SENDS WHERE AUTORESPONDER_ID='%Q' AND "
                 u"RECIPIENT_NORMALIZED='%Q' AND STATUS='SENT' AND SENT_UTC>=%lld;",
                 u"main", ledger_key, recipient, static_cast<long long>(now - kReplyFloorSeconds));
        int32_t recent = 1;
        char16_t id[LEmailIdLength + 1];
        if (!db.QueryInt(q.c_str(), &recent) || recent != 0 ||
            !LEmailNewRowId(db, u"AUTORESPONDER_SENDS", id) ||
            !db.ExecF(u"INSERT INTO %s.AUTORESPONDER_SENDS (ID, AUTORESPONDER_ID, EMAIL_MESSAGE_ID, "
                      u"RECIPIENT_NORMALIZED, SENT_UTC, STATUS) VALUES ('%Q', '%Q', '%Q', '%Q', %lld, 'SENT');",
                      u"main", id, ledger_key, messageId, recipient, static_cast<long long>(now)))
            return false;
    }
    LActivityLogEmail(u"Replying to email %s using rule %s to %s", messageId, label, to);
    // The queued row is written inside the transaction, so it stands only
    // once that commits, for a rule's reply and a direct one alike.
    if (LEmailQueueOutgoingEx(db, m.accountId.c_str(), to.c_str(), u"", subject.c_str(), html.c_str(), x) != 0 ||
        !tx.Commit()) {
        LActivityLogError(u"Rule %s failed to reply to email %s", label, messageId);
        return false;
    }
    LSendQueueWake();
    MoveAfter();
    return true;
}

}  // namespace

bool LRulesRunActionOn(LAppDatabaseAccount& db, const char16_t* message_id, const char16_t* label,
                       const std::u16string& function, const std::u16string& detail, bool from_rule) {
    if (function == u"TRASH") return LRulesMoveToTrash(db, message_id, label);
    if (function == u"MOVE") return !detail.empty() && LEmailMoveMessage(message_id, detail.c_str(), false) == 0;
    if (function != u"FORWARD" && function != u"REDIRECT" && function != u"REPLY") return false;
    Action a{db, message_id, label, from_rule, {}, {}};
    // The detail holds UTF-8 percent escapes: read per unit, "%C3%BC" would
    // come back as two characters instead of one.
    LStringA utf8;
    utf8.SetUtf8FromWide(detail.c_str());
    LParseUrlEncodedForm(a.form, utf8.c_str());
    if (!LRulesLoadMessage(db, message_id, a.m) || !LRulesLoadBody(db, a.m)) return false;
    if (function == u"FORWARD") return a.Forward();
    if (function == u"REDIRECT") return a.Redirect();
    return a.Reply();
}

bool LRulesRunAction(const char16_t* message_id, const char16_t* label, const char16_t* function,
                     const char16_t* function_detail) {
    LAppDatabaseAccount db(false);
    if (!db.handle) return false;
    return LRulesRunActionOn(db, message_id, label, function ? function : u"",
                             function_detail ? function_detail : u"", false);
}
