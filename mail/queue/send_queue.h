#pragma once
// The outgoing queue. A queued message is a local row of EMAIL_MESSAGES
// (UIDVALIDITY 0) in the account's Outbox plus its line in EMAIL_SEND_QUEUE,
// which holds what the row cannot: the delivery state, the back-off, the
// exact bytes that were sent (so the Sent copy carries the same Message-ID
// and Date) and the Auto-Submitted mark of generated mail.
//
// States: QUEUED -> SENDING (the end of DATA went out, no answer yet) ->
// SENT (the server answered 250; the row is in the local Sent) -> FILING
// (an APPEND to Sent was sent) -> FILED (the Sent copy is on the IMAP
// server, or there is no IMAP server). FAILED: refused for good.
// Delivery is at least once, as between mail servers: a row whose answer
// to the end of DATA never came is QUEUED again after a longer wait (and
// logged as one that may arrive twice); only a 250 makes it SENT. Filing
// is exactly once: a FILING row looks for its Message-ID in Sent first.
#include <cstdint>

#include "foundation/database.h"
#include "foundation/lstring.h"

// What generated mail carries beyond the user's texts.
struct LQueueExtras {
    const char16_t* inReplyTo = u"";
    const char16_t* references = u"";
    const char16_t* autoSubmitted = u"";  // "auto-replied", "auto-generated" or empty
};

// new_id (may be null) receives the queued row's ID.
int LEmailQueueOutgoingEx(LAppDatabaseAccount& db, const char16_t* account_id, const char16_t* to,
                          const char16_t* reply_to, const char16_t* subject, const char16_t* html_body,
                          const LQueueExtras& extras, char16_t* new_id = nullptr);
int LEmailQueueOutgoingOpenEx(const char16_t* account_id, const char16_t* to, const char16_t* reply_to,
                              const char16_t* subject, const char16_t* html_body, const LQueueExtras& extras);

// A text as a person typed it, as HTML: escaped, every line end a <br>.
void LEmailAppendTextAsHtml(LString& html, const char16_t* text);
// The text part of an HTML message we send: the rendering of the HTML
// without what a reader never sees (style sheets, scripts, the head).
void LEmailHtmlToSendText(LString& text, const char16_t* html);

// Sending account as the queue reads it.
struct LEmailSendAccount {
    char16_t id[260] = {0};
    char16_t email[260] = {0};
    char16_t incoming[260] = {0};
    char16_t outgoing[260] = {0};
    char16_t password[260] = {0};
    bool requireHostMatch = false;
};
bool LEmailSendGetAccount(LAppDatabaseAccount& db, const char16_t* account_id, LEmailSendAccount& out);

// Special mailboxes: the first live one flagged so, else the first of the
// names, else a local one is made (a local one that list reconciliation
// stamped DELETED is revived rather than duplicated).
bool LEmailFindOrCreateSpecialMailbox(LAppDatabaseAccount& db, const char16_t* account_id, const char16_t* flag,
                                      const char16_t* const* names, const char16_t* create_name,
                                      char16_t mailbox_id[260], char16_t mailbox_name[260]);
bool LEmailFindSentMailbox(LAppDatabaseAccount& db, const char16_t* account_id, char16_t mailbox_id[260],
                           char16_t mailbox_name[260]);
extern const char16_t* const LEmailOutboxNames[];
extern const char16_t* const LEmailDraftsNames[];

// One local row, its address rows and (for queued mail) its queue line in
// one transaction; the local UID is drawn inside it.
struct LLocalMessage {
    const char16_t* mailboxId = u"";
    const char16_t* mailboxName = u"";
    const char16_t* flags = u"";
    const char16_t* to = u"";
    const char16_t* cc = u"";
    const char16_t* bcc = u"";
    const char16_t* replyTo = u"";
    const char16_t* messageId = u"";
    const char16_t* subject = u"";
    const char16_t* textBody = u"";
    const char16_t* htmlBody = u"";
    const LQueueExtras* queued = nullptr;  // set: the row is queued for sending
};
bool LEmailStoreLocalMessage(LAppDatabaseAccount& db, const LEmailSendAccount& account, const LLocalMessage& m,
                             char16_t new_id[260]);

// The whole message as it is sent and filed (CR LF lines, UTF-8).
struct LComposeInput {
    const char16_t* from = u"";
    const char16_t* to = u"";
    const char16_t* replyTo = u"";
    const char16_t* subject = u"";
    const char16_t* messageId = u"";
    const char16_t* inReplyTo = u"";
    const char16_t* references = u"";
    const char16_t* autoSubmitted = u"";
    const char16_t* textBody = u"";
    const char16_t* htmlBody = u"";
    const char* date = "";  // empty: now
};
void LEmailComposeMime(const LComposeInput& in, LStringA& out);

// Table of the queue lines; created with the mail services' schema.
int LSendQueueCreateSchema(LAppDatabaseAccount& db);

// One round: sends every due QUEUED row and files every due SENT row, each
// on its own. Returns 1 when a stop was asked, else 0, and the time of the
// next due retry in next_due (0: none).
class LTaskProgress;
int LSendQueueProcess(LTaskProgress& progress, LAppDatabaseAccount& db, int64_t& next_due);
// Rows left SENDING by a process that ended during a send: the server may
// have the message or not; they are sent again after a longer wait.
void LSendQueueRecoverInterrupted(LAppDatabaseAccount& db);
// The wait after the n-th failed try: 1 minute doubling to 1 hour.
int64_t LSendQueueBackoffSeconds(int tries);
// Failed tries after which a temporary failure is given up as well.
constexpr int LSendQueueMaxTries = 30;
// The shortest wait before a message that may have arrived is sent again.
constexpr int64_t LSendQueueUncertainWaitSeconds = 900;
// How often a paused account's settings are looked at for a change.
constexpr int64_t LSendQueuePauseLookSeconds = 300;
// The longest one SMTP dialogue or one IMAP filing session may take, plus
// a second for every 50 kB of the message.
constexpr uint32_t LSendQueueExchangeLimitMs = 60000;
// Test hook: another limit in ms (0 restores the usual one).
void LSendQueueSetExchangeLimitForTests(uint32_t ms);
// Test hook: a fault after the APPEND to Sent succeeded: 1 the process
// "ends" there (nothing more is done), 2 the server's answer is "lost".
void LSendQueueSetFilingFaultForTests(int fault);

void LSendQueueWake();
