// The settings test: a dialogue up to RCPT TO that tells whether a server
// would take mail with these settings, without sending any. It connects as
// the sender does (TLS from the first byte on 465, STARTTLS when asked
// for), so that what passes the test is what sending will meet.
#include <arpa/inet.h>

#include "foundation/utf8.h"
#include "net/mime/address.h"
#include "net/crypto_socket.h"
#include "net/net_address.h"
#include "net/smtp/smtp_dialogue.h"
#include "net/smtp/smtp_sender.h"

namespace {

LNetOpResult Connect(LNetOpResult& result, LTaskProgress& progress, LCryptoSocket& conn, const char16_t* hostText,
                     uint16_t& connected) {
    char16_t hostW[260];
    uint16_t port = LNetSplitHostPort(hostText, hostW, 587);
    char host[260];
    LWideToUTF8Buf(host, hostW);
    LNetAddressList list;
    LNetResolveHost(list, host, port);
    LNetSocketAddress address;
    address.address = list.count ? list.addresses[0] : 0xFFFFFFFFu;
    for (uint16_t p : {port, uint16_t(25)}) {
        address.port = htons(p);
        LCopyField(conn.server_name, hostW);
        connected = p;
        if (LNetConnect(result, progress, conn.socket, address, 60000) != LNetFailed || port != 587) break;
    }
    if (result == LNetFailed) return LSmtpFail(result, progress, u"Unable to connect to mail server \"%s\".", hostText);
    return result;
}

LNetOpResult Authenticate(LNetOpResult& result, LTaskProgress& progress, LCryptoSocket& conn, const LSmtpSettings& s) {
    int code = 0;
    if (LSmtpSendCommand(result, progress, conn, "AUTH LOGIN\r\n", "", "") != LNetDone) return result;
    if (LSmtpReadReply(result, progress, conn, code, nullptr) != LNetDone) return result;
    if (code == 530) return LSmtpFail(result, progress, LSmtpEncryptionRequiredText);
    if (code != 334) return result = LNetDone;
    LSmtpConnectionWriter writer(conn);
    for (const char16_t* secret : {s.userName, s.password}) {
        LUTF8FromWide utf8(secret);
        if (utf8.Length() == 0) {
            if (conn.Send(result, progress, "\r\n", 2, LSmtpCommandTimeout) != LNetDone) return result;
        } else if ((result = LSmtpSendBase64Block(progress, writer, reinterpret_cast<const uint8_t*>(utf8.text),
                                                  utf8.Length())) != LNetDone) {
            return result;
        }
        if (LSmtpReadReply(result, progress, conn, code, nullptr) != LNetDone) return result;
        if (secret == s.userName && code != 334) return result = LNetDone;
    }
    if (code != 235) return LSmtpFail(result, progress, u"Email authentication username or password not accepted");
    return result = LNetDone;
}

LNetOpResult RunTest(LNetOpResult& result, LTaskProgress& progress, LCryptoSocket& conn, const LSmtpSettings& s) {
    uint16_t port = 0;
    if (Connect(result, progress, conn, s.smtpHost, port) != LNetDone) return result;
    progress.SetProgress(0.3);
    progress.SetStatusText(u"Connected to server", 1);
    bool implicitTls = LSmtpIsImplicitTlsPort(port);
    if (implicitTls && !conn.StartTls(LTlsClient))
        return LSmtpFail(result, progress, u"Could not create secure connection to server.");
    int code = 0;
    if (LSmtpReadReply(result, progress, conn, code, nullptr) != LNetDone) return result;
    if (code != 220) {
        if (progress.IsStopRequested()) return result = LNetStopped;
        return LSmtpFail(result, progress, u"Mail server not responding");
    }
    bool startTls = false;
    if (LSmtpGreet(result, progress, conn, startTls, code) != LNetDone) return result;
    if (code != 250) {
        if (progress.IsStopRequested()) return result = LNetStopped;
        return LSmtpFail(result, progress, u"Mail host server error (HELO not accepted): %d", code);
    }
    uint8_t mismatch = 0;
    if (!implicitTls && s.useSsl && LSmtpRequireStartTls(result, progress, conn, startTls, mismatch) != LNetDone)
        return result;
    if (*s.userName && Authenticate(result, progress, conn, s) != LNetDone) return result;

    progress.SetProgress(0.6);
    progress.SetStatusText(u"Sending test commands to server", 1);
    char16_t sender[260];
    if (*s.sender) {
        LCopyField(sender, s.sender);
    } else {
        char16_t host[260];
        LNetSplitHostPort(s.smtpHost, host, 25);
        LString made;
        made.Format(u"Porlinex@%s", host);
        LCopyField(sender, made.c_str());
    }
    char senderA[260];
    LWideToUTF8Buf(senderA, sender);
    if (LSmtpSendCommand(result, progress, conn, "MAIL FROM:<", senderA, ">\r\n") != LNetDone) return result;
    if (LSmtpReadReply(result, progress, conn, code, nullptr) != LNetDone) return result;
    if (code != 250)
        return LSmtpFail(result, progress,
                         u"Mail host server error (MAIL FROM not accepted). Please check your Email Settings. (%d)", code);

    char text[260];
    if (LSmtpSendCommand(result, progress, conn, "RCPT TO:<", LSmtpTestRecipient, ">\r\n") != LNetDone) return result;
    if (LSmtpReadReply(result, progress, conn, code, text) != LNetDone) return result;
    if (code == 250 || code == 251) {
        progress.SetProgress(0.95);
        progress.SetStatusText(u"Disconnecting from server", 1);
        if (LSmtpSendCommand(result, progress, conn, "QUIT\r\n", "", "") == LNetDone)
            LSmtpReadReply(result, progress, conn, code, nullptr);
        return result = LNetDone;
    }
    std::string_view trimmed(text);
    while (!trimmed.empty() && trimmed.front() == ' ') trimmed.remove_prefix(1);
    while (!trimmed.empty() && trimmed.back() == ' ') trimmed.remove_suffix(1);
    if (!trimmed.empty())
        return LSmtpFail(result, progress,
                         u"Error while trying to send email:\r\n[%s]\r\n\r\nEmail address may be wrong or your SMTP "
                         u"server may require a username or password.\r\nPlease check address again and see Email "
                         u"Settings.",
                         std::string(trimmed).c_str());
    return LSmtpFail(result, progress,
                     u"Error while trying to send email. Email address may be wrong or your SMTP server may require a "
                     u"username or password. Please check address again and see Email Settings.");
}

}  // namespace

LNetOpResult LSmtpTestSettings(LNetOpResult& result, LTaskProgress& progress, const LSmtpSettings& settings) {
    progress.SetStatusText(u"Checking SMTP Settings", 0);
    progress.SetStatusText(u"Connecting to server", 1);
    progress.SetProgress(0);
    LCryptoSocket conn;
    conn.verify_name = settings.verifyServerName;
    // The sender goes into a command line; nothing of it may end the line.
    for (const char16_t* p = settings.sender; *p; ++p)
        if (*p <= u' ' || *p == u'<' || *p == u'>')
            return LSmtpFail(result, progress, u"Invalid email address to send from: %s", settings.sender);
    return RunTest(result, progress, conn, settings);
}
