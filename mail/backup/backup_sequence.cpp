// The export mark. Rowids of EMAIL_MESSAGES come back after a purge (an
// account reload deletes the newest rows, and the next insert takes the
// highest rowid left plus one), so a mark on them skips re-downloaded mail.
// A trigger gives every inserted row a number from an AUTOINCREMENT key,
// which SQLite never hands out twice.
#include "foundation/log.h"
#include "mail/backup/email_backup.h"
#include "mail/store/store_transaction.h"

namespace {

constexpr const char16_t* kStatements[] = {
    u"CREATE TABLE %s.EMAIL_BACKUP_SEQUENCE (SEQ INTEGER PRIMARY KEY AUTOINCREMENT, MESSAGE_ID VARCHAR(16) NOT NULL "
    u"UNIQUE);",
    u"INSERT INTO %s.EMAIL_BACKUP_SEQUENCE (MESSAGE_ID) SELECT ID FROM EMAIL_MESSAGES ORDER BY rowid;",
    u"CREATE TRIGGER %s.TRG_EMAIL_BACKUP_SEQUENCE_INSERT AFTER INSERT ON EMAIL_MESSAGES BEGIN INSERT OR REPLACE INTO "
    u"EMAIL_BACKUP_SEQUENCE (MESSAGE_ID) VALUES (NEW.ID); END;",
    u"CREATE TRIGGER %s.TRG_EMAIL_BACKUP_SEQUENCE_DELETE AFTER DELETE ON EMAIL_MESSAGES BEGIN DELETE FROM "
    u"EMAIL_BACKUP_SEQUENCE WHERE MESSAGE_ID=OLD.ID; END;",
};

}  // namespace

bool LEmailBackupEnsureSequence(LAppDatabaseAccount& db, bool& made) {
    made = false;
    if (db.TableExists(u"EMAIL_BACKUP_SEQUENCE")) return true;
    // Made with every existing row numbered in one transaction: no insert
    // of the sync can fall between the numbering and the trigger.
    LStoreTransaction tx(db);
    bool ok = tx.Began();
    for (const char16_t* statement : kStatements) ok = ok && db.ExecF(statement, u"main");
    made = ok && tx.Commit();
    if (made) return true;
    char16_t error[260];
    db.GetLastErrorText(error);
    LLogErrorF("Backup: unable to create the export sequence: %s", LToUtf8(error).c_str());
    return false;
}

int64_t LEmailBackupSequenceMark(LAppDatabaseAccount& db) {
    int64_t mark = -1;
    // The highest number ever handed out, not the highest left: it never
    // goes back when the newest rows are deleted.
    if (!db.QueryInt64(u"SELECT COALESCE((SELECT seq FROM main.sqlite_sequence WHERE name='EMAIL_BACKUP_SEQUENCE'), "
                       u"0);",
                       &mark))
        return -1;
    return mark;
}
