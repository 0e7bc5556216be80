// Bulk transfer over loopback TLS: our record (OpenSSL over memory BIOs with
// our own socket waits) beside a plain OpenSSL client on a blocking socket,
// both against the same OpenSSL server thread, in both directions. Prints
// the ratio ours / plain at the end.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "foundation/wait.h"
#include "net/crypto_socket.h"

namespace {

constexpr uint64_t kTransfer = 16u << 20;  // bytes per iteration
constexpr size_t kChunk = 64 * 1024;

// The request a client sends: 'D' (server sends n bytes) or 'U' (client
// sends n bytes, server answers one byte), then n as 8 bytes.
void MakeRequest(char out[9], char kind, uint64_t n) {
    out[0] = kind;
    std::memcpy(out + 1, &n, 8);
}

bool ReadAll(SSL* ssl, void* p, size_t n) {
    auto* b = static_cast<char*>(p);
    while (n) {
        int r = SSL_read(ssl, b, static_cast<int>(n));
        if (r <= 0) return false;
        b += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

// A self-signed certificate for localhost, trusted through SSL_CERT_FILE,
// and a blocking OpenSSL server with a thread per connection.
class Server {
public:
    Server() {
        EVP_PKEY* key = EVP_EC_gen("P-256");
        X509* cert = X509_new();
        X509_set_version(cert, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
        X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
        X509_gmtime_adj(X509_getm_notAfter(cert), 86400);
        X509_NAME_add_entry_by_txt(X509_get_subject_name(cert), "CN", MBSTRING_UTF8,
                                   reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
        X509_set_issuer_name(cert, X509_get_subject_name(cert));
        X509_set_pubkey(cert, key);
        X509V3_CTX v3;
        X509V3_set_ctx_nodb(&v3);
        X509V3_set_ctx(&v3, cert, cert, nullptr, nullptr, 0);
        for (auto [nid, value] : {std::pair{NID_subject_alt_name, "DNS:localhost"},
                                  std::pair{NID_basic_constraints, "critical,CA:TRUE"}}) {
            X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &v3, nid, value);
            X509_add_ext(cert, ext, -1);
            X509_EXTENSION_free(ext);
        }
        X509_sign(cert, key, EVP_sha256());
        char tmpl[] = "/tmp/porlinex-bench-XXXXXX";
        folder_ = mkdtemp(tmpl);
        ca_file_ = folder_ + "/cert.pem";
        FILE* f = std::fopen(ca_file_.c_str(), "wb");
        PEM_write_X509(f, cert);
        std::fclose(f);
        setenv("SSL_CERT_FILE", ca_file_.c_str(), 1);

        ctx_ = SSL_CTX_new(TLS_server_method());
        SSL_CTX_use_certificate(ctx_, cert);
        SSL_CTX_use_PrivateKey(ctx_, key);
        X509_free(cert);
        EVP_PKEY_free(key);

        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(listener_, 16);
        socklen_t len = sizeof a;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        std::thread([this] { Accept(); }).detach();
    }
    int Port() const { return port_; }
    const std::string& CaFile() const { return ca_file_; }

private:
    void Accept() {
        for (;;) {
            int fd = accept(listener_, nullptr, nullptr);
            if (fd < 0) return;
            std::thread([this, fd] { Serve(fd); }).detach();
        }
    }
    void Serve(int fd) {
        SSL* ssl = SSL_new(ctx_);
        SSL_set_fd(ssl, fd);
        std::vector<char> buf(kChunk, 'x');
        if (SSL_accept(ssl) == 1) {
            char req[9];
            while (ReadAll(ssl, req, sizeof req)) {
                uint64_t n;
                std::memcpy(&n, req + 1, 8);
                bool ok = true;
                while (ok && n) {
                    size_t k = std::min<uint64_t>(n, buf.size());
                    ok = req[0] == 'D' ? SSL_write(ssl, buf.data(), static_cast<int>(k)) == static_cast<int>(k)
                                       : ReadAll(ssl, buf.data(), k);
                    n -= k;
                }
                if (!ok || (req[0] == 'U' && SSL_write(ssl, "k", 1) != 1)) break;
            }
        }
        SSL_free(ssl);
        close(fd);
    }

    std::string folder_, ca_file_;
    SSL_CTX* ctx_ = nullptr;
    int listener_ = -1;
    int port_ = 0;
};

Server& TheServer() {
    static Server server;
    return server;
}

// Opens a TLS connection of ours to the benchmark server; false (and the
// benchmark marked skipped) when that fails.
bool ConnectOurs(benchmark::State& state, LPlainWait& plain, LCryptoSocket& record, LNetOpResult& r) {
    std::string target = "localhost:" + std::to_string(TheServer().Port());
    if (LConnectHost(r, plain, record, target.c_str(), 0, 5000) != LNetDone || !record.StartTls(LTlsClient)) {
        state.SkipWithError("connect");
        return false;
    }
    return true;
}

void OursDownload(benchmark::State& state) {
    LPlainWait plain;
    LCryptoSocket record;
    LNetOpResult r;
    if (!ConnectOurs(state, plain, record, r)) return;
    std::vector<char> buf(kChunk);
    for (auto _ : state) {
        char req[9];
        MakeRequest(req, 'D', kTransfer);
        record.Send(r, plain, req, sizeof req, 5000);
        uint64_t left = kTransfer;
        while (left) {
            uint64_t n = 0;
            if (record.Receive(r, plain, buf.data(), std::min<uint64_t>(left, buf.size()), n, 5000) != LNetDone) {
                state.SkipWithError("receive");
                return;
            }
            left -= n;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kTransfer));
}

void OursUpload(benchmark::State& state) {
    LPlainWait plain;
    LCryptoSocket record;
    LNetOpResult r;
    if (!ConnectOurs(state, plain, record, r)) return;
    std::vector<char> buf(kChunk, 'y');
    for (auto _ : state) {
        char req[9];
        MakeRequest(req, 'U', kTransfer);
        record.Send(r, plain, req, sizeof req, 5000);
        for (uint64_t left = kTransfer; left;) {
            uint64_t k = std::min<uint64_t>(left, buf.size());
            if (record.Send(r, plain, buf.data(), k, 5000) != LNetDone) {
                state.SkipWithError("send");
                return;
            }
            left -= k;
        }
        char ack;
        uint64_t n = 0;
        record.ReceiveExact(r, plain, &ack, 1, n, 5000);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kTransfer));
}

// The plain OpenSSL client: blocking socket, SSL_set_fd, same verification.
struct PlainClient {
    SSL_CTX* ctx = nullptr;
    SSL* ssl = nullptr;
    int fd = -1;
    bool Connect() {
        ctx = SSL_CTX_new(TLS_client_method());
        SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
        SSL_CTX_set_default_verify_paths(ctx);
        SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
        fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<uint16_t>(TheServer().Port()));
        if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return false;
        ssl = SSL_new(ctx);
        SSL_set_fd(ssl, fd);
        SSL_set_tlsext_host_name(ssl, "localhost");
        SSL_set1_host(ssl, "localhost");
        return SSL_connect(ssl) == 1;
    }
    ~PlainClient() {
        if (ssl) SSL_free(ssl);
        if (ctx) SSL_CTX_free(ctx);
        if (fd >= 0) close(fd);
    }
};

void OpenSslDownload(benchmark::State& state) {
    PlainClient c;
    if (!c.Connect()) {
        state.SkipWithError("connect");
        return;
    }
    std::vector<char> buf(kChunk);
    for (auto _ : state) {
        char req[9];
        MakeRequest(req, 'D', kTransfer);
        SSL_write(c.ssl, req, sizeof req);
        for (uint64_t left = kTransfer; left;) {
            int n = SSL_read(c.ssl, buf.data(), static_cast<int>(std::min<uint64_t>(left, buf.size())));
            if (n <= 0) {
                state.SkipWithError("read");
                return;
            }
            left -= static_cast<uint64_t>(n);
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kTransfer));
}

void OpenSslUpload(benchmark::State& state) {
    PlainClient c;
    if (!c.Connect()) {
        state.SkipWithError("connect");
        return;
    }
    std::vector<char> buf(kChunk, 'y');
    for (auto _ : state) {
        char req[9];
        MakeRequest(req, 'U', kTransfer);
        SSL_write(c.ssl, req, sizeof req);
        for (uint64_t left = kTransfer; left;) {
            int k = static_cast<int>(std::min<uint64_t>(left, buf.size()));
            if (SSL_write(c.ssl, buf.data(), k) != k) {
                state.SkipWithError("write");
                return;
            }
            left -= static_cast<uint64_t>(k);
        }
        char ack;
        ReadAll(c.ssl, &ack, 1);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kTransfer));
}

BENCHMARK(OursDownload)->UseRealTime();
BENCHMARK(OpenSslDownload)->UseRealTime();
BENCHMARK(OursUpload)->UseRealTime();
BENCHMARK(OpenSslUpload)->UseRealTime();

// Keeps each run's throughput to print the ratios after the table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& run : runs) {
            auto it = run.counters.find("bytes_per_second");
            if (it != run.counters.end()) rate_[run.benchmark_name()] = it->second.value;
        }
    }
    // With --benchmark_repetitions the medians are compared.
    double Rate(const std::string& name) {
        auto it = rate_.find(name + "/real_time_median");
        return it != rate_.end() ? it->second : rate_[name + "/real_time"];
    }
    void PrintRatio(const char* ours, const char* plain) {
        double a = Rate(ours), b = Rate(plain);
        if (a > 0 && b > 0)
            std::printf("%s / %s: %.2f (%.0f MB/s vs %.0f MB/s)\n", ours, plain, a / b, a / 1e6, b / 1e6);
    }

private:
    std::map<std::string, double> rate_;
};

}  // namespace

int main(int argc, char** argv) {
    TheServer();
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatio("OursDownload", "OpenSslDownload");
    reporter.PrintRatio("OursUpload", "OpenSslUpload");
    benchmark::Shutdown();
    return 0;
}
