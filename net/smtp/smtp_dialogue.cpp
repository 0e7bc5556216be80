#include "net/smtp/smtp_dialogue.h"

#include <atomic>

#include "foundation/utf8.h"
#include "net/crypto_socket.h"
#include "net/net_address.h"
#include "net/smtp/smtp_reply.h"
#include "net/smtp/smtp_sender.h"

namespace {

constexpr uint64_t kMaxCommandLine = 512;

std::atomic<uint16_t> g_implicitTlsPortForTests{0};

}  // namespace

void LSmtpSetImplicitTlsPortForTests(uint16_t port) { g_implicitTlsPortForTests = port; }

bool LSmtpIsImplicitTlsPort(uint16_t port) {
    return port == 465 || (port && port == g_implicitTlsPortForTests.load());
}

LNetOpResult LSmtpReadReplyInto(LNetOpResult& result, LTaskProgress& progress, LCryptoSocket& conn,
                                LSmtpReplyReader& reader, uint32_t timeout) {
    char piece[512];
    while (!reader.Complete()) {
        uint64_t got = 0;
        if (conn.Receive(result, progress, piece, sizeof piece, got, timeout) != LNetDone) return result;
        reader.Feed(piece, got);
    }
    return result = LNetDone;
}

LNetOpResult LSmtpSendCommand(LNetOpResult& result, LTaskProgress& progress, LCryptoSocket& conn, const char* a,
                              const char* b, const char* c) {
    LStringA line;
    line.Append(a);
    line.Append(b);
    line.Append(c);
    if (line.length > kMaxCommandLine) return result = LNetFailed;
    return conn.Send(result, progress, line.c_str(), line.length, LSmtpCommandTimeout);
}

LNetOpResult LSmtpReadReply(LNetOpResult& result, LTaskProgress& progress, LCryptoSocket& conn, int& code,
                            char* text) {
    LSmtpReplyReader reader;
    code = 0;
    if (text) text[0] = 0;
    if (LSmtpReadReplyInto(result, progress, conn, reader, LSmtpReplyTimeout) != LNetDone) return result;
    code = reader.code;
    if (text) LCopyFieldA(text, reader.text);
    return result;
}

LNetOpResult LSmtpReadEhloReply(LNetOpResult& result, LTaskProgress& progress, LCryptoSocket& conn, bool& startTls,
                                int& code) {
    LSmtpReplyReader reader;
    code = 0;
    startTls = false;
    if (LSmtpReadReplyInto(result, progress, conn, reader, LSmtpEhloReplyTimeout) != LNetDone) return result;
    code = reader.code;
    startTls = reader.startTls;
    return result;
}

uint32_t LSmtpConnectionWriter::Send(LTaskProgress& progress, const char* data, size_t n, uint32_t timeoutMs) {
    LNetOpResult r;
    return conn_.Send(r, progress, data, n, timeoutMs);
}

LNetOpResult LSmtpGreet(LNetOpResult& result, LTaskProgress& progress, LCryptoSocket& conn, bool& startTls,
                        int& code, LSmtpReplyReader* last) {
    char16_t hostW[260];
    LNetGetLocalHostName(hostW);
    char host[260];
    LWideToUTF8Buf(host, hostW);
    startTls = false;
    LSmtpReplyReader own;
    LSmtpReplyReader& reader = last ? *last : own;
    reader.Reset();
    code = 0;
    if (LSmtpSendCommand(result, progress, conn, "EHLO ", host, "\r\n") != LNetDone) return result;
    if (LSmtpReadReplyInto(result, progress, conn, reader, LSmtpEhloReplyTimeout) != LNetDone) return result;
    code = reader.code;
    startTls = reader.startTls;
    // A server too old for EHLO says so with a 5xx; HELO is for it alone.
    if (code >= 500 && code <= 599) {
        startTls = false;
        reader.Reset();
        code = 0;
        if (LSmtpSendCommand(result, progress, conn, "HELO ", host, "\r\n") != LNetDone) return result;
        if (LSmtpReadReplyInto(result, progress, conn, reader, LSmtpReplyTimeout) == LNetDone) code = reader.code;
    }
    return result;
}

LNetOpResult LSmtpRequireStartTls(LNetOpResult& result, LTaskProgress& progress, LCryptoSocket& conn, bool offered,
                                  uint8_t& nameMismatch, LSmtpReplyReader* last) {
    if (!offered) return LSmtpFail(result, progress, LSmtpEncryptionRequiredText);
    LSmtpReplyReader own;
    LSmtpReplyReader& reader = last ? *last : own;
    reader.Reset();
    if (LSmtpSendCommand(result, progress, conn, "STARTTLS\r\n", "", "") != LNetDone) return result;
    if (LSmtpReadReplyInto(result, progress, conn, reader, LSmtpReplyTimeout) != LNetDone) return result;
    if (reader.code != 220) return LSmtpFail(result, progress, LSmtpEncryptionRequiredText);
    if (!conn.StartTls(LTlsClient)) {
        if (conn.name_mismatch) nameMismatch = 1;
        return LSmtpFail(result, progress, u"Could not create secure connection to server.");
    }
    bool again = false;
    int code = 0;
    return LSmtpGreet(result, progress, conn, again, code, last);
}

uint32_t LSmtpSendDotStuffed(LTaskProgress& progress, LMimeWriter& conn, const char* text, uint64_t n) {
    constexpr size_t kChunk = 65536;
    LStringA pending;
    bool lineStart = true;
    for (uint64_t i = 0; i < n; ++i) {
        if (lineStart && text[i] == '.') pending.AppendChar('.');
        pending.AppendChar(text[i]);
        lineStart = text[i] == '\n';
        if (pending.length >= kChunk) {
            if (uint32_t r = conn.Send(progress, pending.c_str(), pending.length, LSmtpReplyTimeout)) return r;
            pending.Clear();
        }
    }
    if (pending.length == 0) return 0;
    return conn.Send(progress, pending.c_str(), pending.length, LSmtpReplyTimeout);
}
