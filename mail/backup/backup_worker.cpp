// The worker EMLBackup: a round at start, then once a day or when woken (new
// settings, new mail, a mailbox's first synchronisation). Settings are read
// fresh each round; LastDoneUTC and the sequence mark advance only after a
// round that wrote everything.
#include <memory>
#include <mutex>

#include "foundation/log.h"
#include "foundation/files.h"
#include "foundation/reg_settings.h"
#include "foundation/thread.h"
#include "foundation/time_source.h"
#include "foundation/utf8.h"
#include "mail/backup/email_backup.h"
#include "mail/mail_services.h"
#include "mail/workers.h"
#include "platform/event.h"
#include "platform/file.h"

namespace {

int64_t ReadNumber(const char16_t* name, bool* present = nullptr) {
    char16_t text[260];
    LRegSettingsGet(LEmailBackupSection, name, u"", text);
    if (present) *present = text[0] != 0;
    std::string t = LToUtf8(text);
    return t.empty() ? 0 : std::strtoll(t.c_str(), nullptr, 10);
}

void WriteNumber(const char16_t* name, int64_t value) {
    LString text;
    text.Format(u"%I64d", value);
    LRegSettingsSet(LEmailBackupSection, name, text.c_str());
}

bool FolderExists(const char16_t* folder) {
    LPlatformFileInfo info;
    return LPlatformGetFileInfo(LToUtf8(folder).c_str(), &info, true) && info.exists && info.is_folder;
}

class EMLBackup : public LThread {
public:
    EMLBackup() : LThread("EMLBackup") {}
    ~EMLBackup() override { Stop(); }
    void Wake() { wake_.Set(); }

    void Run() override {
        LAppDatabaseAccount db(false);
        while (!IsStopRequested()) {
            if (db.handle) Round(db);
            LHandleList list;
            list.handles[list.count++] = wake_.Handle();
            if (WaitHandles(list, 86400000) == LWaitStopped || IsStopRequested()) break;
            wake_.Reset();
        }
    }

private:
    void Round(LAppDatabaseAccount& db) {
        if (ReadNumber(u"Enabled") == 0) return;
        char16_t folder[260];
        LRegSettingsGet(LEmailBackupSection, u"Folder", u"", folder);
        if (!folder[0] || !FolderExists(folder) || !LIsFolderWritable(folder)) return;
        int64_t zip_months = ReadNumber(u"ZipAfterMonths");
        if (LEmailBackupWaitsForMailbox(db)) return;

        char16_t last_folder[260];
        LRegSettingsGet(LEmailBackupSection, u"LastBackupFolder", u"", last_folder);
        int64_t last_done = ReadNumber(u"LastDoneUTC");
        bool made = false;
        if (!LEmailBackupEnsureSequence(db, made)) return;
        bool has_mark = false;
        int64_t mark = ReadNumber(LEmailBackupSequenceValue, &has_mark);
        has_mark = has_mark && !made;
        // Without a mark (a round of an older release) the times alone
        // would miss late mail: one full round makes the mark.
        bool incremental = LTextLength(last_folder) == LTextLength(folder) &&
                           std::u16string_view(last_folder) == std::u16string_view(folder) && last_done > 0 &&
                           has_mark;
        int64_t since = incremental ? (last_done - 300 > 1 ? last_done - 300 : 1) : 0;
        int64_t start = static_cast<int64_t>(LNow());
        // Taken before the export reads: a row stored meanwhile is above it
        // and goes in the next round.
        int64_t new_mark = LEmailBackupSequenceMark(db);
        if (new_mark < 0) return;

        time_t earliest = 0;
        LEmailBackupFailures failed;
        bool exported = LEmailBackupExport(db, *this, folder, since, incremental ? mark : 0, earliest, failed);
        // Late mail lands in an older month, whose page must show it too.
        int64_t index_from = incremental ? last_done : 0;
        if (index_from > 0 && earliest > 0 && earliest < index_from) index_from = earliest;
        bool indexed = LEmailBackupWriteIndexes(db, *this, folder, index_from, failed);
        failed.Log();
        if (zip_months > 0) LEmailBackupZipOldMonths(*this, folder, static_cast<int>(zip_months), LNow());
        RecordRound(start, failed);
        if (IsStopRequested() || !exported || !indexed) return;
        LRegSettingsSet(LEmailBackupSection, u"LastBackupFolder", folder);
        WriteNumber(u"LastDoneUTC", start - 300);
        WriteNumber(LEmailBackupSequenceValue, new_mark);
    }

    // What the backup page shows of the round that ran last, complete or
    // not; LastDoneUTC says when the last complete one began.
    static void RecordRound(int64_t start, const LEmailBackupFailures& failed) {
        WriteNumber(u"LastRoundUTC", start);
        WriteNumber(u"LastRoundFiles", failed.written);
        WriteNumber(u"LastRoundFailures", failed.count);
        LRegSettingsSet(LEmailBackupSection, u"LastRoundError", LFromUtf8(failed.first).c_str());
    }

    LEvent wake_{true, false};
};

// The one worker of the process.
std::mutex g_lock;
std::unique_ptr<EMLBackup> g_backup;

}  // namespace

// Only mailboxes the sync can read hold a round back: one that cannot be
// selected, or whose selection the sync saw refused, would hold it back for
// ever.
bool LEmailBackupWaitsForMailbox(LAppDatabaseAccount& db) {
    LAppDatabaseCursor c;
    c.QueryF(db,
             u"SELECT b.ID, b.IMAP_NAME, a.EMAIL FROM %s.EMAILMAILBOXES b JOIN %s.EMAILACCOUNTS a ON "
             u"a.ID=b.EMAILACCOUNTS_ID AND a.DELETED IS NULL LEFT JOIN %s.EMAIL_MAILBOX_SYNC_STATE s ON "
             u"s.MAILBOX_ID=b.ID WHERE b.DELETED IS NULL AND (b.LAST_SYNC_UTC IS NULL OR b.LAST_SYNC_UTC='') AND "
             u"COALESCE(b.IMAP_FLAGS, '') NOT LIKE '%%\\Noselect%%' AND COALESCE(b.IMAP_FLAGS, '') NOT LIKE "
             u"'%%\\NonExistent%%' AND COALESCE(s.LAST_SYNC_ERROR, '')='' LIMIT 1;",
             u"main", u"main", u"main");
    if (!c.HasRow()) return false;
    LStringA name, email;
    c.GetColumnTextA(1, name);
    c.GetColumnTextA(2, email);
    LLogDebugF("Backup waits for the first synchronisation of mailbox %s of %s", name.c_str(), email.c_str());
    return true;
}

void LEmailBackupStart() {
    std::lock_guard<std::mutex> hold(g_lock);
    if (g_backup) return;
    g_backup = std::make_unique<EMLBackup>();
    g_backup->Start(LThreadPriorityLowest);
}

void LEmailBackupSignalStop() {
    std::lock_guard<std::mutex> hold(g_lock);
    if (!g_backup) return;
    g_backup->SignalStop();
    g_backup->Wake();
}

void LEmailBackupStop() {
    std::unique_ptr<EMLBackup> worker;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        worker = std::move(g_backup);
    }
    if (worker) {
        worker->SignalStop();
        worker->Wake();
        worker->Stop();
    }
}

void LEmailBackupWake() {
    std::lock_guard<std::mutex> hold(g_lock);
    if (g_backup) g_backup->Wake();
}
