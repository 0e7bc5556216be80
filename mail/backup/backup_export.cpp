// The export of a round: every live message (or those new since the last
// round) written into its month folder.
#include <cerrno>
#include <cstring>

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

void LEmailBackupFailures::Add(const char* what, const char16_t* path) {
    if (count++ == 0) first = std::string(what) + " " + LToUtf8(path) + ": " + std::strerror(errno);
}

void LEmailBackupFailures::Log() const {
    if (count) LLogErrorF("Backup: %d files were not written in this round; the first: %s", count, first.c_str());
}

bool LEmailBackupExport(LAppDatabaseAccount& db, LTaskProgress& progress, const char16_t* folder,
                        int64_t since_time, int64_t since_seq, time_t& earliest, LEmailBackupFailures& failed) {
    earliest = 0;
    LAppDatabaseCursor c;
    LString q;
    q.Format(u"SELECT %s, CC_TEXT, BCC_TEXT, REPLY_TO_TEXT, IN_REPLY_TO, REFERENCES_TEXT, BODY_TEXT, BODY_HTML FROM "
             u"%s.EMAIL_MESSAGES WHERE IS_DELETED=0",
             LEmailBackupNameColumns, u"main");
    // Both times are the sender's Date or the arrival; mail that arrives
    // late, is moved in with an old Date or comes again after a purge is
    // only found by its sequence number. As a union each part is a range of
    // an index; the same test written with OR reads the whole table at
    // every new message.
    if (since_time > 0 || since_seq > 0)
        q.AppendFormat(u" AND rowid IN (SELECT m.rowid FROM %s.EMAIL_BACKUP_SEQUENCE s JOIN %s.EMAIL_MESSAGES m ON "
                       u"m.ID=s.MESSAGE_ID WHERE s.SEQ>%I64d UNION SELECT rowid FROM %s.EMAIL_MESSAGES WHERE "
                       u"SENT_UTC>=%I64d UNION SELECT rowid FROM %s.EMAIL_MESSAGES WHERE RECEIVED_UTC>=%I64d)",
                       u"main", u"main", since_seq, u"main", since_time, u"main", since_time);
    q.Append(u";");
    c.Query(db, q.c_str());
    if (!c.statement) return false;
    const int failed_before = failed.count;
    LString last_month;
    for (; c.HasRow() && !progress.IsStopRequested(); c.Step()) {
        LEmailBackupMessage m;
        if (!LEmailBackupReadNamedRow(c, m.row)) continue;
        c.GetColumnString(11, m.cc);
        c.GetColumnString(12, m.bcc);
        c.GetColumnString(13, m.reply_to);
        c.GetColumnString(14, m.in_reply_to);
        c.GetColumnString(15, m.references);
        c.GetColumnString(16, m.body_text);
        c.GetColumnString(17, m.body_html);
        LString dir(folder);
        dir.AppendChar(u'/');
        dir.Append(m.row.month);
        if (last_month.View() != dir.View()) {
            if (!FolderExists(dir)) LCreateDirectoryTree(dir.c_str());
            if (!FolderExists(dir)) {
                failed.Add("unable to create the folder", dir.c_str());
                continue;
            }
            last_month = dir;
        }
        dir.AppendChar(u'/');
        dir.AppendString(m.row.fileName);
        if (!earliest || m.row.time < earliest) earliest = m.row.time;
        if (LEmailBackupWriteEml(db, m, dir.c_str()))
            ++failed.written;
        else
            failed.Add("unable to write", dir.c_str());
    }
    return failed.count == failed_before && !progress.IsStopRequested();
}
