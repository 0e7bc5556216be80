#include "mail/rules/own_mail.h"

#include <string>

#include "foundation/lstring.h"

namespace {

// Special-use flags and the usual names of the mailboxes that hold mail the
// user sent, wrote, threw away or that was judged junk.
bool IsSpecial(const std::u16string& name, const std::u16string& flags) {
    std::u16string n, f;
    for (char16_t c : name) n.push_back(c >= u'a' && c <= u'z' ? c - 32 : c);
    for (char16_t c : flags) f.push_back(c >= u'a' && c <= u'z' ? c - 32 : c);
    for (const char16_t* flag : {u"\\SENT", u"\\DRAFTS", u"\\OUTBOX", u"\\TRASH", u"\\JUNK"})
        if (f.find(flag) != std::u16string::npos) return true;
    // The last level of the name: "INBOX.Sent", "[Gmail]/Spam".
    size_t cut = n.find_last_of(u"./");
    std::u16string leaf = cut == std::u16string::npos ? n : n.substr(cut + 1);
    for (const char16_t* special : {u"SENT", u"SENT MAIL", u"SENT ITEMS", u"SENT MESSAGES", u"DRAFTS", u"DRAFT",
                                    u"OUTBOX", u"TRASH", u"DELETED ITEMS", u"DELETED MESSAGES", u"BIN", u"JUNK",
                                    u"JUNK E-MAIL", u"JUNK EMAIL", u"SPAM", u"BULK MAIL"})
        if (leaf == special) return true;
    return false;
}

}  // namespace

bool LMailServicesMayActOn(LAppDatabaseAccount& db, const char16_t* message_id) {
    LAppDatabaseCursor c;
    c.QueryF(db,
             u"SELECT b.IMAP_NAME, COALESCE(b.IMAP_FLAGS, ''), COALESCE(a.DEFAULT_SENT_MAILBOX, ''), m.UIDVALIDITY, "
             u"COALESCE(m.MESSAGE_ID, '') FROM %s.EMAIL_MESSAGES m INNER JOIN %s.EMAILMAILBOXES b ON b.ID=m.MAILBOX_ID "
             u"LEFT JOIN %s.EMAILACCOUNTS a ON a.ID=m.ACCOUNT_ID WHERE m.ID='%Q' AND m.IS_DELETED=0 LIMIT 1;",
             u"main", u"main", u"main", message_id);
    if (!c.HasRow()) return false;
    LString name, flags, sent, rfc_id;
    c.GetColumnString(0, name);
    c.GetColumnString(1, flags);
    c.GetColumnString(2, sent);
    c.GetColumnString(4, rfc_id);
    if (c.GetColumnInt64(3) == 0) return false;  // a row we made here
    if (IsSpecial(std::u16string(name.View()), std::u16string(flags.View())) ||
        (!sent.IsEmpty() && name.View() == sent.View()))
        return false;
    rfc_id.Trim();
    if (rfc_id.IsEmpty()) return true;
    // Stored with or without the angle brackets: ask for both forms.
    std::u16string bare(rfc_id.View());
    if (bare.size() >= 2 && bare.front() == u'<' && bare.back() == u'>') bare = bare.substr(1, bare.size() - 2);
    std::u16string bracketed = u"<" + bare + u">";
    LString q;
    q.Format(u"SELECT COUNT(*) FROM %s.EMAIL_SEND_QUEUE WHERE MESSAGE_ID IN ('%Q', '%Q');", u"main", bare, bracketed);
    int32_t ours = 1;
    return db.QueryInt(q.c_str(), &ours) && ours == 0;
}

bool LMailServicesIsPersonal(LAppDatabaseAccount& db, const char16_t* message_id) {
    LAppDatabaseCursor c;
    c.QueryF(db,
             u"SELECT LOWER(TRIM(COALESCE(AUTO_SUBMITTED, ''))), LOWER(TRIM(COALESCE(PRECEDENCE, ''))), "
             u"TRIM(COALESCE(LIST_ID, '')), REPLACE(COALESCE(RETURN_PATH, ''), ' ', ''), "
             u"LOWER(TRIM(COALESCE(CONTENT_TYPE, ''))) FROM %s.AUTORESPONDER_MESSAGE_SAFETY WHERE "
             u"EMAIL_MESSAGE_ID='%Q' LIMIT 1;",
             u"main", message_id);
    if (!c.HasRow()) return false;
    LString auto_submitted, precedence, list_id, return_path, content_type;
    c.GetColumnString(0, auto_submitted);
    c.GetColumnString(1, precedence);
    c.GetColumnString(2, list_id);
    c.GetColumnString(3, return_path);
    c.GetColumnString(4, content_type);
    std::u16string_view a = auto_submitted.View(), p = precedence.View();
    if (!a.empty() && a != u"no") return false;
    if (p == u"bulk" || p == u"list" || p == u"junk") return false;
    if (!list_id.IsEmpty()) return false;
    // A delivery report (RFC 3464) comes from the null sender, as
    // multipart/report, or from the postmaster or mailer daemon.
    if (return_path.View() == u"<>" || content_type.View().starts_with(u"multipart/report")) return false;
    LString q;
    q.Format(u"SELECT COUNT(*) FROM %s.EMAIL_MESSAGE_ADDRESSES WHERE MESSAGE_ID='%Q' AND KIND='FROM' AND "
             u"(LOWER(EMAIL) LIKE 'postmaster@%%' OR LOWER(EMAIL) LIKE 'mailer-daemon@%%');",
             u"main", message_id);
    int32_t bounces = 1;
    return db.QueryInt(q.c_str(), &bounces) && bounces == 0;
}

bool LMailServicesSenderMayBeAnswered(LAppDatabaseAccount& db, const char16_t* address) {
    std::u16string lower;
    for (const char16_t* p = address; *p; ++p) lower.push_back(*p >= u'A' && *p <= u'Z' ? *p + 32 : *p);
    if (lower.empty()) return false;
    for (const char16_t* bad : {u"no-reply", u"noreply", u"do-not-reply", u"donotreply", u"mailer-daemon"})
        if (lower.find(bad) != std::u16string::npos) return false;
    if (lower.starts_with(u"postmaster@")) return false;
    LString q;
    q.Format(u"SELECT COUNT(*) FROM %s.EMAILACCOUNTS WHERE LOWER(EMAIL)=LOWER('%Q') AND DELETED IS NULL;", u"main",
             lower);
    int32_t ours = 1;
    return db.QueryInt(q.c_str(), &ours) && ours == 0;
}
