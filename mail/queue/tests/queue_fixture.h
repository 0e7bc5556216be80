#pragma once
// The outgoing queue against real peers: a Dovecot and aiosmtpd servers
// (STARTTLS) on loopback, both certificates trusted, a fresh store with
// accounts whose mail goes through them.
#include <memory>
#include <string>
#include <vector>

#include "mail/store/tests/store_fixture.h"
#include "tests/support/dovecot_server.h"
#include "tests/support/smtp_server.h"
#include "tests/support/tls_peer.h"

class QueueTest : public StoreTest {
protected:
    QueueTest() : ca_(root_.Path()) {}
    void SetUp() override { StartWith(""); }
    // capability: Dovecot's imap_capability, empty for its own.
    void StartWith(const std::string& capability);
    LTestSmtpServer& StartSmtp(LTestSmtpServerOptions o = {});
    // An account "acc<n>" of user <user>@example.org at Dovecot, sending
    // through smtp_host ("localhost:PORT").
    void AddAccount(const std::string& id, const std::string& smtp_host, bool with_imap = true);
    std::string Queue(const std::string& account, const std::string& to, const std::string& subject);
    // One round of the worker; the next due time is kept.
    int Round();
    std::string State(const std::string& row) {
        return QueryText(Db(), "SELECT STATE FROM EMAIL_SEND_QUEUE WHERE ROW_ID='" + row + "'");
    }
    std::string Doveadm(const std::vector<std::string>& args) { return dovecot_.Doveadm(args); }
    // The header of a message as the receiver got it ("" when missing).
    static std::string Header(const std::string& message, const std::string& name);

    static constexpr const char* kUser = "alice@example.org";
    LTestCertificateAuthority ca_;
    LTestDovecot dovecot_;
    std::unique_ptr<LTestScopedEnv> trust_;
    std::vector<std::unique_ptr<LTestSmtpServer>> smtp_;
    int64_t next_due_ = 0;
};
