#include <arpa/inet.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <chrono>
#include <string>

#include "foundation/log.h"
#include "foundation/lstring.h"
#include "foundation/wait.h"
#include "net/crypto_socket.h"

namespace {

// A name mismatch is recorded, and tolerated when the record says so; every
// other verdict on the chain (untrusted, expired, bad signature) stands.
int VerifyPeer(int ok, X509_STORE_CTX* store) {
    if (ok) return 1;
    int err = X509_STORE_CTX_get_error(store);
    auto* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto* record = ssl ? static_cast<LCryptoSocket*>(SSL_get_app_data(ssl)) : nullptr;
    bool mismatch = err == X509_V_ERR_HOSTNAME_MISMATCH || err == X509_V_ERR_IP_ADDRESS_MISMATCH;
    if (record && (!mismatch || record->verify_name)) {
        // Why, and whose certificate: what a user needs to decide whether
        // to trust the server.
        char subject[256] = "";
        if (X509* leaf = X509_STORE_CTX_get0_cert(store))
            X509_NAME_oneline(X509_get_subject_name(leaf), subject, sizeof subject);
        record->verify_failure.Format("certificate %s: %s", subject, X509_verify_cert_error_string(err));
    }
    if (!mismatch || !record) return 0;
    record->name_mismatch = 1;
    return record->verify_name ? 0 : 1;
}

bool IsIpLiteral(const std::string& name) {
    unsigned char buf[16];
    return inet_pton(AF_INET, name.c_str(), buf) == 1 || inet_pton(AF_INET6, name.c_str(), buf) == 1;
}

class Stopwatch {
public:
    // The time left of a budget; false when none is left.
    bool Remaining(uint32_t budget, uint32_t& left) const {
        auto used = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_)
                        .count();
        if (used >= budget) return false;
        left = budget - static_cast<uint32_t>(used);
        return true;
    }

private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace

bool LCryptoSocket::PrepareCredentials(int mode) {
    if (credentials_ && credentials_mode_ == mode) return true;
    if (credentials_) SSL_CTX_free(credentials_);
    credentials_mode_ = -1;
    credentials_ = SSL_CTX_new(mode == LTlsServer ? TLS_server_method() : TLS_client_method());
    if (!credentials_) return false;
    bool ok = SSL_CTX_set_min_proto_version(credentials_, TLS1_2_VERSION) == 1;
    if (mode == LTlsServer) {
        // A client that asks to renegotiate only costs the server work.
        SSL_CTX_set_options(credentials_, SSL_OP_NO_RENEGOTIATION);
        ok = ok && certificate && certificate->cert && certificate->key;
    } else {
        ok = ok && SSL_CTX_set_default_verify_paths(credentials_) == 1;
        SSL_CTX_set_verify(credentials_, SSL_VERIFY_PEER, VerifyPeer);
    }
    if (ok && certificate && certificate->cert && certificate->key) {
        ok = SSL_CTX_use_certificate(credentials_, certificate->cert) == 1 &&
             SSL_CTX_use_PrivateKey(credentials_, certificate->key) == 1 &&
             SSL_CTX_check_private_key(credentials_) == 1;
        for (int i = 0; ok && certificate->chain && i < sk_X509_num(certificate->chain); ++i)
            ok = SSL_CTX_add1_chain_cert(credentials_, sk_X509_value(certificate->chain, i)) == 1;
    }
    ERR_clear_error();
    if (!ok) {
        SSL_CTX_free(credentials_);
        credentials_ = nullptr;
        return false;
    }
    credentials_mode_ = mode;
    return true;
}

bool LCryptoSocket::StartTls(int mode) {
    // The caller's stop request does not cut the handshake short.
    LPlainWait plain;
    return StartTls(mode, plain);
}

bool LCryptoSocket::StartTls(int mode, LTaskProgress& progress, uint32_t timeout_ms) {
    if (socket == LInvalidSocket) return false;
    if (!PrepareCredentials(mode)) {
        tls_ended_ = true;
        return false;
    }
    LNetOpResult r;
    if (Handshake(r, progress, mode, true, timeout_ms) != LNetDone) return false;
    return QueryStreamSizes();
}

namespace {

// Receives exactly n bytes within one budget for all of them: a peer that
// sends a byte now and then must not stretch the time it may hold us.
LNetOpResult ReceiveExactWithin(LNetOpResult& result, LTaskProgress& progress, LSocket socket, uint8_t* buffer,
                                uint64_t n, uint64_t& total, const Stopwatch& clock, uint32_t budget_ms) {
    total = 0;
    result = LNetDone;
    while (total < n) {
        uint32_t left = 0;
        if (!clock.Remaining(budget_ms, left)) return result = LNetFailed;
        uint64_t got = 0;
        if (LNetReceive(result, progress, socket, buffer + total, n - total, got, left) != LNetDone) return result;
        total += got;
    }
    return result;
}

}  // namespace

LNetOpResult LCryptoSocket::ServerFirstRecord(LNetOpResult& result, LTaskProgress& progress, uint32_t timeout_ms) {
    // The first record is read and judged before OpenSSL sees it: anything
    // but a handshake record of a sane size is not a TLS client.
    Stopwatch clock;
    uint8_t header[5];
    uint64_t got = 0;
    if (ReceiveExactWithin(result, progress, socket, header, sizeof header, got, clock, timeout_ms) != LNetDone) {
        LLogInfoF("Failed to receive bytes for TLS header. Read = %d", static_cast<int>(got));
        return result = result == LNetStopped ? LNetStopped : LNetFailed;
    }
    if (header[0] != 22) {
        LLogInfoF("Expected %d for content type but received %d", 22, header[0]);
        return result = LNetFailed;
    }
    uint32_t length = (uint32_t(header[3]) << 8) | header[4];
    if (length >= LTlsFirstRecordLimit) {
        LLogInfoF("Content length exceeds buffer size");
        return result = LNetFailed;
    }
    uint8_t payload[LTlsFirstRecordLimit];
    if (ReceiveExactWithin(result, progress, socket, payload, length, got, clock, timeout_ms) != LNetDone) {
        LLogInfoF("Failed to receive bytes for TLS payload.");
        return result = result == LNetStopped ? LNetStopped : LNetFailed;
    }
    if (BIO_write(input_, header, sizeof header) != sizeof header ||
        (length && BIO_write(input_, payload, static_cast<int>(length)) != static_cast<int>(length)))
        return result = LNetFailed;
    return result = LNetDone;
}

LNetOpResult LCryptoSocket::Handshake(LNetOpResult& result, LTaskProgress& progress, int mode, bool initial,
                                      uint32_t timeout_ms) {
    result = LNetFailed;
    if (socket == LInvalidSocket) return result;
    if (initial) {
        EndContext();
        peer_closed_ = false;
        tls_ended_ = true;  // until the handshake succeeds
        if (!credentials_ || credentials_mode_ != mode) return result;
        context_ = SSL_new(credentials_);
        input_ = BIO_new(BIO_s_mem());
        output_ = BIO_new(BIO_s_mem());
        if (!context_ || !input_ || !output_) {
            if (input_) BIO_free(input_);
            if (output_) BIO_free(output_);
            input_ = output_ = nullptr;
            EndContext();
            return result;
        }
        // An empty input is "no data yet", not the end of the stream.
        BIO_set_mem_eof_return(input_, -1);
        SSL_set_bio(context_, input_, output_);
        SSL_set_app_data(context_, this);
        if (mode == LTlsServer) {
            SSL_set_accept_state(context_);
        } else {
            SSL_set_connect_state(context_);
            name_mismatch = 0;
            verify_failure.Clear();
            std::string name = LToUtf8(server_name);
            if (!name.empty()) {
                bool ok;
                if (IsIpLiteral(name)) {
                    ok = X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(context_), name.c_str()) == 1;
                } else {
                    SSL_set_hostflags(context_, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
                    ok = SSL_set_tlsext_host_name(context_, name.c_str()) == 1 &&
                         SSL_set1_host(context_, name.c_str()) == 1;
                }
                if (!ok) {
                    ERR_clear_error();
                    EndContext();
                    return result;
                }
            }
        }
    }
    if (!context_) return result;
    Stopwatch clock;
    if (initial && mode == LTlsServer && ServerFirstRecord(result, progress, timeout_ms) != LNetDone) {
        EndContext();
        return result;
    }
    for (;;) {
        int rc = SSL_do_handshake(context_);
        int err = rc == 1 ? SSL_ERROR_NONE : SSL_get_error(context_, rc);
        ERR_clear_error();
        // Whatever the step produced goes out first, the alert of a failed
        // handshake included, so the peer learns why.
        uint32_t left = 0;
        if (!clock.Remaining(timeout_ms, left)) break;
        LNetOpResult sent;
        if (FlushOutput(sent, progress, left) != LNetDone) {
            result = sent;
            break;
        }
        if (err == SSL_ERROR_NONE) {
            tls_ended_ = false;
            return result = LNetDone;
        }
        if (err != SSL_ERROR_WANT_READ || !clock.Remaining(timeout_ms, left)) break;
        uint64_t got = 0;
        if (ReadMore(result, progress, left, got) != LNetDone) break;
        result = LNetFailed;
    }
    if (result == LNetDone) result = LNetFailed;
    EndContext();
    return result;
}
