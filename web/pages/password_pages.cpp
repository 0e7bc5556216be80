// The routes changepassword, changepasswordchanged, lostpassword and
// lostpasswordsent.
#include <algorithm>

#include "foundation/utf8.h"
#include "net/mime/address.h"
#include "web/http/routes.h"
#include "web/http/weblet.h"
#include "web/pages/account_file.h"
#include "web/pages/logon_pages.h"
#include "web/pages/page.h"
#include "foundation/time_source.h"

namespace {

constexpr LWebNavLink kChangeLinks[] = {{"main", "Main", false},
                                        {"logoff", "Log Off", false},
                                        {"help/password.html", "Help", true},
                                        {nullptr, nullptr, false}};
constexpr LWebNavLink kLostLinks[] = {{"help/password.html", "Help", true}, {nullptr, nullptr, false}};

// The password dialogs: buttons below the controls only.
class LWebPasswordDialog : public LWebDialogPage {
public:
    LWebPasswordDialog(Weblet& r, const char* title, const char* onok, const char* oncancel, const LWebNavLink* links)
        : LWebDialogPage(r) {
        heading = title;
        top_buttons = false;
        default_onok = onok;
        default_oncancel = oncancel;
        SetNavigationLinks(links);
    }
};

class LWebChangePassword : public LWebPasswordDialog {
public:
    explicit LWebChangePassword(Weblet& r)
        : LWebPasswordDialog(r, "Change Password", "changepasswordchanged", "main", kChangeLinks) {}
    void RenderContent() override {
        focus_id = 101;
        BeginControlRow(101, 0);
        WritePasswordControl(101, "Old Password: ", 24);
        BeginControlRow(102, 0);
        WritePasswordControl(102, "New Password: ", 24);
        BeginControlRow(103, 0);
        WritePasswordControl(103, "Reenter New Password: ", 24);
    }
    bool CmOk() override {
        std::string old_password = GetControlText(101), fresh = GetControlText(102);
        if (fresh != GetControlText(103)) {
            SetError(103, "The reentered new password does not match the first entry of the new password.");
            return false;
        }
        if (fresh.empty()) {
            SetError(102, "Please enter a new password.");
            return false;
        }
        // A wrong old password is a failed log-on: it counts toward the
        // lock-out, and a locked user cannot change the password either.
        int result = 2;
        LWebAccountUpdate(LToUtf8(request.session.GetLoggedOnUser()), [&](LWebAccountPairs& account) {
            result = LWebUserCheckPassword(account, old_password, LNow());
            if (result == 0) LWebAccountSet(account, "Password", fresh);
            return result != 3;
        });
        if (result == 2) return false;
        if (result != 0) {
            SetError(101, "Invalid password. Please try again.");
            return false;
        }
        return true;
    }
};

class LWebLostPassword : public LWebPasswordDialog {
public:
    explicit LWebLostPassword(Weblet& r)
        : LWebPasswordDialog(r, "Reset Password", "lostpasswordsent", "logon", kLostLinks) {}
    bool CheckAccess() override { return true; }
    void RenderContent() override {
        focus_id = 101;
        BeginControlRow(0, 1);
        Out("Please enter your email address. Your password will be reset and sent to you by email.");
        EndCell();
        BeginControlRow(101, 0);
        WriteTextControl("Email: ", 24);
    }
    bool CmOk() override {
        std::string user = GetControlText(101);
        std::transform(user.begin(), user.end(), user.begin(),
                       [](unsigned char c) { return static_cast<char>(c < 0x80 ? std::tolower(c) : c); });
        if (user.empty()) {
            SetError(101, "Please enter your email address.");
            return false;
        }
        if (!LEmailAddressListIsValid(LFromUtf8(user).c_str())) {
            SetError(101, "This email address is invalid. Please try again.");
            return false;
        }
        // Every reset mails someone: the log-on limit keeps one address from
        // resetting passwords and flooding mailboxes over and over.
        if (!LWebLogonAttemptAllowed(request)) {
            SetError(101, "Too many attempts. Please try again later.");
            return false;
        }
        LWebLogonCountFailure(request);
        if (!LWebResetPassword(user)) {
            SetError(101, "This user doesn't exist in the Porlinex System");
            return false;
        }
        return true;
    }
};

class LWebMessagePage : public LWebPage {
public:
    LWebMessagePage(Weblet& r, const char* text, bool needs_session) : LWebPage(r), text_(text), needs_(needs_session) {}
    bool CheckAccess() override { return !needs_ || LWebPage::CheckAccess(); }
    void RenderContent() override { Out(text_); }

private:
    const char* text_;
    bool needs_;
};

template <class Page>
void DialogRoute(Weblet& request, LWebletRoute*, uint64_t) {
    Page page(request);
    page.RunDialog();
}

constexpr char kChanged[] =
    "<center>Your password has been changed.<p>Click <a href='main'>here</a> to return.</center>";
constexpr char kSent[] = "<center>Your password has been reset and sent to your email address.<p>Click <a "
                         "href=\"logon\">here</a> to log on when you receive your password.</center>";

template <const char* Text, bool NeedsSession>
void MessageRoute(Weblet& request, LWebletRoute*, uint64_t) {
    LWebMessagePage page(request, Text, NeedsSession);
    page.Run();
}

[[maybe_unused]] const LWebletRoute* g_change = LWebletRegisterRoute(u"changepassword", DialogRoute<LWebChangePassword>, 1);
[[maybe_unused]] const LWebletRoute* g_changed =
    LWebletRegisterRoute(u"changepasswordchanged", MessageRoute<kChanged, true>, 1);
[[maybe_unused]] const LWebletRoute* g_lost = LWebletRegisterRoute(u"lostpassword", DialogRoute<LWebLostPassword>, 1);
[[maybe_unused]] const LWebletRoute* g_sent = LWebletRegisterRoute(u"lostpasswordsent", MessageRoute<kSent, false>, 1);

}  // namespace
