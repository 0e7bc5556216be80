// A new password for a user, mailed through the background mailer.
#include "foundation/primary_key.h"
#include "foundation/utf8.h"
#include "net/smtp/bg_mailer.h"
#include "web/pages/account_file.h"
#include "web/pages/logon_pages.h"
#include "web/server/address_text.h"
#include "web/server/web_server.h"

bool LWebResetPassword(const std::string& user) {
    // Letters from the kernel's random source, each equally likely: this
    // password guards the mailbox it is sent to.
    char16_t letters[9];
    if (!LRandomLettersSecure(letters, 8)) return false;
    std::string password = LToUtf8(letters);
    bool set = false;
    bool found = LWebAccountUpdate(user, [&](LWebAccountPairs& account) {
        LWebAccountSet(account, "Password", password);
        set = true;
        return true;
    });
    if (!found || !set) return false;
    LWebSendLogonDetails(user, password);
    return true;
}

void LWebSendLogonDetails(const std::string& user, const std::string& password) {
    char16_t local[260], public_text[260], address[260];
    if (LWebServerIsSecureEnabled()) {
        LRoutingGetLocalAddress(address);
        uint16_t port = LWebServerGetSecurePort();
        std::string text = LToUtf8(address);
        if (port != 443) {
            text += ':';
            text += std::to_string(port);
        }
        LCopyField(local, LFromUtf8(text).c_str());
        LWebPublicSecureAddressText(public_text);
    } else {
        LWebLocalAddressText(local);
        LWebPublicAddressText(public_text);
    }
    LString body;
    body.Format(u"You have been issued logon details for Porlinex:\r\n\r\n    Porlinex Server: %s (over the "
                u"Internet)\r\n    Porlinex Server: %s (on the local network)\r\n    Email: %s\r\n    Password: "
                u"%s\r\n\r\n",
                public_text, local, LFromUtf8(user).c_str(), LFromUtf8(password).c_str());
    LBackgroundMailJob* job = LBackgroundMailJob::Create(LFromUtf8(user).c_str(), body.c_str(), u"");
    if (job) LBackgroundMailerInstance().Queue(job);
}
