#pragma once
// One command, one reply: the pieces of the SMTP dialogue shared by the
// sender and the settings test.
#include <cstdint>

#include "foundation/lstring.h"
#include "foundation/task_progress.h"
#include "net/mime/compose.h"
#include "net/net_socket.h"

class LCryptoSocket;

constexpr uint32_t LSmtpCommandTimeout = 20000;
constexpr uint32_t LSmtpReplyTimeout = 90000;
constexpr uint32_t LSmtpEhloReplyTimeout = 40000;

// Sends the three texts joined as one command line. A line longer than SMTP
// allows (512 bytes with its CR LF) is not sent and fails: cutting it would
// drop its line end and glue it to the next command.
LNetOpResult LSmtpSendCommand(LNetOpResult& result, LTaskProgress& progress, LCryptoSocket& conn, const char* a,
                              const char* b, const char* c);
// Reads one whole reply; text (260 bytes, may be null) receives every byte
// after its first ':'.
LNetOpResult LSmtpReadReply(LNetOpResult& result, LTaskProgress& progress, LCryptoSocket& conn, int& code,
                            char* text);
class LSmtpReplyReader;
// Reads one whole reply into reader (which keeps it whole, and the
// extensions an EHLO reply offers), timeout ms for each piece.
LNetOpResult LSmtpReadReplyInto(LNetOpResult& result, LTaskProgress& progress, LCryptoSocket& conn,
                                LSmtpReplyReader& reader, uint32_t timeout);
// Reads the reply to EHLO and notes whether STARTTLS is offered.
LNetOpResult LSmtpReadEhloReply(LNetOpResult& result, LTaskProgress& progress, LCryptoSocket& conn, bool& startTls,
                                int& code);

// The connection as the composer's writer.
class LSmtpConnectionWriter : public LMimeWriter {
public:
    explicit LSmtpConnectionWriter(LCryptoSocket& conn) : conn_(conn) {}
    uint32_t Send(LTaskProgress& progress, const char* data, size_t n, uint32_t timeoutMs) override;

private:
    LCryptoSocket& conn_;
};

// A composed message after DATA: every line that begins with '.' is stuffed.
// The text must end with CR LF. 0 sent, 1 stop requested, 2 failed.
uint32_t LSmtpSendDotStuffed(LTaskProgress& progress, LMimeWriter& conn, const char* text, uint64_t n);

// The greeting: EHLO first, HELO only when the server answers EHLO with a
// 5xx code (startTls is then false). Writes the code of the last reply;
// last (may be null) receives that reply whole.
LNetOpResult LSmtpGreet(LNetOpResult& result, LTaskProgress& progress, LCryptoSocket& conn, bool& startTls,
                        int& code, LSmtpReplyReader* last = nullptr);

constexpr const char16_t* LSmtpEncryptionRequiredText =
    u"Encryption required for requested Email server. Please check your Email Settings.";

// Shows the formatted text as the operation's error; the result is 2.
template <class... A>
LNetOpResult LSmtpFail(LNetOpResult& result, LTaskProgress& progress, const char16_t* fmt, const A&... a) {
    LString text;
    text.Format(fmt, a...);
    progress.ShowError(text.c_str());
    return result = LNetFailed;
}

// Secures a plain connection whose user asked for encryption: STARTTLS must
// be offered and accepted and the handshake must succeed (else the error is
// shown and the result is 2); then the greeting is sent again. nameMismatch
// is set when the handshake failed on the certificate's name; last (may be
// null) receives the last reply whole.
LNetOpResult LSmtpRequireStartTls(LNetOpResult& result, LTaskProgress& progress, LCryptoSocket& conn, bool offered,
                                  uint8_t& nameMismatch, LSmtpReplyReader* last = nullptr);
// Implicit TLS from the first byte: port 465 (and a test's stand-in).
bool LSmtpIsImplicitTlsPort(uint16_t port);
