#pragma once
// A real SMTP peer for tests: aiosmtpd (tests/support/smtp_server.py) on a
// free loopback port in a folder of the test, recording every message and
// every command it receives. Stopped when the object goes.
//
//   LTestCertificateAuthority ca(root.Path());             // tls_peer.h
//   LTestScopedEnv trust("SSL_CERT_FILE", ca.CaPath());
//   LTestIssuedCertificate cert = ca.Issue("smtp");         // localhost
//   LTestSmtpServerOptions o;
//   o.startTls = true; o.certPath = cert.chain_path; o.keyPath = cert.key_path;
//   o.authUser = "ann"; o.authPassword = "secret";
//   LTestSmtpServer server(root.Path() + "/smtp", o);
//   ... send to "localhost:" + server.Port() ...
//   server.Messages()[0].rcptTos, server.Commands() ...
#include <memory>
#include <string>
#include <vector>

#include "tests/support/test_root.h"

struct LTestSmtpServerOptions {
    bool startTls = false;                 // offer STARTTLS
    bool implicitTls = false;              // TLS from the first byte (port 465 style)
    std::string authUser, authPassword;    // offer AUTH LOGIN for this user
    bool authInClear = false;              // allow AUTH without TLS
    std::vector<std::string> refuse;       // recipients answered with 550
    std::string dataReply;                 // reply to the end of data instead of 250
    std::string certPath, keyPath;         // PEM files for either TLS form (tls_peer.h issues them)
    bool closeAfterData = false;           // drop the connection after answering the end of data
    // "STEP=ACTION": at GREETING, a verb ("MAIL", "AUTH", ...) or END (the
    // end of data) the server hangs ("hang"), drops the line ("drop"; at
    // END after keeping the message) or answers with ACTION as it is
    // ("451 4.3.0 try later"). A hang or a reply at END is recorded as the
    // command "END". faultTimes > 0: only that many times in all.
    std::vector<std::string> faults;
    int faultTimes = 0;
    int port = 0;                          // 0: a free port
};

struct LTestSmtpMessage {
    std::string mailFrom;
    std::vector<std::string> rcptTos;
    std::string data;                      // as received, transparency dots removed
    bool tls = false;
    std::string authUser;
};

struct LTestSmtpCommand {
    std::string verb;                      // "EHLO", "STARTTLS", "AUTH", "MAIL", ...
    std::string arg;
    bool tls = false;
};

class LTestSmtpServer {
public:
    LTestSmtpServer(const std::string& folder, const LTestSmtpServerOptions& options);
    ~LTestSmtpServer();
    LTestSmtpServer(const LTestSmtpServer&) = delete;
    LTestSmtpServer& operator=(const LTestSmtpServer&) = delete;

    bool Ready() const { return ready_; }
    int Port() const { return port_; }
    std::vector<LTestSmtpMessage> Messages() const;
    std::vector<LTestSmtpCommand> Commands() const;
    // Waits until n messages were recorded.
    bool WaitForMessages(size_t n, int timeout_ms = 10000) const;

private:
    std::string folder_, messages_, commands_;
    int port_ = 0;
    bool ready_ = false;
    std::unique_ptr<LTestProcess> process_;
};

class LTestCertificateAuthority;
// The usual mail provider's submission server: STARTTLS with a "localhost"
// certificate issued by ca (named after the folder's last name), and a
// sign-in as user with password; options for the rest.
std::unique_ptr<LTestSmtpServer> LTestStartTlsSmtpServer(const std::string& folder, LTestCertificateAuthority& ca,
                                                         const std::string& user, const std::string& password,
                                                         LTestSmtpServerOptions options = {});
