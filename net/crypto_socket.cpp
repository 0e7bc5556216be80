#include "net/crypto_socket.h"

#include <openssl/bio.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

// One full TLS record: header, the largest plaintext and room for the
// largest expansion a cipher adds.
constexpr uint32_t kRecordHeader = 5;
constexpr uint32_t kRecordPlain = 16384;
constexpr uint32_t kRecordTrailer = 256;
// How much one read takes from the socket: several records, so that a bulk
// transfer costs few system calls.
constexpr uint64_t kReadChunk = 65536;
// Encrypted records are gathered up to this size before they are sent.
constexpr uint64_t kSendBatch = 65536;

}  // namespace

LCryptoSocket::~LCryptoSocket() { FreeCredentials(); }

void LCryptoSocket::Init() {
    socket = LInvalidSocket;
    std::memset(server_name, 0, sizeof server_name);
    verify_name = 1;
    name_mismatch = 0;
    certificate.reset();
    header_size = trailer_size = max_message = 0;
    credentials_ = nullptr;
    credentials_mode_ = -1;
    context_ = nullptr;
    input_ = output_ = nullptr;
    tls_ended_ = false;
    peer_closed_ = false;
    LPlatformIgnoreSigpipe();
}

void LCryptoSocket::EndContext() {
    if (context_) SSL_free(context_);  // frees both BIOs
    context_ = nullptr;
    input_ = output_ = nullptr;
    header_size = trailer_size = max_message = 0;
}

void LCryptoSocket::Close() {
    // A close_notify tells the peer the data ended here and was not cut off
    // (OpenSSL-based peers report a bare close as an error). One attempt
    // without waiting: a peer that does not take it loses nothing.
    if (context_ && socket != LInvalidSocket && SSL_is_init_finished(context_) && SSL_shutdown(context_) >= 0) {
        char* data = nullptr;
        long n = BIO_get_mem_data(output_, &data);
        if (n > 0) LPlatformSocketSend(socket, data, static_cast<size_t>(n));
    }
    // Only a TLS record touches OpenSSL: a plain connection's thread never
    // gets OpenSSL's per-thread state.
    if (context_) ERR_clear_error();
    EndContext();
    LPlatformSocketClose(socket);
    socket = LInvalidSocket;
    server_name[0] = 0;
    tls_ended_ = false;
    peer_closed_ = false;
}

void LCryptoSocket::FreeCredentials() {
    Close();
    if (credentials_) SSL_CTX_free(credentials_);
    credentials_ = nullptr;
    credentials_mode_ = -1;
    certificate.reset();
}

void LCryptoSocket::MoveFrom(LCryptoSocket& other) {
    if (&other == this) return;
    FreeCredentials();
    socket = other.socket;
    std::memcpy(server_name, other.server_name, sizeof server_name);
    verify_name = other.verify_name;
    name_mismatch = other.name_mismatch;
    certificate = std::move(other.certificate);
    header_size = other.header_size;
    trailer_size = other.trailer_size;
    max_message = other.max_message;
    credentials_ = other.credentials_;
    credentials_mode_ = other.credentials_mode_;
    context_ = other.context_;
    input_ = other.input_;
    output_ = other.output_;
    receive_buffer_ = std::move(other.receive_buffer_);
    tls_ended_ = other.tls_ended_;
    peer_closed_ = other.peer_closed_;
    if (context_) SSL_set_app_data(context_, this);
    other.Init();
}

uint64_t LCryptoSocket::HeldBytes() const { return input_ ? BIO_ctrl_pending(input_) : 0; }

bool LCryptoSocket::HasBufferedInput() const { return HeldBytes() > 0 || (context_ && SSL_pending(context_) > 0); }

const char* LCryptoSocket::ProtocolName() const { return context_ ? SSL_get_version(context_) : ""; }

bool LCryptoSocket::QueryStreamSizes() {
    if (!context_) {
        Close();
        return false;
    }
    header_size = kRecordHeader;
    trailer_size = kRecordTrailer;
    max_message = kRecordPlain;
    uint64_t want = uint64_t(header_size) + max_message + trailer_size;
    if (receive_buffer_.capacity < want && !receive_buffer_.Reserve(want)) {
        Close();
        return false;
    }
    return true;
}

LNetOpResult LCryptoSocket::FlushOutput(LNetOpResult& result, LTaskProgress& progress, uint32_t timeout_ms) {
    result = LNetDone;
    if (!output_) return result;
    char* data = nullptr;
    long n = BIO_get_mem_data(output_, &data);
    if (n > 0) {
        LNetSendAll(result, progress, socket, data, static_cast<uint64_t>(n), timeout_ms);
        (void)BIO_reset(output_);
    }
    return result;
}

LNetOpResult LCryptoSocket::ReadMore(LNetOpResult& result, LTaskProgress& progress, uint32_t timeout_ms,
                                     uint64_t& got) {
    got = 0;
    if (receive_buffer_.capacity < kReadChunk && !receive_buffer_.Reserve(kReadChunk)) return result = LNetFailed;
    // Bytes already queued are taken without a wait first: in a bulk
    // transfer the wait would only cost a system call per read.
    for (;;) {
        long n = LPlatformSocketReceive(socket, receive_buffer_.buffer, receive_buffer_.capacity, false);
        if (n == LSocketWouldBlock) {
            // A time-out is told apart from the peer's close: only the close
            // means that no further record can complete.
            if (LNetWaitReadable(result, progress, socket, timeout_ms) != LNetDone) return result;
            continue;
        }
        if (n <= 0) {
            peer_closed_ = true;
            return result = LNetFailed;
        }
        got = static_cast<uint64_t>(n);
        if (BIO_write(input_, receive_buffer_.buffer, static_cast<int>(n)) != static_cast<int>(n))
            return result = LNetFailed;
        return result = LNetDone;
    }
}

LNetOpResult LCryptoSocket::Send(LNetOpResult& result, LTaskProgress& progress, const void* data, uint64_t n,
                                 uint32_t timeout_ms) {
    if (!context_) {
        if (tls_ended_) return result = LNetFailed;
        return LNetSendAll(result, progress, socket, data, n, timeout_ms);
    }
    result = LNetDone;
    const uint8_t* p = static_cast<const uint8_t*>(data);
    while (n > 0) {
        int piece = static_cast<int>(std::min<uint64_t>(n, kRecordPlain));
        if (SSL_write(context_, p, piece) != piece) {
            ERR_clear_error();
            return result = LNetFailed;
        }
        p += piece;
        n -= static_cast<uint64_t>(piece);
        if ((n == 0 || BIO_ctrl_pending(output_) >= kSendBatch) &&
            FlushOutput(result, progress, timeout_ms) != LNetDone)
            return result;
    }
    return result;
}

LNetOpResult LCryptoSocket::Receive(LNetOpResult& result, LTaskProgress& progress, void* buffer, uint64_t n,
                                    uint64_t& count, uint32_t timeout_ms) {
    count = 0;
    if (!context_) {
        if (tls_ended_) return result = LNetFailed;
        return LNetReceive(result, progress, socket, buffer, n, count, timeout_ms);
    }
    if (n == 0) return result = LNetDone;
    int want = static_cast<int>(std::min<uint64_t>(n, 0x40000000));
    // Plaintext already decrypted is handed out before anything else.
    if (SSL_pending(context_) == 0 && progress.IsStopRequested()) return result = LNetStopped;
    for (;;) {
        int got = SSL_read(context_, buffer, want);
        // Reading may have produced records to send (a key update, the
        // answer to a renegotiation).
        LNetOpResult flushed;
        if (got > 0) {
            count = static_cast<uint64_t>(got);
            FlushOutput(flushed, progress, timeout_ms);
            return result = LNetDone;
        }
        int err = SSL_get_error(context_, got);
        ERR_clear_error();
        if (err == SSL_ERROR_WANT_READ) {
            if (FlushOutput(flushed, progress, timeout_ms) != LNetDone) return result = flushed;
            // Session tickets and other records without data end here too:
            // they are not data, so wait for more.
            if (peer_closed_) return result = LNetFailed;
            uint64_t more = 0;
            if (ReadMore(result, progress, timeout_ms, more) != LNetDone) return result;
            continue;
        }
        if (err == SSL_ERROR_ZERO_RETURN) {
            // The peer's close_notify: answer it and end TLS on this record.
            SSL_shutdown(context_);
            FlushOutput(flushed, progress, timeout_ms);
            EndContext();
            tls_ended_ = true;
            if (flushed == LNetStopped) return result = LNetStopped;
            return result = LNetFailed;
        }
        EndContext();
        tls_ended_ = true;
        return result = LNetFailed;
    }
}

LNetOpResult LCryptoSocket::ReceiveExact(LNetOpResult& result, LTaskProgress& progress, void* buffer, uint64_t n,
                                         uint64_t& total, uint32_t timeout_ms) {
    total = 0;
    result = LNetDone;
    while (total < n) {
        uint64_t got = 0;
        if (Receive(result, progress, static_cast<uint8_t*>(buffer) + total, n - total, got, timeout_ms) != LNetDone)
            return result;
        total += got;
    }
    return result;
}

void LCryptoThreadEnd() { OPENSSL_thread_stop(); }
