#pragma once
// Shared set-up of the TLS tests: a fresh root, a test CA that our clients
// trust through SSL_CERT_FILE, a certificate for localhost and 127.0.0.1,
// and a one-connection server built on our own record.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "foundation/log.h"
#include "net/crypto_socket.h"
#include "foundation/wait.h"
#include "net/tests/stop_thread.h"
#include "tests/support/test_root.h"
#include "tests/support/tls_peer.h"

class TlsTest : public ::testing::Test {
protected:
    void SetUp() override {
        LLogCloseFile();  // the log keeps its file open: start one in this root
        ca_ = std::make_unique<LTestCertificateAuthority>(root_.Path());
        ASSERT_TRUE(ca_->Ok());
        trust_ = std::make_unique<LTestScopedEnv>("SSL_CERT_FILE", ca_->CaPath());
        LTestCertificateOptions o;
        o.p12_password = "secret";
        leaf_ = ca_->Issue("localhost", o);
        ASSERT_FALSE(leaf_.p12_path.empty());
        LString error;
        server_cert_ = LLoadPfxCertificate(LFromUtf8(leaf_.p12_path).c_str(), u"secret", error);
        ASSERT_TRUE(server_cert_) << LToUtf8(error);
    }

    // Connects a record to host:port (the host becomes the server name).
    bool Connect(LCryptoSocket& record, const std::string& host, int port) {
        LNetOpResult r;
        return LConnectHost(r, progress_, record, (host + ":" + std::to_string(port)).c_str(), 0, 10000) == LNetDone;
    }

    // Everything in the data folder's logs.
    std::string Logs();

    LTestRoot root_;
    LPlainWait progress_;
    std::unique_ptr<LTestCertificateAuthority> ca_;
    std::unique_ptr<LTestScopedEnv> trust_;
    LTestIssuedCertificate leaf_;
    LCertificateContext server_cert_;
};

// Accepts one connection on loopback and hands it, as a server record with
// the certificate, to the body on a thread of its own.
class OneConnectionServer {
public:
    OneConnectionServer(LCertificateContext cert, std::function<void(LCryptoSocket&)> body);
    ~OneConnectionServer() { Join(); }
    int Port() const { return port_; }
    void Join() {
        if (thread_.joinable()) thread_.join();
    }

private:
    LOwnedSocket listener_;
    int port_ = 0;
    std::thread thread_;
};
