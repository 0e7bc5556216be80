// The export of a round: every live message (or those new since the last
// round) written into its month folder.
#include "foundation/folder.h"
#include "foundation/log.h"
#include "mail/backup/email_backup.h"
#include "platform/file.h"

namespace {

bool FolderExists(const LString& path) {
    LPlatformFileInfo info;
    return LPlatformGetFileInfo(LToUtf8(path).c_str(), &info, true) && info.exists && info.is_folder;
}

}  // namespace

bool LEmailBackupExport(LAppDatabaseAccount& db, LTaskProgress& progress, const char16_t* folder,
                        int64_t since_time, int64_t since_rowid, time_t& earliest) {
    earliest = 0;
    LAppDatabaseCursor c;
    constexpr const char16_t* kColumns =
        u"SELECT ID, FROM_TEXT, TO_TEXT, SUBJECT, MESSAGE_ID, BODY_TEXT, SENT_UTC, RECEIVED_UTC, BODY_HTML FROM "
        u"%s.EMAIL_MESSAGES WHERE IS_DELETED=0";
    LString q;
    q.Format(kColumns, u"main");
    // Both times are the sender's Date or the arrival; mail that arrives
    // late or is moved in with an old Date is only found by its rowid. As a
    // union each part is a range of the rowid or of a time index; the same
    // test written with OR reads the whole table at every new message.
    if (since_time > 0 || since_rowid > 0)
        q.AppendFormat(u" AND rowid IN (SELECT rowid FROM %s.EMAIL_MESSAGES WHERE rowid>%I64d UNION SELECT rowid FROM "
                       u"%s.EMAIL_MESSAGES WHERE SENT_UTC>=%I64d UNION SELECT rowid FROM %s.EMAIL_MESSAGES WHERE "
                       u"RECEIVED_UTC>=%I64d)",
                       u"main", since_rowid, u"main", since_time, u"main", since_time);
    q.Append(u";");
    c.Query(db, q.c_str());
    if (!c.statement) return false;
    bool ok = true;
    LString last_month;
    for (; c.HasRow() && !progress.IsStopRequested(); c.Step()) {
        LEmailBackupMessage m;
        c.GetColumnString(0, m.id);
        c.GetColumnString(1, m.from);
        c.GetColumnString(2, m.to);
        c.GetColumnString(3, m.subject);
        c.GetColumnString(4, m.message_id);
        c.GetColumnString(5, m.body_text);
        c.GetColumnString(8, m.body_html);
        char16_t month[260], stamp[260];
        if (!LEmailBackupMessageTime(c.GetColumnInt64(6), c.GetColumnInt64(7), m.time) ||
            !LEmailBackupMonthFolder(m.time, month, stamp))
            continue;
        LString dir(folder);
        dir.AppendChar(u'/');
        dir.Append(month);
        if (last_month.View() != dir.View()) {
            if (!FolderExists(dir)) LCreateDirectoryTree(dir.c_str());
            if (!FolderExists(dir)) {
                LLogErrorF("Backup: unable to create the folder %s", LToUtf8(dir).c_str());
                ok = false;
                continue;
            }
            last_month = dir;
        }
        LString name;
        LEmailBackupFileName(stamp, m.from.c_str(), m.to.c_str(), m.subject.c_str(), m.id.c_str(), name);
        dir.AppendChar(u'/');
        dir.AppendString(name);
        if (!earliest || m.time < earliest) earliest = m.time;
        if (!LEmailBackupWriteEml(db, m, dir.c_str())) {
            LLogErrorF("Backup: unable to write %s", LToUtf8(dir).c_str());
            ok = false;
        }
    }
    return ok && !progress.IsStopRequested();
}
