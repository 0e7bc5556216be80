#pragma once
// A fresh store for each test: a new PORLINEX_ROOT, main.db opened
// read-write and every mail schema step run on it, as the engine's start
// does.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "foundation/database.h"
#include "tests/support/test_root.h"

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override;
    LAppDatabaseAccount& Db() { return *db_; }

    LTestRoot root_;
    std::unique_ptr<LAppDatabaseAccount> db_;
};

// Runs all four schema steps; true when each succeeded.
bool RunMailSchema(LAppDatabaseAccount& db);

// One message row with its searchable texts (UTF-8); returns its rowid.
struct TestMessage {
    std::string id, account = "acc1", mailbox = "mbx1";
    int64_t uidvalidity = 7, uid = 0;
    std::string subject, from, to, cc, bcc, reply_to, preview, body;
};
int64_t InsertMessage(LAppDatabaseAccount& db, const TestMessage& m);

// Statement helpers that fail the test with the database's error.
void Exec(LAppDatabaseAccount& db, const std::string& sql);
int64_t QueryInt(LAppDatabaseAccount& db, const std::string& sql);
std::string QueryText(LAppDatabaseAccount& db, const std::string& sql);
