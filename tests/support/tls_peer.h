#pragma once
// Real TLS peers for tests: certificates made on the spot with the OpenSSL
// API, and openssl s_server / s_client run on loopback.
//
//   LTestRoot root;
//   LTestCertificateAuthority ca(root.Path());            // writes ca.crt
//   LTestScopedEnv trust("SSL_CERT_FILE", ca.CaPath());   // our clients trust it
//   LTestIssuedCertificate leaf = ca.Issue("server", {}); // localhost, 127.0.0.1
//   LTestTlsServer server;                                // openssl s_server -rev
//   ASSERT_TRUE(server.Start(leaf, {"-rev"}));
//   ... connect to 127.0.0.1:server.Port() ...
//
//   std::string out;                                      // openssl s_client
//   int rc = LTestRunTlsClient(port, ca.CaPath(), {"-servername", "localhost"}, "EHLO x\r\n", out, 10000);
#include <string>
#include <vector>

#include "tests/support/test_root.h"

// Sets an environment variable for the object's life (restores the old value).
class LTestScopedEnv {
public:
    LTestScopedEnv(const char* name, const std::string& value);
    ~LTestScopedEnv();
    LTestScopedEnv(const LTestScopedEnv&) = delete;
    LTestScopedEnv& operator=(const LTestScopedEnv&) = delete;

private:
    std::string name_, old_;
    bool had_ = false;
};

struct LTestCertificateOptions {
    std::string common_name = "localhost";
    std::vector<std::string> dns_names = {"localhost"};  // subjectAltName DNS entries
    std::vector<std::string> ip_addresses = {"127.0.0.1"};  // subjectAltName IP entries
    long not_before_days = -1;  // relative to now
    long not_after_days = 30;   // relative to now; negative for an expired certificate
    std::string p12_password;   // password of the .p12 file
};

// The files of one issued certificate (EC P-256 key).
struct LTestIssuedCertificate {
    std::string cert_path;   // PEM: the certificate
    std::string chain_path;  // PEM: the certificate followed by its CA
    std::string key_path;    // PEM: the private key, unencrypted
    std::string p12_path;    // PKCS#12: key, certificate and CA, with options.p12_password
    std::string p12_no_key_path;  // PKCS#12 with the certificates but without the key
};

// A certificate authority in a folder: "<name>.crt" and "<name>.key".
class LTestCertificateAuthority {
public:
    explicit LTestCertificateAuthority(const std::string& folder, const std::string& name = "ca");
    ~LTestCertificateAuthority();
    LTestCertificateAuthority(const LTestCertificateAuthority&) = delete;
    LTestCertificateAuthority& operator=(const LTestCertificateAuthority&) = delete;
    bool Ok() const { return key_ && cert_; }
    // The CA certificate as PEM: point SSL_CERT_FILE (our clients) or
    // -CAfile (openssl) at it.
    const std::string& CaPath() const { return ca_path_; }
    // Issues a server certificate signed by this CA into folder/<base>.*;
    // empty paths on failure.
    LTestIssuedCertificate Issue(const std::string& base, const LTestCertificateOptions& options = {});

private:
    std::string folder_;
    std::string ca_path_;
    void* key_ = nullptr;   // EVP_PKEY
    void* cert_ = nullptr;  // X509
};

// argv run with standard input from in_path and output (both streams) to
// out_path, through /bin/sh with the paths as arguments (nothing is parsed).
std::vector<std::string> LTestRedirectedArgv(const std::vector<std::string>& argv, const std::string& in_path,
                                             const std::string& out_path);

// openssl s_server on 127.0.0.1 and a free port, stopped with the object.
class LTestTlsServer {
public:
    LTestTlsServer() = default;
    ~LTestTlsServer();
    // Starts with the certificate (sent with its chain) and extra arguments
    // such as {"-rev"} (reverses each line the client sends; a line "CLOSE"
    // makes it close the connection) or {"-tls1_2"} or {"-num_tickets", "0"}.
    // Waits until it accepts connections.
    bool Start(const LTestIssuedCertificate& cert, const std::vector<std::string>& extra = {});
    int Port() const { return port_; }
    // What s_server printed so far.
    std::string Output() const;

private:
    LTestProcess* process_ = nullptr;
    std::string folder_;
    int port_ = 0;
};

// Runs openssl s_client against 127.0.0.1:port, verifying the chain with
// ca_path (and failing on a bad one), sends input and waits for the server
// to close (or timeout_ms). Returns the exit code (-1 on time-out); output
// receives what the server sent (s_client runs -quiet).
int LTestRunTlsClient(int port, const std::string& ca_path, const std::vector<std::string>& extra,
                      const std::string& input, std::string& output, int timeout_ms);
