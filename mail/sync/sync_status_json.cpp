#include "mail/sync/sync_engine.h"
#include "mail/sync/sync_registry.h"

namespace {

const char* StateWord(const LMailSyncStatus& s, bool hasServer, const char16_t*& error) {
    if (s.lastError[0]) return "error";
    switch (s.state) {
        case LMailSyncUpdating: return "updating";
        case LMailSyncUpToDate:
        case LMailSyncWaiting: return "uptodate";
        case LMailSyncError: error = u"Unable to connect to the IMAP server."; return "error";
        case LMailSyncNotConfigured:
            if (hasServer) return "updating";  // not yet reported
            [[fallthrough]];
        default: error = u"Incoming server is not configured."; return "error";
    }
}

}  // namespace

bool LMailSyncWriteStatusJson(LJsonWriter& writer) {
    LAppDatabaseAccount db(true);
    if (!db.handle) return false;
    writer.BeginArrayNamed("accounts");
    LAppDatabaseCursor c;
    // The stored count is asked for every second or two during a mirror:
    // an index on (ACCOUNT_ID, IS_DELETED) answers it without reading the
    // rows, whose flag lies behind the bodies.
    c.Query(db,
            u"SELECT EMAILACCOUNTS.ID, EMAILACCOUNTS.EMAIL, EMAILACCOUNTS.INCOMINGSERVER, "
            u"MAX(EMAILMAILBOXES.LAST_SYNC_UTC), (SELECT COUNT(*) FROM EMAIL_MESSAGES m WHERE "
            u"m.ACCOUNT_ID=EMAILACCOUNTS.ID AND m.IS_DELETED=0) FROM EMAILACCOUNTS LEFT JOIN EMAILMAILBOXES ON "
            u"EMAILMAILBOXES.EMAILACCOUNTS_ID=EMAILACCOUNTS.ID AND EMAILMAILBOXES.DELETED IS NULL WHERE "
            u"EMAILACCOUNTS.DELETED IS NULL GROUP BY EMAILACCOUNTS.ID, EMAILACCOUNTS.EMAIL, "
            u"EMAILACCOUNTS.INCOMINGSERVER ORDER BY EMAILACCOUNTS.EMAIL;");
    for (; c.HasRow(); c.Step()) {
        char16_t id[260], email[260], server[260], lastSync[260];
        c.GetColumnText(0, u"", id);
        c.GetColumnText(1, u"", email);
        c.GetColumnText(2, u"", server);
        c.GetColumnText(3, u"", lastSync);
        int64_t messages = c.GetColumnInt64(4);
        LMailSyncStatus s;
        EMLEmailAccGetter* w = nullptr;
        {
            LMailSyncEngineState& e = LMailSyncEngine();
            std::lock_guard<std::mutex> g(e.lock);
            w = LMailSyncFindWorker(e.accounts, id);
            if (w) w->inUse.fetch_add(1);
        }
        const char16_t* error = nullptr;
        const char* state;
        if (w) {
            w->GetStatus(s);
            w->inUse.fetch_sub(1);
            state = StateWord(s, server[0] != 0, error);
        } else if (!server[0]) {
            state = "error";
            error = u"Incoming server is not configured.";
        } else {
            state = "updating";
        }
        writer.BeginObject();
        writer.String("id", id);
        writer.String("email", email);
        writer.StringUTF8("state", state);
        writer.Int("progress_percent", s.percent);
        writer.Int("mailboxes_done", s.mailboxesDone);
        writer.Int("mailboxes_total", s.mailboxesTotal);
        writer.String("current_mailbox", s.currentMailbox);
        writer.String("last_error", error ? error : s.lastError);
        writer.String("last_sync_utc", lastSync);
        writer.Bool("has_sync_thread", w != nullptr);
        writer.Int64("message_count", messages);
        writer.EndObject();
    }
    writer.EndArray();
    return true;
}
