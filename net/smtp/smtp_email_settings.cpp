// The system's own mail: the settings section "Email" and its first-run
// defaults.
#include "foundation/reg_settings.h"
#include "foundation/utf8.h"
#include "foundation/wait.h"
#include "net/smtp/mail_discovery.h"
#include "net/smtp/smtp_sender.h"

namespace {

void Read(const char16_t* name, char16_t out[260]) { LRegSettingsGet(LEmailSettingsSection, name, u"", out); }

}  // namespace

LNetOpResult LSendEmailUsingEmailSettings(LNetOpResult& result, LTaskProgress& progress, const LSettingsEmail& email) {
    LString status;
    status.Format(u"To: %s", email.to);
    progress.SetStatusText(status.c_str(), 0);
    progress.SetStatusText(u"Preparing message", 1);

    char16_t useHost[260], host[260] = {}, user[260] = {}, password[260] = {}, sendDirect[260], useSsl[260];
    Read(u"UseSMTPHost", useHost);
    LSmtpMessage message;
    if (useHost[0] == u'0') {
        message.sendDirect = 1;
        message.useSsl = 0;
    } else {
        Read(u"MailSMTPHost", host);
        Read(u"SMTPUserName", user);
        LRegSettingsGetEncrypted(LEmailSettingsSection, u"SMTPPassword", password);
        Read(u"SendDirect", sendDirect);
        Read(u"UseSSL", useSsl);
        message.sendDirect = sendDirect[0] != u'0';
        message.useSsl = useSsl[0] != 0 && useSsl[0] != u'0';
    }
    message.to = email.to;
    message.subject = email.subject;
    message.body = email.body;
    message.attachmentPaths = email.attachmentPaths;
    message.attachmentCount = email.attachmentCount;
    message.sender = email.sender;
    message.senderName = email.senderName;
    message.replyTo = email.replyTo;
    message.smtpHost = host;
    message.userName = user;
    message.password = password;
    // The server's certificate is checked like any other TLS peer's.
    message.verifyServerName = 1;
    message.nameMismatch = 0;
    return LSmtpSendEmail(result, progress, message);
}

void LEmailSetDefaultSmtpSettings() {
    char16_t done[260];
    Read(u"DefaultsSet", done);
    if (done[0] && done[0] != u'0') return;
    LRegSettingsSet(LEmailSettingsSection, u"DefaultsSet", u"1");
    char16_t server[260], address[260];
    if (!LDefaultMailAccountFind(server, address)) return;
    LRegSettingsSet(LEmailSettingsSection, u"MailSMTPHost", server);
    LRegSettingsSet(LEmailSettingsSection, u"ReplyToEmail", address);
    LSmtpSettings test;
    test.smtpHost = server;
    test.useSsl = 0;
    LPlainWait wait;
    LNetOpResult result;
    LSmtpTestSettings(result, wait, test);
    LRegSettingsSet(LEmailSettingsSection, u"UseSMTPHost", result == LNetDone ? u"1" : u"0");
}
