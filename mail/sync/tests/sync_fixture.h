#pragma once
// A real Dovecot, a fresh store with one account ("acc1", user alice) that
// points at it, and the synchronisation engine of this process started on
// that store. Every test stops the engine before the server.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "foundation/database.h"
#include "foundation/wait.h"
#include "tests/support/dovecot_server.h"
#include "tests/support/test_root.h"

class SyncTest : public ::testing::Test {
protected:
    void TearDown() override;

    // Server, store and account; the engine is started by StartEngine.
    void Prepare(const std::string& capability = "");
    void StartEngine();
    // Asks the account's worker for a pass over every mailbox and waits.
    bool Pass();
    // Delivers n small messages "<prefix> i" into INBOX; with attachEvery,
    // every such one carries a small binary attachment.
    void BulkSave(int n, const std::string& prefix, int attachEvery = 0);
    // doveadm save into the mailbox, created first when missing.
    bool Save(const std::string& mailbox, const std::string& message);

    LAppDatabaseAccount& Db() { return *db_; }
    int64_t Rows(const std::string& where = "1=1");
    std::vector<int64_t> LocalUids(const std::string& mailbox);
    std::vector<int64_t> ServerUids(const std::string& mailbox);
    std::string MailboxId(const std::string& mailbox);
    // Lines of the server's rawlog that the client sent from `from` on.
    std::string RawSince(size_t from);

    LTestRoot root_;
    LTestDovecot dovecot_;
    std::unique_ptr<LAppDatabaseAccount> db_;
    LPlainWait wait_;
    static std::atomic<int> arrivals_;
};

// A plain text message.
std::string SyncMessage(const std::string& subject, const std::string& messageId, const std::string& body = "body");
