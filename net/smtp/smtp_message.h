#pragma once
// The records of the SMTP sender. Every text is wide and owned by the caller;
// the sender never changes them (direct delivery works on copies), except
// the name-mismatch flag, which it sets for the caller to report.
#include <cstdint>

// How a send ended, for the caller to report and decide on a retry.
struct LSmtpOutcome {
    char16_t endpoint[260] = {0};  // host:port of the server, once known
    const char* step = "";         // what the dialogue was doing when it ended
    char serverReply[512] = {0};   // the server's last reply whole; empty when it gave none to the last command
    uint8_t endOfDataSent = 0;     // the end of data went out: the server may hold the message whatever followed
    uint8_t authFailed = 0;        // the server refused the user name or password for good (5xx)
    // The failure is the server's or the connection's, not this message's:
    // the account's other messages would meet it too.
    uint8_t serverTrouble = 0;
};

struct LSmtpMessage {
    const char16_t* to = u"";           // recipients, separated by commas
    const char16_t* sender = u"";       // MAIL FROM address and From address; may be empty
    const char16_t* senderName = u"";   // display name in From; may be empty
    const char16_t* replyTo = u"";      // may be empty
    const char16_t* subject = u"";
    const char16_t* body = u"";         // plain-text body
    const char16_t* const* attachmentPaths = nullptr;
    uint64_t attachmentCount = 0;
    const char16_t* smtpHost = u"";     // host[:port]; empty for direct delivery
    const char16_t* userName = u"";     // empty: no authentication
    const char16_t* password = u"";
    uint8_t sendDirect = 0;             // direct delivery when the SMTP host cannot be reached
    uint8_t useSsl = 0;                 // TLS is required (STARTTLS, or implicit on 465)
    uint8_t verifyServerName = 1;       // a certificate whose name does not match fails the handshake
    uint8_t nameMismatch = 0;           // out: a handshake failed on the certificate's name
    // A whole message composed by the caller (CR LF lines), sent after DATA
    // as it is instead of one made from the fields above: the outgoing queue
    // files the same bytes in Sent.
    const char* mime = nullptr;
    uint64_t mimeLength = 0;
    // Called once the end of DATA has been handed to the connection: from
    // then on the server may hold the message whatever the reply, so the
    // caller records it (and not before: a message that never reached its
    // end is not the server's).
    void (*dataEnding)(void* context) = nullptr;
    void* dataEndingContext = nullptr;
    // out: the refusal was final (5xx to MAIL or DATA, or every recipient
    // refused with 5xx); some recipients refused while others took it.
    uint8_t permanentFailure = 0;
    uint32_t refusedRecipients = 0;
    LSmtpOutcome outcome;  // out
};

struct LSmtpSettings {
    const char16_t* smtpHost = u"";
    const char16_t* userName = u"";
    const char16_t* password = u"";
    const char16_t* sender = u"";
    uint8_t useSsl = 0;
    uint8_t verifyServerName = 1;
};

struct LSettingsEmail {
    const char16_t* to = u"";
    const char16_t* subject = u"";
    const char16_t* body = u"";
    const char16_t* const* attachmentPaths = nullptr;
    uint64_t attachmentCount = 0;
    char16_t sender[260] = {0};
    char16_t senderName[260] = {0};
    char16_t replyTo[260] = {0};
};
