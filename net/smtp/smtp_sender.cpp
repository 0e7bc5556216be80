#include "net/smtp/smtp_sender.h"

#include <arpa/inet.h>

#include <atomic>
#include <cstdio>

#include "foundation/lstring.h"
#include "foundation/utf8.h"
#include "net/mime/address.h"
#include "net/crypto_socket.h"
#include "net/net_address.h"
#include "net/smtp/smtp_dialogue.h"
#include "net/smtp/smtp_reply.h"

namespace {

std::atomic<uint16_t> g_directPortForTests{0};

constexpr const char16_t* kEncryptionRequired = LSmtpEncryptionRequiredText;

template <class... A>
LNetOpResult Fail(LNetOpResult& result, LTaskProgress& progress, const char16_t* fmt, const A&... a) {
    return LSmtpFail(result, progress, fmt, a...);
}

// An address goes between '<' and '>' of a command line: nothing in it may
// end the line or the brackets early.
bool SafeInCommand(const char16_t* address) {
    for (const char16_t* p = address; *p; ++p)
        if (*p <= u' ' || *p == u'<' || *p == u'>' || *p == 0x7F) return false;
    return *address != 0;
}

// One connection of one send: through the SMTP host (authentication allowed)
// or to an exchanger.
struct Dialogue {
    LTaskProgress& progress;
    LSmtpMessage& message;
    LCryptoSocket conn;
    bool implicitTls = false;
    bool viaHost = false;
    bool eightBitMime = false;  // the server offers 8BITMIME

    Dialogue(LTaskProgress& p, LSmtpMessage& m) : progress(p), message(m) { conn.verify_name = m.verifyServerName; }

    bool SecureNow() {
        if (conn.StartTls(LTlsClient)) return true;
        if (conn.name_mismatch) message.nameMismatch = 1;
        return false;
    }
    // What the dialogue does now; the last reply is forgotten, so that a
    // command without an answer is not reported with an older one.
    void Step(const char* name) {
        message.outcome.step = name;
        message.outcome.serverReply[0] = 0;
    }
    void Keep(const LSmtpReplyReader& reply) {
        std::snprintf(message.outcome.serverReply, sizeof message.outcome.serverReply, "%s", reply.full);
    }
    LNetOpResult Command(LNetOpResult& result, const char* step, const char* a, const char* b, const char* c) {
        Step(step);
        return LSmtpSendCommand(result, progress, conn, a, b, c);
    }
    // One reply, kept whole for the caller's report.
    LNetOpResult Read(LNetOpResult& result, int& code, char* text);
    LNetOpResult Run(LNetOpResult& result);
    LNetOpResult Converse(LNetOpResult& result);
    LNetOpResult Authenticate(LNetOpResult& result);
    LNetOpResult SendBase64Line(LNetOpResult& result, const char16_t* text);
};

LNetOpResult Dialogue::Read(LNetOpResult& result, int& code, char* text) {
    LSmtpReplyReader reader;
    code = 0;
    if (text) text[0] = 0;
    if (LSmtpReadReplyInto(result, progress, conn, reader, LSmtpReplyTimeout) != LNetDone) return result;
    code = reader.code;
    if (text) LCopyFieldA(text, reader.text);
    Keep(reader);
    return result;
}

LNetOpResult Dialogue::SendBase64Line(LNetOpResult& result, const char16_t* text) {
    LUTF8FromWide utf8(text);
    LSmtpConnectionWriter writer(conn);
    // An empty text still needs its (empty) line, or the server waits for it.
    if (utf8.Length() == 0) return conn.Send(result, progress, "\r\n", 2, LSmtpCommandTimeout);
    return result = LSmtpSendBase64Block(progress, writer, reinterpret_cast<const uint8_t*>(utf8.text), utf8.Length());
}

LNetOpResult Dialogue::Authenticate(LNetOpResult& result) {
    int code = 0;
    if (Command(result, "AUTH", "AUTH LOGIN\r\n", "", "") != LNetDone) return result;
    if (Read(result, code, nullptr) != LNetDone) return result;
    if (code == 503) {
        bool startTls;
        Step("EHLO");
        LSmtpReplyReader last;
        if (LSmtpGreet(result, progress, conn, startTls, code, &last) != LNetDone) return result;
        Keep(last);
        if (code == 250) {
            if (Command(result, "AUTH", "AUTH LOGIN\r\n", "", "") != LNetDone) return result;
            if (Read(result, code, nullptr) != LNetDone) return result;
        }
    }
    if (code == 530) return Fail(result, progress, kEncryptionRequired);
    if (code != 334) return result = LNetDone;  // the server does without
    Step("AUTH");
    if (SendBase64Line(result, message.userName) != LNetDone) return result;
    if (Read(result, code, nullptr) != LNetDone) return result;
    if (code != 334) return result = LNetDone;
    Step("AUTH");
    if (SendBase64Line(result, message.password) != LNetDone) return result;
    if (Read(result, code, nullptr) != LNetDone) return result;
    if (code != 235) {
        // A final refusal; "454 try again later" is not one.
        message.outcome.authFailed = code >= 500 && code < 600;
        return Fail(result, progress, u"Email authentication username or password not accepted (%d): %s", code,
                    message.to);
    }
    return result = LNetDone;
}

// Until the server has answered MAIL FROM, and whenever a command gets no
// answer at all, a failure is the server's, not the message's.
LNetOpResult Dialogue::Run(LNetOpResult& result) {
    message.outcome.serverTrouble = 1;
    Converse(result);
    if (result != LNetDone && !message.outcome.serverReply[0]) message.outcome.serverTrouble = 1;
    return result;
}

LNetOpResult Dialogue::Converse(LNetOpResult& result) {
    progress.SetProgress(0.1);
    progress.SetStatusText(u"Connected to server", 1);
    Step("TLS handshake");
    if (implicitTls && !SecureNow()) return Fail(result, progress, u"Could not create secure connection to server.");

    int code = 0;
    Step("greeting");
    if (Read(result, code, nullptr) != LNetDone) return result;
    if (code != 220) return Fail(result, progress, u"Mail server not responding: %s (%d)", message.to, code);

    bool startTls = false;
    Step("EHLO");
    LSmtpReplyReader last;
    if (LSmtpGreet(result, progress, conn, startTls, code, &last) != LNetDone) return result;
    Keep(last);
    eightBitMime = last.eightBitMime;
    if (code != 250) {
        if (code == 504)
            return Fail(result, progress,
                        u"Mail host server error (HELO not accepted, error code 504) for destination email %s - "
                        u"usually this means the email address is not valid.",
                        message.to);
        return Fail(result, progress, u"Mail host server error (HELO not accepted): %d emailto: %s", code, message.to);
    }

    // With UseSSL the user asked for an encrypted connection: a server that
    // does not offer STARTTLS or refuses it gets neither the credentials nor
    // the message in clear.
    if (!implicitTls && message.useSsl) {
        Step("STARTTLS");
        if (LSmtpRequireStartTls(result, progress, conn, startTls, message.nameMismatch, &last) != LNetDone) {
            Keep(last);
            return result;
        }
        Keep(last);
        eightBitMime = last.eightBitMime;
    }

    if (viaHost && *message.userName && Authenticate(result) != LNetDone) return result;

    // The envelope sender; a made-up one names the host without its port.
    char16_t sender[260];
    if (*message.sender) {
        LCopyField(sender, message.sender);
    } else {
        char16_t domain[260];
        if (viaHost) {
            LNetSplitHostPort(message.smtpHost, domain, 25);
        } else {
            LEmailAddressCursor first;
            first.Begin(message.to);
            if (!LEmailAddressDomain(first.address, domain))
                return Fail(result, progress, u"Invalid email address to send to: %s", message.to);
        }
        LString made;
        made.Format(u"Porlinex@%s", domain);
        LCopyField(sender, made.c_str());
    }
    if (!SafeInCommand(sender)) return Fail(result, progress, u"Invalid email address to send from: %s", sender);
    char senderA[260];
    LWideToUTF8Buf(senderA, sender);
    char text[260];
    // 8-bit text is announced where the server understands the word.
    bool eightBit = false;
    for (uint64_t i = 0; message.mime && i < message.mimeLength && !eightBit; ++i)
        eightBit = static_cast<unsigned char>(message.mime[i]) >= 0x80;
    const char* mailTail = eightBit && eightBitMime ? "> BODY=8BITMIME\r\n" : ">\r\n";
    if (Command(result, "MAIL FROM", "MAIL FROM:<", senderA, mailTail) != LNetDone) return result;
    if (Read(result, code, text) != LNetDone) return result;
    message.outcome.serverTrouble = 0;
    message.permanentFailure = code >= 500 && code < 600;
    if (code != 250)
        return Fail(result, progress,
                    u"Mail host server error (MAIL FROM not accepted). Please check your Email Settings. %s - (%d - %s)",
                    sender, code, text);

    bool accepted = false;
    bool allPermanent = true;
    message.refusedRecipients = 0;
    LEmailAddressCursor rcpt;
    for (rcpt.Begin(message.to); rcpt.address[0];) {
        char addressA[260];
        LWideToUTF8Buf(addressA, rcpt.address);
        if (Command(result, "RCPT TO", "RCPT TO:<", addressA, ">\r\n") != LNetDone) return result;
        if (Read(result, code, nullptr) != LNetDone) return result;
        if (code == 250 || code == 251) {
            accepted = true;
        } else {
            ++message.refusedRecipients;
            if (code < 500 || code >= 600) allPermanent = false;
        }
        if (!rcpt.Next()) break;
    }
    if (!accepted) {
        if (progress.IsStopRequested()) return result = LNetStopped;
        message.permanentFailure = allPermanent;
        return Fail(result, progress,
                    u"Error while trying to send email. Email address may be wrong or your SMTP server may require a "
                    u"username or password. Please check address again and see Email Settings. (%d): %s",
                    code, message.to);
    }

    progress.StopMarquee();
    if (Command(result, "DATA", "DATA\r\n", "", "") != LNetDone) return result;
    if (Read(result, code, nullptr) != LNetDone) return result;
    if (code != 354) {
        message.permanentFailure = code >= 500 && code < 600;
        return Fail(result, progress, u"Mail host server error (DATA not accepted)");
    }
    LSmtpConnectionWriter writer(conn);
    Step("message text");
    if (message.mime)
        result = LSmtpSendDotStuffed(progress, writer, message.mime, message.mimeLength);
    else
        result = LSmtpSendMessageContent(progress, message, writer, sender);
    if (result != LNetDone) return result;
    if (progress.IsStopRequested()) return result = LNetStopped;

    Step("end of data");
    if (conn.Send(result, progress, "\r\n.\r\n", 5, LSmtpCommandTimeout) != LNetDone) return result;
    message.outcome.endOfDataSent = 1;
    if (message.dataEnding) message.dataEnding(message.dataEndingContext);
    if (Read(result, code, text) != LNetDone) return result;
    if (code == 250) {
        progress.SetProgress(0.95);
        progress.SetStatusText(u"Email sent", 1);
        // The message is the server's now: whatever happens to QUIT, the
        // send succeeded, and reporting otherwise would make a caller that
        // retries deliver it twice.
        LNetOpResult quit;
        if (LSmtpSendCommand(quit, progress, conn, "QUIT\r\n", "", "") == LNetDone)
            LSmtpReadReply(quit, progress, conn, code, nullptr);
        return result = LNetDone;
    }
    if (progress.IsStopRequested()) return result = LNetStopped;
    message.permanentFailure = code >= 500 && code < 600;
    switch (code) {
    case 550:
        return Fail(result, progress,
                    u"The recipient's email server does not allow email to be received in this manner.  Please use an "
                    u"SMTP account for sending email to this address. emailto: %s mailhost: %s error: %s",
                    message.to, message.smtpHost, text);
    case 552:
        return Fail(result, progress, u"The email exceeds the size limits set for this account. (Subject %s)",
                    message.subject);
    case 554:
        return Fail(result, progress,
                    u"The recipient's email server rejected this email because of an unspecified reason.  Try using an "
                    u"SMTP account for sending email to this address.");
    default:
        return Fail(result, progress,
                    u"Mail host server error (data terminator not accepted) emailto: %s mailhost: %s error: %d",
                    message.to, message.smtpHost, code);
    }
}

// Connects to the SMTP host: its port, or 587 with the fall-back to 25.
LNetOpResult ConnectHost(LNetOpResult& result, LTaskProgress& progress, Dialogue& d) {
    LUTF8FromWide hostText(d.message.smtpHost);
    char16_t host[260];
    LNetSplitHostPort(d.message.smtpHost, host, 587);
    auto endpoint = [&](uint16_t port) {
        LString text;
        text.Format(u"%s:%d", host, int(port));
        LCopyField(d.message.outcome.endpoint, text.c_str());
    };
    d.Step("connecting");
    LNetAddressList list;
    LNetResolveHost(list, hostText.text, 587);
    endpoint(list.port);
    d.implicitTls = LSmtpIsImplicitTlsPort(list.port);
    if (LConnectAddressList(result, progress, d.conn, d.message.smtpHost, list) != LNetFailed) return result;
    if (list.port != 587) return result;
    LNetResolveHost(list, hostText.text, 25);
    endpoint(list.port);
    return LConnectAddressList(result, progress, d.conn, d.message.smtpHost, list);
}

// Direct delivery of the message to one recipient's exchanger.
LNetOpResult DeliverDirect(LNetOpResult& result, LTaskProgress& progress, LSmtpMessage& message) {
    char16_t domain[260];
    if (!LEmailAddressDomain(message.to, domain))
        return Fail(result, progress, u"Invalid email address to send to: %s", message.to);
    // The exchanger's own name is what its certificate carries: the
    // recipient's domain is usually hosted by a provider under another name.
    char exchanger[260];
    uint16_t port = 25;
    LNetMailExchangerHost(domain, exchanger, port);
    char16_t exchangerW[260];
    LUTF8ToWideBuf(exchangerW, exchanger);
    LString hostPort;
    hostPort.Format(u"%s:%d", exchangerW, int(port));
    LNetSocketAddress target;
    LNetResolveMailExchanger(target, hostPort.c_str());
    if (uint16_t testPort = g_directPortForTests.load()) target.port = htons(testPort);
    Dialogue d(progress, message);
    LCopyField(message.outcome.endpoint, hostPort.c_str());
    d.Step("connecting");
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (attempt && progress.WaitStop(5000) == LWaitStopped) return result = LNetStopped;
        d.conn.Close();
        LCopyField(d.conn.server_name, exchangerW);
        if (LNetConnect(result, progress, d.conn.socket, target, 60000) != LNetFailed) break;
    }
    if (result == LNetStopped) return result;
    if (result != LNetDone) {
        message.outcome.serverTrouble = 1;
        if (*message.smtpHost)
            return Fail(result, progress, u"Unable to connect to either mail server \"%s\" or the mail server at \"%s\".",
                        message.smtpHost, domain);
        return Fail(result, progress, u"Unable to connect to mail server \"%s\".", domain);
    }
    return d.Run(result);
}

// Each recipient of a direct delivery gets its own copy of the message
// through its own exchanger; the caller's record keeps its To list.
LNetOpResult DeliverDirectEach(LNetOpResult& result, LTaskProgress& progress, LSmtpMessage& message) {
    LEmailAddressCursor cursor;
    cursor.Begin(message.to);
    result = LNetFailed;
    for (bool more = cursor.address[0] != 0; more;) {
        char16_t one[260];
        LCopyField(one, cursor.address);
        more = cursor.Next();
        LSmtpMessage copy = message;
        copy.to = one;
        DeliverDirect(result, progress, copy);
        if (copy.nameMismatch) message.nameMismatch = 1;
        message.outcome = copy.outcome;
        if (result == LNetStopped) return result;
    }
    return result;
}

}  // namespace

void LSmtpSetDirectDeliveryPortForTests(uint16_t port) { g_directPortForTests = port; }

namespace {

LNetOpResult SendEmail(LNetOpResult& result, LTaskProgress& progress, LSmtpMessage& message);

}  // namespace

LNetOpResult LSmtpSendEmail(LNetOpResult& result, LTaskProgress& progress, LSmtpMessage& message) {
    // A caller's null text counts as empty; the caller's record is left as
    // it was but for the out fields.
    LSmtpMessage m = message;
    m.outcome = LSmtpOutcome();
    for (const char16_t** text : {&m.to, &m.sender, &m.senderName, &m.replyTo, &m.subject, &m.body, &m.smtpHost,
                                  &m.userName, &m.password})
        if (!*text) *text = u"";
    SendEmail(result, progress, m);
    if (m.nameMismatch) message.nameMismatch = 1;
    message.permanentFailure = m.permanentFailure;
    message.refusedRecipients = m.refusedRecipients;
    message.outcome = m.outcome;
    return result;
}

namespace {

LNetOpResult SendEmail(LNetOpResult& result, LTaskProgress& progress, LSmtpMessage& message) {
    progress.StartMarquee();
    if (!message.to || !*message.to) return Fail(result, progress, u"No recipients listed to receive email.");
    // Addresses go into command lines: they are checked before anything is
    // sent, so that no text of theirs can end a command and start another.
    if (!LEmailAddressListIsValid(message.to))
        return Fail(result, progress, u"Invalid email address to send to: %s", message.to);
    if (*message.sender && !LEmailAddressIsValid(message.sender))
        return Fail(result, progress, u"Invalid email address to send from: %s", message.sender);
    LString status;
    status.Format(u"To: %s", message.to);
    progress.SetStatusText(status.c_str(), 0);
    progress.SetStatusText(u"Connecting to server", 1);
    progress.SetProgress(0);

    if (!*message.smtpHost) return DeliverDirectEach(result, progress, message);
    Dialogue d(progress, message);
    ConnectHost(result, progress, d);
    if (result == LNetStopped) return result;
    if (result != LNetDone) {
        if (message.sendDirect) return DeliverDirectEach(result, progress, message);
        message.outcome.serverTrouble = 1;
        return Fail(result, progress, u"Unable to connect to mail server \"%s\" when sending an email to \"%s\".",
                    message.smtpHost, message.to);
    }
    d.viaHost = true;
    return d.Run(result);
}

}  // namespace
