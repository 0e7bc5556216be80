// The trash action on a server without a trash mailbox (a stock Dovecot
// offers only INBOX): the mailbox is made on the server and in the store,
// as the queue makes Sent, so the message goes where the rule says instead
// of staying in the INBOX with the rule stamped as matched.
#include "foundation/utf8.h"
#include "foundation/wait.h"
#include "mail/queue/queue_progress.h"
#include "mail/queue/send_queue.h"
#include "mail/rules/rules_actions.h"
#include "mail/store/mailboxes.h"
#include "net/imap/imap_client.h"
#include "web/http/activity_log.h"

namespace {

const char16_t* const kTrashNames[] = {u"Trash",       u"Deleted Items", u"Deleted Messages",
                                       u"INBOX.Trash", u"INBOX/Trash",   nullptr};

// The server's trash (made when it has none), then its row in the store.
// False with the cause in `error`.
bool MakeTrash(LAppDatabaseAccount& db, const char16_t* account_id, LString& error) {
    const char16_t* name = u"Trash";
    LEmailSendAccount account;
    if (LEmailSendGetAccount(db, account_id, account) && account.incoming[0]) {
        LPlainWait wait;
        LQueueProgress p(wait);
        LImapConnection imap;
        LNetOpResult r = 0;
        LStringList names;
        if (imap.Login(r, p, account.incoming, account.email, account.password) != 0 ||
            imap.ListMailboxes(r, p, names) != 0) {
            error.Format(u"%s: %s", account.incoming, p.error.c_str());
            return false;
        }
        const char16_t* found = nullptr;
        for (const char16_t* const* n = kTrashNames; *n && !found; ++n)
            if (names.FindA(LToUtf8(*n).c_str()) >= 0) found = *n;
        if (found) {
            name = found;
        } else if (imap.CreateMailbox(r, p, "Trash") != 0) {
            error.Format(u"%s refused to create Trash: %s", account.incoming, p.error.c_str());
            imap.Logout(r, p);
            return false;
        } else {
            LActivityLogEmail(u"Created mailbox Trash on %s for account %s", account.incoming, account_id);
        }
        imap.Logout(r, p);
    }
    char16_t box_id[260], box_name[260];
    if (LEmailFindOrCreateSpecialMailbox(db, account_id, u"\\Trash", kTrashNames, name, box_id, box_name)) return true;
    error.Assign(u"the trash mailbox could not be stored");
    return false;
}

}  // namespace

bool LRulesMoveToTrash(LAppDatabaseAccount& db, const char16_t* message_id, const char16_t* label) {
    LString account, trash, error;
    {
        LAppDatabaseCursor c;
        c.QueryF(db, u"SELECT ACCOUNT_ID FROM %s.EMAIL_MESSAGES WHERE ID='%Q' AND IS_DELETED=0 LIMIT 1;", u"main",
                 message_id);
        if (c.HasRow()) c.GetColumnString(0, account);
    }
    if (account.IsEmpty()) return false;
    if (!LEmailMailboxFindTrash(db, account.c_str(), trash) && !MakeTrash(db, account.c_str(), error)) {
        LActivityLogError(u"Rule %s could not move email %s to the trash: %s", label, message_id, error.c_str());
        return false;
    }
    if (LEmailMoveMessageToTrash(message_id) == 0) return true;
    LActivityLogError(u"Rule %s could not move email %s to the trash", label, message_id);
    return false;
}
