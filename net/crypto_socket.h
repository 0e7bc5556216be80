#pragma once
// The one connection record of the system: a TCP socket that may carry TLS
// (OpenSSL 3 over memory BIOs, so that every wait, time-out and stop request
// stays in our own socket layer). Without a TLS context every operation is
// the plain one of net_socket.h, so a protocol client can start plain and
// switch to TLS on the same record (STARTTLS).
//
// Clients verify the server's chain against the system store (SSL_CERT_FILE
// and SSL_CERT_DIR are honoured) and its name against server_name; the
// verify_name switch can only tolerate a name mismatch, never a bad chain.
// TLS 1.2 at least; SNI is sent unless the name is an IP literal.
#include <openssl/types.h>

#include <cstdint>

#include "foundation/lstring.h"
#include "net/net_socket.h"
#include "net/pfx_certificate.h"

constexpr int LTlsClient = 0;
constexpr int LTlsServer = 1;

// The bound on the first record a TLS server accepts before the handshake
// (a ClientHello is far smaller).
constexpr uint32_t LTlsFirstRecordLimit = 4092;
// The time a whole handshake may take, its first record included.
constexpr uint32_t LTlsHandshakeTimeout = 60000;

class LCryptoSocket {
public:
    LCryptoSocket() { Init(); }
    ~LCryptoSocket();
    LCryptoSocket(const LCryptoSocket&) = delete;
    LCryptoSocket& operator=(const LCryptoSocket&) = delete;

    // Resets the record to "no connection" (verify_name 1, no certificate).
    // Only for a fresh or released record: it does not free anything.
    void Init();
    // Ends TLS (sending a close_notify if the socket takes it at once) and
    // closes the socket; the credentials and the certificate stay for the
    // next connection.
    void Close();
    // Close, then drop the credentials and the certificate.
    void FreeCredentials();
    // Takes over the other record's connection, TLS state and settings; the
    // other record is left with no socket.
    void MoveFrom(LCryptoSocket& other);

    // Plain: LNetSendAll. TLS: in records of at most 16384 bytes, each sent
    // with the whole time-out.
    LNetOpResult Send(LNetOpResult& result, LTaskProgress& progress, const void* data, uint64_t n,
                      uint32_t timeout_ms);
    // Plain: LNetReceive. TLS: returns after the first record that delivered
    // data, so count may be less than n; decrypted bytes beyond n wait for
    // the next call. A peer that closes (close_notify or not) gives 2.
    LNetOpResult Receive(LNetOpResult& result, LTaskProgress& progress, void* buffer, uint64_t n, uint64_t& count,
                         uint32_t timeout_ms);
    LNetOpResult ReceiveExact(LNetOpResult& result, LTaskProgress& progress, void* buffer, uint64_t n,
                              uint64_t& total, uint32_t timeout_ms);
    // One line without its end. Plain: ended by LF (net_socket.h). TLS: only
    // CR LF ends a line, and no byte after it is consumed.
    LNetOpResult ReceiveLine(LNetOpResult& result, LTaskProgress& progress, LBoundedBuffer& line,
                             uint32_t timeout_ms);
    LNetOpResult ReceiveLineGrow(LNetOpResult& result, LTaskProgress& progress, LStringA& line,
                                 uint32_t timeout_ms);

    // Sets up the credentials for the mode (client, or server with the
    // record's certificate) and runs the initial handshake on the connected
    // socket, within LTlsHandshakeTimeout for the whole of it and without
    // stop requests. True when the connection is secured.
    bool StartTls(int mode);
    // The same, ended early by a stop request of the progress (a server
    // thread that must not keep the service from stopping).
    bool StartTls(int mode, LTaskProgress& progress, uint32_t timeout_ms = LTlsHandshakeTimeout);
    // The handshake loop: initial (the first handshake of the connection) or
    // the rest of one already started. Exposed for callers with their own
    // progress and time-out.
    LNetOpResult Handshake(LNetOpResult& result, LTaskProgress& progress, int mode, bool initial,
                           uint32_t timeout_ms);
    // Sets the stream sizes and sizes the receive buffer for one full record;
    // false (and the record closed) without a TLS context.
    bool QueryStreamSizes();

    bool IsTls() const { return context_ != nullptr; }
    // Encrypted bytes received and not yet decrypted.
    uint64_t HeldBytes() const;
    // Bytes received and not yet handed out, encrypted or already decrypted.
    bool HasBufferedInput() const;
    // The negotiated protocol ("TLSv1.3"...), "" without TLS.
    const char* ProtocolName() const;

    LSocket socket = LInvalidSocket;
    // Client: the name sent for SNI and checked against the certificate.
    char16_t server_name[260];
    // 1: a certificate-name mismatch fails the client handshake; 0: tolerated.
    uint8_t verify_name = 1;
    // Set when a client handshake saw a certificate-name mismatch.
    uint32_t name_mismatch = 0;
    // Why the server's certificate was refused (its subject and the
    // verification error); empty when it was not.
    LStringA verify_failure;
    // Server: the certificate with its key; client: an optional client
    // certificate.
    LCertificateContext certificate;
    // Stream sizes after the handshake.
    uint32_t header_size = 0;
    uint32_t trailer_size = 0;
    uint32_t max_message = 0;

private:
    bool PrepareCredentials(int mode);
    LNetOpResult ServerFirstRecord(LNetOpResult& result, LTaskProgress& progress, uint32_t timeout_ms);
    LNetOpResult FlushOutput(LNetOpResult& result, LTaskProgress& progress, uint32_t timeout_ms);
    LNetOpResult ReadMore(LNetOpResult& result, LTaskProgress& progress, uint32_t timeout_ms, uint64_t& got);
    void EndContext();

    SSL_CTX* credentials_ = nullptr;
    int credentials_mode_ = -1;
    SSL* context_ = nullptr;
    BIO* input_ = nullptr;   // encrypted bytes from the peer, owned by context_
    BIO* output_ = nullptr;  // encrypted bytes for the peer, owned by context_
    LByteBuffer receive_buffer_;
    // TLS was started on this connection and has ended (failed handshake,
    // peer's close): plain traffic is refused until Close, so nothing meant
    // for the secured channel ever goes out in clear.
    bool tls_ended_ = false;
    bool peer_closed_ = false;
};

// Lets go of OpenSSL's state for the calling thread. A thread that ends
// without being joined calls it before it lets its owner know it is done,
// so that nothing of it touches OpenSSL while the process ends.
void LCryptoThreadEnd();

// Connects a record: host[:port] as UTF-8, the host part becomes the server
// name, every resolved address is tried with the time-out.
LNetOpResult LConnectHost(LNetOpResult& result, LTaskProgress& progress, LCryptoSocket& record, const char* host_port,
                          uint16_t default_port, uint32_t timeout_ms);
// Connects a record to a resolved list (60000 ms per address); the host part
// of the text becomes the server name.
LNetOpResult LConnectAddressList(LNetOpResult& result, LTaskProgress& progress, LCryptoSocket& record,
                                 const char16_t* host, const LNetAddressList& list);
// Empties the text and receives one line into it, terminated.
LNetOpResult LReceiveLineToString(LNetOpResult& result, LTaskProgress& progress, LCryptoSocket& record,
                                  LStringA& line, uint32_t timeout_ms);
