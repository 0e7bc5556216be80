// The routes logon and logoff. The log-on form checks the password and the
// lock-out rule but makes no session: sessions come only from the start
// route.
#include "web/pages/logon_pages.h"

#include <unistd.h>

#include "foundation/log.h"
#include "net/rate_limit.h"
#include "web/http/routes.h"
#include "web/http/weblet.h"
#include "web/pages/account_file.h"
#include "web/pages/page.h"
#include "web/pages/page_text.h"

bool LWebLogonAttemptAllowed(Weblet& request) {
    uint32_t key = request.peer_ip;
    if (!LIPRateLimit::IsOverLimit(gIPRateLimitLogon, key, LIPRateLimitLogonShort, LIPRateLimitLogonLong)) return true;
    char peer[32];
    request.PeerText(peer);
    LLogRateLimitedF(30, "IPRateLimit: Login attempts exceeded the limit. Block IP  %s", peer);
    LWebLogonCountFailure(request);
    usleep(20000);
    return false;
}

void LWebLogonCountFailure(Weblet& request) {
    gIPRateLimitLogon.CountHit(LIPRateLimit::BucketOf(request.peer_ip), request.peer_ip);
}

namespace {

constexpr LWebNavLink kLogonLinks[] = {{"help/login.html", "Help", true}, {nullptr, nullptr, false}};

class LWebLogon : public LWebDialogPage {
public:
    explicit LWebLogon(Weblet& r) : LWebDialogPage(r) {
        ok_label = "  Login  ";
        cancel_label.clear();
        heading = "Login";
        top_buttons = false;
        checkbox_id = 103;
        checkbox_label = "Remember me on this computer";
        SetNavigationLinks(kLogonLinks);
    }
    bool CheckAccess() override { return true; }
    void OnInit() override {
        titles[101] = "Enter your user name. Default is Admin.";
        titles[102] = "Enter your password. If you have forgotten what it is, please click Forgot your password.";
    }
    void RenderContent() override {
        focus_id = 101;
        BeginControlRow(101, 0);
        WriteTextControl("User Name:", 27);
        BeginControlRow(102, 0);
        WritePasswordControl(102, "Password:", 27);
        BeginControlRow(-1, 1);
        Outf("<font size=-2><a id=%d name=%s href='%s' title='%H'>%H</a></font>", -1, "lostpassword", "lostpassword",
             GetControlTitle(-1).c_str(), "Forgot your password?");
        EndCell();
    }
    virtual bool CheckCredentials(const std::string& user, const std::string& password) {
        if (!LWebLogonAttemptAllowed(request)) return false;
        int result = LWebCheckLogon(user, password);
        if (result == 1 || result == 2) LWebLogonCountFailure(request);
        return result == 0;
    }
    bool CmOk() override {
        std::string user = GetControlText(101);
        if (user.empty()) {
            SetError(101, "Please enter your user name.");
            return false;
        }
        if (!CheckCredentials(user, GetControlText(102))) {
            SetError(101, "Login failed. Please check you have the right password.");
            return false;
        }
        LLogWrite("LWebLogon::CmOk does not yet support DB", LLogError);
        SetSessionCookieScript(OnOk());
        return true;
    }
};

void LWebLogonRoute(Weblet& request, LWebletRoute*, uint64_t) {
    if (request.session.HasSession()) {
        LWebletRedirectTo(request, LWebLocalTargetField(request, u"onok", "main"));
        return;
    }
    LWebLogon page(request);
    page.RunDialog();
}

class LWebLogoffPage : public LWebPage {
public:
    explicit LWebLogoffPage(Weblet& r) : LWebPage(r) { title = "Logoff"; }
    void RenderContent() override {
        Out("<center>You have successfully logged out. Thank you for using Porlinex.<br><br>Click <a "
            "href=\"logon\">here</a> to log on again.</center>");
        request.session.DeleteSession();
    }
};

void LWebLogoff(Weblet& request, LWebletRoute*, uint64_t) {
    LWebLogoffPage page(request);
    page.Run();
}

[[maybe_unused]] const LWebletRoute* g_logon = LWebletRegisterRoute(u"logon", LWebLogonRoute, 1);
[[maybe_unused]] const LWebletRoute* g_logoff = LWebletRegisterRoute(u"logoff", LWebLogoff, 1);

}  // namespace
