// The account routes that need no running synchronisation: guessing the
// servers of an address, testing settings, storing and removing a password.
#include "foundation/json_value.h"
#include "foundation/utf8.h"
#include "foundation/wait.h"
#include "mail/routes/route_guard.h"
#include "mail/store/accounts.h"
#include "mail/store/server_discovery.h"
#include "mail/sync/sync_engine.h"
#include "net/imap/imap_client.h"
#include "net/smtp/smtp_sender.h"
#include "web/http/routes.h"
#include "web/http/weblet.h"

namespace {

void Fail(Weblet& request, int code, const char* message) {
    request.SendJsonf("{\"errorcode\":%d,\"errormsg\":\"%J\"}", code, message);
}

// A trimmed member: blanks off both ends.
void Trimmed(const LJsonValue& body, const char* name, char16_t out[260]) {
    LString s;
    body.GetMemberString(name, s);
    s.Trim();
    LCopyField(out, s.c_str());
}

void LWebEmailAccountGuessServers(Weblet& request, LJsonValue& body) {
    if (!LMailRouteAllowed(request)) return;
    static const char* const kTexts[] = {"EMAIL"};
    if (!LMailRouteMembersFit(request, body, kTexts, 1)) return;
    char email[260];
    body.GetMemberTextA("EMAIL", "", email);
    if (!email[0]) return Fail(request, 400, "Please enter an email address.");
    char imap[260] = {}, smtp[260] = {};
    if (!LEmailGuessServers(request.connection.Progress(), email, imap, smtp))
        return Fail(request, 400, "Unable to infer mail servers from the email address.");
    request.SendJsonf("{\"errorcode\":200,\"errormsg\":\"OK\",\"INCOMINGSERVER\":\"%J\",\"OUTGOINGSERVER\":\"%J\"}",
                      imap, smtp);
}

void LWebEmailAccountTest(Weblet& request, LJsonValue& body) {
    if (!LMailRouteAllowed(request)) return;
    static const char* const kTexts[] = {"EMAIL", "PASSWORD", "INCOMINGSERVER", "OUTGOINGSERVER"};
    if (!LMailRouteMembersFit(request, body, kTexts, 4)) return;
    char16_t email[260], password[260], incoming[260], outgoing[260];
    body.GetMemberText("EMAIL", email);
    body.GetMemberText("PASSWORD", password);
    body.GetMemberText("INCOMINGSERVER", incoming);
    body.GetMemberText("OUTGOINGSERVER", outgoing);
    bool host_match = body.Member("REQUIRE_SMTP_HOST_MATCH").AsInt64() != 0;
    if (!email[0]) return Fail(request, 400, "Please enter an email address.");
    if (!password[0]) return Fail(request, 400, "Please enter a password.");
    if (!incoming[0]) return Fail(request, 400, "No host provided.");

    LTaskProgress& progress = request.connection.Progress();
    progress.SetStatusText(u"Testing email account", 0);
    progress.SetStatusText(u"Connecting to IMAP server", 1);
    {
        LImapConnection imap;
        LNetOpResult result = 2;
        if (imap.Login(result, progress, incoming, email, password) != 0)
            return Fail(request, 400,
                        "Unable to connect to the IMAP server. Please check the email address and password.");
        if (progress.IsStopRequested())
            imap.Disconnect();
        else
            imap.Logout(result, progress);
    }
    if (!outgoing[0]) return Fail(request, 400, "Outgoing server is required.");
    progress.SetStatusText(u"Connecting to SMTP server", 1);
    LSmtpSettings settings;
    settings.smtpHost = outgoing;
    settings.userName = email;
    settings.sender = email;
    settings.password = password;
    settings.verifyServerName = host_match ? 1 : 0;
    LNetOpResult result = 2;
    if (LSmtpTestSettings(result, progress, settings) != 0)
        return Fail(request, 400,
                    "Unable to connect to the SMTP server. Please check the outgoing server and certificate settings.");
    request.SendJsonOk();
}

void LWebEmailAccountPassword(Weblet& request, LJsonValue& body) {
    if (!LMailRouteAllowed(request)) return;
    static const char* const kTexts[] = {"ID", "PASSWORD"};
    if (!LMailRouteMembersFit(request, body, kTexts, 2)) return;
    char16_t id[260], password[260];
    Trimmed(body, "ID", id);
    // The password is stored exactly as the test used it: a blank at either
    // end belongs to it.
    body.GetMemberText("PASSWORD", password);
    if (!id[0] || !password[0]) return Fail(request, 400, "Account ID and password are required.");
    LAppDatabaseAccount db(false);
    if (!db.handle) return Fail(request, 500, "Unable to store the email account password.");
    LString q;
    q.Format(u"SELECT ID FROM %s.EMAILACCOUNTS WHERE ID='%Q' AND DELETED IS NULL LIMIT 1;", u"main", id);
    char16_t found[260] = {};
    if (!db.QueryText(q.c_str(), found) || !found[0]) return Fail(request, 404, "Email account was not found.");
    if (!LEmailAccountPasswordSet(db, id, password))
        return Fail(request, 500, "Unable to store the email account password.");
    db.Close();
    // A new account, or one whose password was wrong, starts mirroring now:
    // the resync starts its worker, or restarts it with the new password.
    LMailSyncResyncAll();
    request.SendJsonOk();
}

void LWebEmailAccountPasswordDelete(Weblet& request, LJsonValue& body) {
    if (!LMailRouteAllowed(request)) return;
    static const char* const kTexts[] = {"ID"};
    if (!LMailRouteMembersFit(request, body, kTexts, 1)) return;
    char16_t id[260];
    Trimmed(body, "ID", id);
    if (!id[0]) return Fail(request, 400, "Account ID is required.");
    LAppDatabaseAccount db(false);
    if (!db.handle || !db.ExecF(u"DELETE FROM %s.EMAILACCOUNTSPASSWORDS WHERE ID='%Q';", u"main", id))
        return Fail(request, 500, "Unable to remove the email account password.");
    db.Close();
    // The account's worker holds the old password and would go on signing
    // in with it: the resync finds the password gone and retires it.
    LMailSyncResyncAll();
    request.SendJsonOk();
}

[[maybe_unused]] const LWebletRoute* g_guess =
    LWebletRegisterJsonRoute(u"emailaccountguessservers", LWebEmailAccountGuessServers, 1);
[[maybe_unused]] const LWebletRoute* g_test = LWebletRegisterJsonRoute(u"emailaccounttest", LWebEmailAccountTest, 1);
[[maybe_unused]] const LWebletRoute* g_password =
    LWebletRegisterJsonRoute(u"emailaccountpassword", LWebEmailAccountPassword, 1);
[[maybe_unused]] const LWebletRoute* g_delete =
    LWebletRegisterJsonRoute(u"emailaccountpassworddelete", LWebEmailAccountPasswordDelete, 1);

}  // namespace
