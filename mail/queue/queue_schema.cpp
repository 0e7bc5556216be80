#include "mail/queue/send_queue.h"
#include "mail/store/mail_schema.h"
#include "web/http/db_table.h"

namespace {

// ROW_ID: the EMAIL_MESSAGES row. The table's own rowid gives the order in
// which lines were queued, which the random row IDs cannot.
constexpr LEmailSchemaTable kQueue = {
    u"EMAIL_SEND_QUEUE",
    u"CREATE TABLE %s.EMAIL_SEND_QUEUE (ROW_ID VARCHAR(16) PRIMARY KEY, ACCOUNT_ID VARCHAR(12) NOT NULL, "
    u"MESSAGE_ID VARCHAR(512) NOT NULL DEFAULT '', STATE VARCHAR(16) NOT NULL DEFAULT 'QUEUED', TRIES INTEGER NOT "
    u"NULL DEFAULT 0, NEXT_TRY_UTC INTEGER NOT NULL DEFAULT 0, AUTO_SUBMITTED VARCHAR(32) NOT NULL DEFAULT '', "
    u"MIME TEXT, LAST_ERROR TEXT);"};

// An account whose sign-in was refused; SETTINGS_DIGEST is the SHA-256 of
// the address, server and password it was refused with.
constexpr LEmailSchemaTable kPauses = {
    u"EMAIL_SEND_PAUSES",
    u"CREATE TABLE %s.EMAIL_SEND_PAUSES (ACCOUNT_ID VARCHAR(12) PRIMARY KEY, SETTINGS_DIGEST VARCHAR(64) NOT NULL, "
    u"REASON TEXT, SINCE_UTC INTEGER NOT NULL DEFAULT 0);"};

}  // namespace

// Read through dbtable-read; a write through dbtable-write fails on the view.
LWEBDBTABLE_TABLE(EMAIL_SEND_QUEUE_STATUS, "ROW_ID");

int LSendQueueCreateSchema(LAppDatabaseAccount& db) {
    const LEmailSchemaTable tables[] = {kQueue, kPauses};
    if (!LEmailSchemaEnsureTables(db, tables, 2)) return 2;
    if (!db.ExecF(u"CREATE INDEX IF NOT EXISTS %s.IDX_EMAIL_SEND_QUEUE_STATE ON EMAIL_SEND_QUEUE (STATE, "
                  u"NEXT_TRY_UTC);",
                  u"main") ||
        !db.ExecF(u"CREATE INDEX IF NOT EXISTS %s.IDX_EMAIL_SEND_QUEUE_MESSAGE_ID ON EMAIL_SEND_QUEUE (MESSAGE_ID);",
                  u"main")) {
        LEmailSchemaFail(db, "Unable to create the send queue index");
        return 2;
    }
    // What the browser interface reads of the queue: no message text, and
    // a view, so that the table routes cannot write through it. A row of a
    // paused account shows PAUSED and why.
    // Made anew at every start, so that a changed definition takes effect.
    if (!db.ExecF(u"DROP VIEW IF EXISTS %s.EMAIL_SEND_QUEUE_STATUS;", u"main") ||
        !db.ExecF(u"CREATE VIEW %s.EMAIL_SEND_QUEUE_STATUS AS SELECT q.ROW_ID AS ROW_ID, q.ACCOUNT_ID AS "
                  u"ACCOUNT_ID, q.MESSAGE_ID AS MESSAGE_ID, CASE WHEN q.STATE='QUEUED' AND p.ACCOUNT_ID IS NOT NULL "
                  u"THEN 'PAUSED' ELSE q.STATE END AS STATE, q.TRIES AS TRIES, q.NEXT_TRY_UTC AS NEXT_TRY_UTC, "
                  u"CASE WHEN q.STATE='QUEUED' AND p.ACCOUNT_ID IS NOT NULL THEN p.REASON ELSE q.LAST_ERROR END AS "
                  u"LAST_ERROR, q.AUTO_SUBMITTED AS AUTO_SUBMITTED, m.TO_TEXT AS TO_TEXT, m.SUBJECT AS SUBJECT, NULL AS "
                  u"DELETED FROM "
                  u"EMAIL_SEND_QUEUE q LEFT JOIN EMAIL_MESSAGES m ON m.ID=q.ROW_ID LEFT JOIN EMAIL_SEND_PAUSES p ON "
                  u"p.ACCOUNT_ID=q.ACCOUNT_ID;",
                  u"main")) {
        LEmailSchemaFail(db, "Unable to create the send queue view");
        return 2;
    }
    return 0;
}
