#include "foundation/utf8.h"
#include "net/crypto_socket.h"
#include "net/net_address.h"

namespace {

// Over TLS only CR LF ends a line. Reads take at most 2 bytes, and exactly 1
// after a CR, so the bytes after a line end stay for the next reader.
template <class Append>
LNetOpResult ReceiveTlsLine(LNetOpResult& result, LTaskProgress& progress, LCryptoSocket& record,
                            uint32_t timeout_ms, Append append) {
    bool any = false;
    bool held_cr = false;
    for (;;) {
        uint8_t piece[2];
        uint64_t n = 0;
        record.Receive(result, progress, piece, held_cr ? 1 : 2, n, timeout_ms);
        if (result == LNetStopped) return result;
        if (result != LNetDone || n == 0) return result = (any || held_cr) ? LNetDone : LNetFailed;
        any = true;
        for (uint64_t i = 0; i < n; ++i) {
            uint8_t c = piece[i];
            if (held_cr) {
                held_cr = false;
                if (c == '\n') return result = LNetDone;
                append("\r", 1);
            }
            if (c == '\r') {
                held_cr = true;
            } else {
                append(reinterpret_cast<const char*>(&c), 1);
            }
        }
    }
}

}  // namespace

LNetOpResult LCryptoSocket::ReceiveLine(LNetOpResult& result, LTaskProgress& progress, LBoundedBuffer& line,
                                        uint32_t timeout_ms) {
    if (!IsTls()) {
        if (tls_ended_) return result = LNetFailed;
        return LNetReceiveLine(result, progress, socket, line, timeout_ms);
    }
    return ReceiveTlsLine(result, progress, *this, timeout_ms,
                          [&](const char* p, uint64_t n) { line.Append(p, n); });
}

LNetOpResult LCryptoSocket::ReceiveLineGrow(LNetOpResult& result, LTaskProgress& progress, LStringA& line,
                                            uint32_t timeout_ms) {
    if (!IsTls()) {
        if (tls_ended_) return result = LNetFailed;
        return LNetReceiveLineGrow(result, progress, socket, line, timeout_ms);
    }
    ReceiveTlsLine(result, progress, *this, timeout_ms, [&](const char* p, uint64_t n) { line.AppendBytes(p, n); });
    line.Terminate();
    return result;
}

LNetOpResult LConnectHost(LNetOpResult& result, LTaskProgress& progress, LCryptoSocket& record, const char* host_port,
                          uint16_t default_port, uint32_t timeout_ms) {
    record.Close();
    char host[260];
    LNetSplitHostPortA(host_port, host, default_port);
    LUTF8ToWideBuf(record.server_name, host);
    LNetAddressList list;
    LNetResolveHost(list, host_port, default_port);
    return LNetConnectAny(result, progress, record.socket, list, timeout_ms);
}

LNetOpResult LConnectAddressList(LNetOpResult& result, LTaskProgress& progress, LCryptoSocket& record,
                                 const char16_t* host, const LNetAddressList& list) {
    record.Close();
    LNetSplitHostPort(host, record.server_name, 0);
    return LNetConnectAny(result, progress, record.socket, list, 60000);
}

LNetOpResult LReceiveLineToString(LNetOpResult& result, LTaskProgress& progress, LCryptoSocket& record,
                                  LStringA& line, uint32_t timeout_ms) {
    line.Clear();
    line.Reserve(260);
    record.ReceiveLineGrow(result, progress, line, timeout_ms);
    line.Terminate();
    return result;
}
