// The routes that ask the synchronisation engine for work: re-reading the
// account list, refreshing a mailbox list, downloading an account again,
// and its status.
#include "foundation/json_value.h"
#include "foundation/json_writer.h"
#include "foundation/utf8.h"
#include "mail/routes/route_guard.h"
#include "mail/store/accounts.h"
#include "mail/sync/sync_engine.h"
#include "mail/sync/sync_registry.h"
#include "web/http/routes.h"
#include "web/http/weblet.h"

namespace {

void Fail(Weblet& request, int code, const char* message) {
    request.SendJsonf("{\"errorcode\":%d,\"errormsg\":\"%J\"}", code, message);
}

// The trimmed "ID"; false (and the refusal sent) when it is missing.
bool AccountId(Weblet& request, const LJsonValue& body, char16_t id[260]) {
    static const char* const kTexts[] = {"ID"};
    if (!LMailRouteMembersFit(request, body, kTexts, 1)) return false;
    LString s;
    body.GetMemberString("ID", s);
    s.Trim();
    LCopyField(id, s.c_str());
    if (id[0]) return true;
    Fail(request, 400, "Account ID is required.");
    return false;
}

void LWebEmailAccountsResync(Weblet& request, LWebletRoute*, uint64_t) {
    if (!LMailRouteAllowed(request)) return;
    LMailSyncResyncAll();
    request.SendJsonOk();
}

void LWebEmailAccountMailboxListRefresh(Weblet& request, LJsonValue& body) {
    if (!LMailRouteAllowed(request)) return;
    char16_t id[260];
    if (!AccountId(request, body, id)) return;
    if (!LMailSyncIsStarted() || !LMailSyncRefreshMailboxList(id))
        return Fail(request, 500, "Unable to request mailbox list refresh.");
    request.SendJsonOk();
}

void LWebEmailAccountReload(Weblet& request, LJsonValue& body) {
    if (!LMailRouteAllowed(request)) return;
    char16_t id[260];
    if (!AccountId(request, body, id)) return;
    if (!LMailSyncIsStarted()) return Fail(request, 500, "Mail sync engine is not started.");
    {
        LAppDatabaseAccount db(true);
        char16_t email[260], server[260], password[260];
        bool live = db.handle && LMailSyncGetAccount(db, id, email, server, password);
        LCopyField(password, u"");
        if (!live) return Fail(request, 404, "Unable to find an active email account to reload.");
    }
    LMailSyncStopAccount(id);
    LAppDatabaseAccount db(false);
    if (!db.handle) {
        LMailSyncResyncAll();
        return Fail(request, 500, "Unable to open the local mail database.");
    }
    // Only what came from the server goes; queued mail and drafts stay.
    if (!LEmailAccountPurgeMessages(db, id)) {
        db.Close();
        LMailSyncResyncAll();
        return Fail(request, 500, "Unable to clear local mail data for the account reload.");
    }
    db.Close();
    LMailSyncResyncAll();
    if (!LMailSyncWakeAccount(id))
        return Fail(request, 500, "Local mail data was cleared, but the redownload could not be started.");
    request.SendJsonOk();
}

void LWebEmailAccountStatus(Weblet& request, LWebletRoute*, uint64_t) {
    if (!LMailRouteAllowed(request)) return;
    LStringA out;
    LJsonWriter json(out);
    json.BeginObject();
    bool ok = LMailSyncIsStarted() && LMailSyncWriteStatusJson(json);
    json.EndObject();
    if (!ok) return Fail(request, 500, "Mail sync status is unavailable.");
    request.SendJson(out.c_str(), out.length);
}

[[maybe_unused]] const LWebletRoute* g_resync =
    LWebletRegisterRoute(u"emailaccountsresync", LWebEmailAccountsResync, 1);
[[maybe_unused]] const LWebletRoute* g_refresh =
    LWebletRegisterJsonRoute(u"emailaccountmailboxlistrefresh", LWebEmailAccountMailboxListRefresh, 1);
[[maybe_unused]] const LWebletRoute* g_reload =
    LWebletRegisterJsonRoute(u"emailaccountreload", LWebEmailAccountReload, 1);
[[maybe_unused]] const LWebletRoute* g_status =
    LWebletRegisterRoute(u"emailaccountstatus", LWebEmailAccountStatus, 1);

}  // namespace
