#include <iterator>

#include "mail/queue/send_queue.h"
#include "mail/rules/rules_schema.h"
#include "mail/store/mail_schema.h"

namespace {

constexpr LEmailSchemaTable kTables[] = {
    {u"AUTORESPONDERS",
     u"CREATE TABLE %s.AUTORESPONDERS (ID VARCHAR(12) PRIMARY KEY, NAME VARCHAR(255) NOT NULL, ENABLED INTEGER NOT "
     u"NULL DEFAULT 1, START_UTC INTEGER NOT NULL, END_UTC INTEGER NOT NULL, ALL_ACCOUNTS INTEGER NOT NULL DEFAULT 0, "
     u"SUBJECT VARCHAR(1024), BODY_TEXT TEXT NOT NULL, REPLY_FREQUENCY VARCHAR(32) NOT NULL DEFAULT "
     u"'ONCE_PER_PERIOD', PRIORITY INTEGER NOT NULL DEFAULT 0, CREATED_UTC INTEGER NOT NULL, LAST_SENT_UTC INTEGER NOT "
     u"NULL DEFAULT 0, DELETED VARCHAR(20));"},
    {u"AUTORESPONDER_ACCOUNTS",
     u"CREATE TABLE %s.AUTORESPONDER_ACCOUNTS (AUTORESPONDER_ID VARCHAR(12) NOT NULL, EMAILACCOUNT_ID VARCHAR(12) NOT "
     u"NULL, UNIQUE (AUTORESPONDER_ID, EMAILACCOUNT_ID));"},
    {u"AUTORESPONDER_CONDITIONS",
     u"CREATE TABLE %s.AUTORESPONDER_CONDITIONS (AUTORESPONDER_ID VARCHAR(12) NOT NULL, PART VARCHAR(32) NOT NULL, "
     u"TEST VARCHAR(32) NOT NULL, TEST_DETAIL VARCHAR(255) NOT NULL);"},
    {u"AUTORESPONDER_SENDS",
     u"CREATE TABLE %s.AUTORESPONDER_SENDS (ID VARCHAR(12) PRIMARY KEY, AUTORESPONDER_ID VARCHAR(12) NOT NULL, "
     u"EMAIL_MESSAGE_ID VARCHAR(16) NOT NULL, RECIPIENT_NORMALIZED VARCHAR(255) NOT NULL, SENT_UTC INTEGER NOT NULL, "
     u"STATUS VARCHAR(16) NOT NULL, UNIQUE (AUTORESPONDER_ID, EMAIL_MESSAGE_ID));"},
    {u"AUTORESPONDER_MESSAGE_SAFETY",
     u"CREATE TABLE %s.AUTORESPONDER_MESSAGE_SAFETY (EMAIL_MESSAGE_ID VARCHAR(16) PRIMARY KEY, AUTO_SUBMITTED "
     u"VARCHAR(255), PRECEDENCE VARCHAR(255), LIST_ID VARCHAR(512), RETURN_PATH VARCHAR(512), CONTENT_TYPE "
     u"VARCHAR(255));"},
};

// What marks a delivery report: a null Return-Path, multipart/report.
constexpr LEmailSchemaColumn kSafetyColumns[] = {
    {u"RETURN_PATH", u"RETURN_PATH VARCHAR(512);"},
    {u"CONTENT_TYPE", u"CONTENT_TYPE VARCHAR(255);"},
};

constexpr const char16_t* kIndexes[] = {
    u"CREATE INDEX IF NOT EXISTS %s.IDX_AUTORESPONDER_ACCOUNTS_ACCOUNT ON AUTORESPONDER_ACCOUNTS (EMAILACCOUNT_ID, "
    u"AUTORESPONDER_ID);",
    u"CREATE INDEX IF NOT EXISTS %s.IDX_AUTORESPONDER_CONDITIONS_PARENT ON AUTORESPONDER_CONDITIONS "
    u"(AUTORESPONDER_ID);",
    u"CREATE INDEX IF NOT EXISTS %s.IDX_AUTORESPONDER_SENDS_RECIPIENT ON AUTORESPONDER_SENDS (AUTORESPONDER_ID, "
    u"RECIPIENT_NORMALIZED, SENT_UTC);",
};

}  // namespace

int LAutorespondersCreateSchema(LAppDatabaseAccount& db) {
    // The store writer and the purge write the safety table, the hook the
    // others: a missing one stops the start.
    if (!LEmailSchemaEnsureTables(db, kTables, std::size(kTables)) ||
        !LEmailSchemaAddColumns(db, u"AUTORESPONDER_MESSAGE_SAFETY", kSafetyColumns, std::size(kSafetyColumns)))
        return 2;
    for (const char16_t* index : kIndexes)
        if (!db.ExecF(index, u"main")) {
            LEmailSchemaFail(db, "Unable to create an autoresponder index");
            return 2;
        }
    // The queue lines are the last table of the mail services.
    return LSendQueueCreateSchema(db);
}
