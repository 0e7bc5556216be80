#include "mail/queue/send_queue.h"
#include "mail/store/mail_schema.h"

namespace {

// ROW_ID: the EMAIL_MESSAGES row. The table's own rowid gives the order in
// which lines were queued, which the random row IDs cannot.
constexpr LEmailSchemaTable kQueue = {
    u"EMAIL_SEND_QUEUE",
    u"CREATE TABLE %s.EMAIL_SEND_QUEUE (ROW_ID VARCHAR(16) PRIMARY KEY, ACCOUNT_ID VARCHAR(12) NOT NULL, "
    u"MESSAGE_ID VARCHAR(512) NOT NULL DEFAULT '', STATE VARCHAR(16) NOT NULL DEFAULT 'QUEUED', TRIES INTEGER NOT "
    u"NULL DEFAULT 0, NEXT_TRY_UTC INTEGER NOT NULL DEFAULT 0, AUTO_SUBMITTED VARCHAR(32) NOT NULL DEFAULT '', "
    u"MIME TEXT, LAST_ERROR TEXT);"};

}  // namespace

int LSendQueueCreateSchema(LAppDatabaseAccount& db) {
    if (!LEmailSchemaEnsureTables(db, &kQueue, 1)) return 2;
    if (!db.ExecF(u"CREATE INDEX IF NOT EXISTS %s.IDX_EMAIL_SEND_QUEUE_STATE ON EMAIL_SEND_QUEUE (STATE, "
                  u"NEXT_TRY_UTC);",
                  u"main") ||
        !db.ExecF(u"CREATE INDEX IF NOT EXISTS %s.IDX_EMAIL_SEND_QUEUE_MESSAGE_ID ON EMAIL_SEND_QUEUE (MESSAGE_ID);",
                  u"main")) {
        LEmailSchemaFail(db, "Unable to create the send queue index");
        return 2;
    }
    return 0;
}
