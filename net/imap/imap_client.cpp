// The IMAP connection: sign-in, command lines, tagged replies, capabilities.
#include "net/imap/imap_client.h"

#include <strings.h>

#include <chrono>
#include <cstdio>

#include "foundation/utf8.h"
#include "net/imap/imap_commands.h"
#include "net/imap/imap_response.h"
#include "net/net_address.h"

namespace {

constexpr uint32_t kSendTimeout = 30000;
constexpr uint32_t kLineTimeout = 20000;
constexpr uint32_t kConnectTimeout = 20000;
constexpr uint32_t kLiteralTimeout = 30000;
constexpr uint16_t kDefaultPort = 993;


}  // namespace

void LImapConnection::Init() {
    connection.FreeCredentials();
    connection.Init();
    reader_.Reset();
    pendingLiteral_ = 0;
    tag = 1;
    capabilities.Clear();
    capabilitiesKnown = 0;
}

void LImapConnection::Destroy() {
    capabilities.Free();
    connection.FreeCredentials();
}

LNetOpResult LImapConnection::Fail(LNetOpResult& result, LTaskProgress& progress, LNetOpResult code,
                                   const char16_t* text) {
    result = code;
    if (code == LNetFailed && text) progress.ShowError(text);
    return result;
}

LNetOpResult LImapConnection::ReadLine(LNetOpResult& result, LTaskProgress& progress, LStringA& line) {
    // A literal nobody took (a mailbox name, a header sent unasked) is data,
    // not lines: it may hold text that reads like a tagged reply.
    char piece[16384];
    while (pendingLiteral_) {
        uint64_t n = pendingLiteral_ < sizeof piece ? pendingLiteral_ : sizeof piece;
        if (reader_.ReadExact(result, progress, piece, n, kLiteralTimeout) != LNetDone) return result;
        pendingLiteral_ -= n;
    }
    do {
        // The socket's own wait looks at a stop request only every
        // LNetWaitStep; this one ends at the request, so a stop (the service
        // ending, a walk given up) does not wait for a slow reply first. A
        // failed or timed-out wait leaves it to the read, with what is left
        // of the line's limit, so a silent server is still given up in time.
        uint32_t limit = kLineTimeout;
        if (!HoldsUnreadInput() && connection.socket != LInvalidSocket) {
            const auto start = std::chrono::steady_clock::now();
            if (progress.WaitHandle(connection.socket, kLineTimeout) == LWaitStopped) return result = LNetStopped;
            const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - start).count();
            limit = waited >= kLineTimeout ? 1 : kLineTimeout - static_cast<uint32_t>(waited);
        }
        if (reader_.ReadLine(result, progress, line, LImapMaxLine, limit) != LNetDone) {
            // A line beyond the limit leaves the dialogue where it cannot be
            // followed any more.
            if (reader_.Overlong()) Disconnect();
            return result;
        }
        // A tagged line of some other command is no answer to ours.
    } while (tag_[0] && LImapClassifyLine(line.View()) == LImapLineKind::Tagged && !LImapIsTagOf(line.View(), tag_));
    std::string_view digits;
    if (LImapClassifyLine(line.View()) == LImapLineKind::Untagged && LImapTrailingLiteral(line.View(), digits))
        LImapParseLiteralLength(digits, pendingLiteral_);
    return result;
}

bool LImapConnection::HoldsUnreadInput() const {
    return reader_.Buffered() > 0 || pendingLiteral_ > 0 || connection.HasBufferedInput();
}

LNetOpResult LImapConnection::SendCommand(LNetOpResult& result, LTaskProgress& progress, std::string_view command) {
    LStringA line;
    snprintf(tag_, sizeof tag_, "A%03u", tag++);
    line.Format("%s %s\r\n", tag_, command);
    return connection.Send(result, progress, line.c_str(), line.length, kSendTimeout);
}

LNetOpResult LImapConnection::ReadTagged(LNetOpResult& result, LTaskProgress& progress, char status[260],
                                         char rest[260]) {
    status[0] = rest[0] = 0;
    LStringA line;
    while (true) {
        if (ReadLine(result, progress, line) != 0) return Fail(result, progress, result, kImapErrWaiting);
        LImapLineKind kind = LImapClassifyLine(line.View());
        if (kind == LImapLineKind::Untagged || kind == LImapLineKind::Continuation) continue;
        if (kind != LImapLineKind::Tagged) {
            LString text;
            text.Format(kImapErrUnexpected, LImapText(line.View()));
            return Fail(result, progress, LNetFailed, text.c_str());
        }
        LImapCopyField(status, LImapWord(line.View(), 1));
        LImapCopyField(rest, LImapRestAfterWord(line.View(), 1));
        return result = LNetDone;
    }
}

LNetOpResult LImapConnection::ExpectOk(LNetOpResult& result, LTaskProgress& progress) {
    char status[260], rest[260];
    if (ReadTagged(result, progress, status, rest) != 0) return result;
    if (strcasecmp(status, "OK") == 0) return result;
    LString text;
    text.Format(kImapErrNotOk, LImapText(status), LImapText(rest));
    return Fail(result, progress, LNetFailed, text.c_str());
}

bool LImapConnection::QuoteMailbox(LTaskProgress& progress, const char* name, char out[260]) {
    // A line break is refused as it is, not hidden by the encoding.
    std::string_view text(name ? name : "");
    if (text.find_first_of("\r\n") != std::string_view::npos) return QuoteName(progress, name, out);
    return QuoteName(progress, LImapEncodeMailboxName(text).c_str(), out);
}

bool LImapConnection::QuoteName(LTaskProgress& progress, const char* name, char out[260]) {
    if (LImapQuoteMailbox(name ? name : "", out)) return true;
    LString text;
    text.Format(kImapErrMailboxName, LImapText(name ? name : ""));
    progress.ShowError(text.c_str());
    return false;
}

// LOGIN with each argument as a quoted string, or as a synchronising literal
// when it holds 8-bit bytes: the server answers '+' before each literal.
LNetOpResult LImapConnection::SendLogin(LNetOpResult& result, LTaskProgress& progress, std::string_view user,
                                        std::string_view password) {
    LStringA args[2];
    bool literal[2];
    LImapLoginArgument(user, args[0], literal[0]);
    LImapLoginArgument(password, args[1], literal[1]);
    if (!literal[0] && !literal[1]) return SendCommandF(result, progress, kImapLogin, args[0], args[1]);
    LStringA pending;
    snprintf(tag_, sizeof tag_, "A%03u", tag++);
    pending.Format("%s LOGIN", tag_);
    for (int i = 0; i < 2; ++i) {
        pending.AppendChar(' ');
        if (!literal[i]) {
            pending.AppendString(args[i]);
            continue;
        }
        pending.AppendFormat("{%llu}\r\n", static_cast<unsigned long long>(args[i].length));
        if (connection.Send(result, progress, pending.c_str(), pending.length, kSendTimeout) != 0) return result;
        pending.Clear();
        LStringA line;
        if (ReadLine(result, progress, line) != 0) return result;
        if (LImapClassifyLine(line.View()) != LImapLineKind::Continuation) {
            LString text;
            text.Format(kImapErrUnexpected, LImapText(line.View()));
            return Fail(result, progress, LNetFailed, text.c_str());
        }
        pending.AppendString(args[i]);
    }
    pending.AppendN("\r\n", 2);
    return connection.Send(result, progress, pending.c_str(), pending.length, kSendTimeout);
}

LNetOpResult LImapConnection::Login(LNetOpResult& result, LTaskProgress& progress, const char16_t* server,
                                    const char16_t* user, const char16_t* password) {
    if (connection.socket != LInvalidSocket) Logout(result, progress);
    capabilities.Clear();
    capabilitiesKnown = 0;

    progress.SetStatusText(kImapStatusConnecting, 1);
    connection.Close();
    reader_.Reset();
    pendingLiteral_ = 0;
    tag_[0] = 0;
    char16_t host[260];
    int port = LNetSplitHostPort(server ? server : u"", host, kDefaultPort);
    LString text;
    std::string serverUtf8 = LToUtf8(server ? server : u"");
    if (LConnectHost(result, progress, connection, serverUtf8.c_str(), kDefaultPort, kConnectTimeout) != 0) {
        text.Format(kImapErrConnect, host, port);
        return Fail(result, progress, result, text.c_str());
    }
    if (!connection.StartTls(LTlsClient)) {
        text.Format(kImapErrTls, host, port);
        if (!connection.verify_failure.IsEmpty()) {
            // The certificate's subject and why it was refused.
            text.Append(u" ");
            text.AppendString(LFromUtf8(connection.verify_failure.View()));
            text.Terminate();
        }
        return Fail(result, progress, LNetFailed, text.c_str());
    }
    LStringA line;
    if (ReadLine(result, progress, line) != 0) {
        text.Format(kImapErrGreetingRead, host, port);
        return Fail(result, progress, result, text.c_str());
    }
    // A PREAUTH or BYE greeting is refused as well as anything else.
    if (!line.View().starts_with("* OK ")) {
        text.Format(kImapErrGreeting, LImapText(line.View()), host, port);
        return Fail(result, progress, LNetFailed, text.c_str());
    }

    progress.SetStatusText(kImapStatusLogin, 1);
    std::string userUtf8 = LToUtf8(user ? user : u"");
    std::string passwordUtf8 = LToUtf8(password ? password : u"");
    LStringA check;
    bool literal;
    if (!LImapLoginArgument(userUtf8, check, literal) || !LImapLoginArgument(passwordUtf8, check, literal))
        return Fail(result, progress, LNetFailed, kImapErrLoginText);
    char status[260], rest[260];
    if (SendLogin(result, progress, userUtf8, passwordUtf8) != 0 ||
        ReadTagged(result, progress, status, rest) != 0) {
        if (result == LNetFailed) {
            text.Format(kImapErrLoginConnection, host, port);
            progress.ShowError(text.c_str());
        }
        return result;
    }
    if (strcasecmp(status, "OK") == 0) return result = LNetDone;
    text.Format(kImapErrLogin, host, port, user ? user : u"", LImapText(status), LImapText(rest));
    return Fail(result, progress, LNetFailed, text.c_str());
}

LNetOpResult LImapConnection::Logout(LNetOpResult& result, LTaskProgress& progress) {
    // Bytes we have not read mean the dialogue is out of step: no LOGOUT
    // then, as its reply could not be told apart.
    char peek;
    if (connection.socket != LInvalidSocket && !HoldsUnreadInput() &&
        LPlatformSocketReceive(connection.socket, &peek, 1, true) == LSocketWouldBlock) {
        LNetOpResult ignored;
        if (SendCommand(ignored, progress, kImapLogout) == 0) {
            char status[260], rest[260];
            ReadTagged(ignored, progress, status, rest);
        }
    }
    Disconnect();
    return result = LNetDone;
}

void LImapConnection::Disconnect() {
    tag_[0] = 0;
    connection.Close();
    reader_.Reset();
    pendingLiteral_ = 0;
    capabilities.Clear();
    capabilitiesKnown = 0;
}

LNetOpResult LImapConnection::Capability(LNetOpResult& result, LTaskProgress& progress) {
    capabilities.Clear();
    if (SendCommand(result, progress, kImapCapability) != 0) return result;
    LStringA line;
    while (true) {
        if (ReadLine(result, progress, line) != 0) return result;
        LImapLineKind kind = LImapClassifyLine(line.View());
        if (kind == LImapLineKind::Untagged && strcasecmp(std::string(LImapWord(line.View(), 1)).c_str(), "CAPABILITY") == 0) {
            capabilities.AppendChar(' ');
            capabilities.AppendView(LImapRestAfterWord(line.View(), 1));
            capabilities.AppendChar(' ');
            for (uint64_t i = 0; i < capabilities.length; ++i)
                if (capabilities.buffer[i] >= 'a' && capabilities.buffer[i] <= 'z') capabilities.buffer[i] -= 32;
            continue;
        }
        if (kind != LImapLineKind::Tagged) continue;
        if (strcasecmp(std::string(LImapWord(line.View(), 1)).c_str(), "OK") == 0) return result = LNetDone;
        capabilities.Clear();
        return result = LNetFailed;
    }
}

LNetOpResult LImapConnection::HasCapability(LNetOpResult& result, LTaskProgress& progress, const char* name,
                                            bool& offered) {
    offered = false;
    if (!name || !*name) return result = LNetDone;
    if (!capabilitiesKnown) {
        Capability(result, progress);
        if (result == LNetStopped) return result;
        capabilitiesKnown = 1;
        if (result == LNetFailed && connection.socket == LInvalidSocket) return result;
    }
    std::string_view n(name);
    if (n.size() > 61) n = n.substr(0, 61);
    offered = LImapCapabilityHas(capabilities.View(), n);
    return result = LNetDone;
}
