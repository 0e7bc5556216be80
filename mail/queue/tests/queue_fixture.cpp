#include "mail/queue/tests/queue_fixture.h"

#include <fstream>

#include "foundation/utf8.h"
#include "foundation/wait.h"
#include "mail/mail_services.h"
#include "mail/queue/send_queue.h"
#include "mail/store/accounts.h"

void QueueTest::StartWith(const std::string& capability) {
    LTestDovecotOptions o;
    o.users = {{kUser, "secret"}};
    o.capability = capability;
    o.extra = "auth_failure_delay = 0\n";
    ASSERT_TRUE(dovecot_.Start(o)) << dovecot_.Error();
    // Our clients trust Dovecot's own certificate and the test authority
    // that issues the SMTP servers' ones.
    std::string bundle = root_.Path() + "/trusted.pem";
    std::ofstream(bundle) << LTestReadFile(dovecot_.Folder() + "/cert.pem") << LTestReadFile(ca_.CaPath());
    trust_ = std::make_unique<LTestScopedEnv>("SSL_CERT_FILE", bundle);
    StoreTest::SetUp();
}

LTestSmtpServer& QueueTest::StartSmtp(LTestSmtpServerOptions o) {
    smtp_.push_back(LTestStartTlsSmtpServer(root_.Path() + "/smtp" + std::to_string(smtp_.size()), ca_, kUser, "secret", o));
    EXPECT_TRUE(smtp_.back()->Ready());
    return *smtp_.back();
}

void QueueTest::AddAccount(const std::string& id, const std::string& smtp_host, bool with_imap) {
    Exec(Db(), "INSERT INTO EMAILACCOUNTS (ID, EMAIL, INCOMINGSERVER, OUTGOINGSERVER, REQUIRE_SMTP_HOST_MATCH) VALUES "
               "('" + id + "', '" + kUser + "', '" + (with_imap ? dovecot_.Server() : "") + "', '" + smtp_host +
               "', 1)");
    ASSERT_TRUE(LEmailAccountPasswordSet(Db(), LFromUtf8(id).c_str(), u"secret"));
}

std::string QueueTest::Queue(const std::string& account, const std::string& to, const std::string& subject) {
    EXPECT_EQ(LEmailQueueOutgoing(Db(), LFromUtf8(account).c_str(), LFromUtf8(to).c_str(), u"",
                                  LFromUtf8(subject).c_str(), u"<p>Body of the message</p>"),
              0);
    return QueryText(Db(), "SELECT ROW_ID FROM EMAIL_SEND_QUEUE ORDER BY rowid DESC LIMIT 1");
}

int QueueTest::Round() {
    LPlainWait progress;
    return LSendQueueProcess(progress, Db(), next_due_);
}

std::string QueueTest::Header(const std::string& message, const std::string& name) {
    std::string key = "\n" + name + ": ";
    std::string text = "\n" + message;
    size_t at = text.find(key);
    if (at == std::string::npos) return "";
    size_t start = at + key.size();
    return text.substr(start, text.find_first_of("\r\n", start) - start);
}
