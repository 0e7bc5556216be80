#include <string>
#include <vector>

#include "foundation/data_folder.h"
#include "foundation/log.h"
#include "mail/store/accounts.h"
#include "mail/store/store_transaction.h"
#include "platform/file.h"

namespace {

// The folder that holds the cached attachment files, "" when it has none.
std::string CacheRoot() {
    char16_t folder[260];
    if (!LCreateUserDataFolder(folder)) return {};
    return LToUtf8(folder) + "/CachedAttachments/";
}

// STORAGE_PATH is data: only a file inside the cache folder is ever deleted.
bool InsideCache(const std::string& root, const std::string& path) {
    if (root.empty() || path.size() <= root.size() || path.compare(0, root.size(), root) != 0) return false;
    return path.find("/../") == std::string::npos && path.find("/./") == std::string::npos &&
           path.compare(path.size() - 3, 3, "/..") != 0;
}

// A file that is gone already counts as deleted.
void DeleteCachedFile(const std::string& root, const std::string& path) {
    if (!InsideCache(root, path)) {
        LLogErrorF("Cached attachment %s lies outside the cache folder and was left alone", path.c_str());
        return;
    }
    LPlatformFileInfo info;
    if (LPlatformGetFileInfo(path.c_str(), &info, false) && info.exists && !LPlatformDeleteFile(path.c_str())) {
        LLogErrorF("Unable to delete the cached attachment %s", path.c_str());
        return;
    }
    // The message's folder goes with its last file; rmdir leaves a folder
    // that still holds anything.
    size_t slash = path.rfind('/');
    if (slash > root.size()) LPlatformRemoveFolder(path.substr(0, slash).c_str());
}

// One chunk: up to LEmailPurgeChunkRows synced messages of the account with
// everything that hangs on them, in one transaction. The cached files of the
// committed rows go to `files`; `count` is 0 when nothing was left.
bool PurgeChunk(LAppDatabaseAccount& db, const char16_t* account_id, std::vector<std::string>& files, int& count) {
    count = 0;
    LStoreTransaction tx(db);
    if (!tx.Began()) return false;
    LString in;
    {
        LAppDatabaseCursor c;
        c.QueryF(db, u"SELECT ID FROM %s.EMAIL_MESSAGES WHERE ACCOUNT_ID='%Q' AND UIDVALIDITY<>0 LIMIT %d;", u"main",
                 account_id, LEmailPurgeChunkRows);
        for (; c.HasRow(); c.Step(), ++count) {
            LString id;
            c.GetColumnString(0, id);
            in.AppendFormat(count ? u", '%Q'" : u"'%Q'", id.c_str());
        }
    }
    if (count == 0) return tx.Commit();
    std::vector<std::string> paths;
    {
        LAppDatabaseCursor c;
        c.QueryF(db,
                 u"SELECT STORAGE_PATH FROM %s.EMAIL_MESSAGE_ATTACHMENTS WHERE MESSAGE_ID IN (%s) AND "
                 u"COALESCE(STORAGE_PATH, '')<>'';",
                 u"main", in.c_str());
        for (; c.HasRow(); c.Step()) {
            LStringA path;
            c.GetColumnTextA(0, path);
            paths.push_back(path.Str());
        }
    }
    // The message rows go last: the statements before find the companions
    // through the list, and the index trigger removes each row's entries.
    const char16_t* statements[] = {
        u"DELETE FROM %s.EMAIL_MESSAGE_ATTACHMENTS WHERE MESSAGE_ID IN (%s);",
        u"DELETE FROM %s.EMAIL_MESSAGE_ADDRESSES WHERE MESSAGE_ID IN (%s);",
        u"DELETE FROM %s.EMAIL_MESSAGE_PARTS WHERE MESSAGE_ID IN (%s);",
        u"DELETE FROM %s.AUTORESPONDER_MESSAGE_SAFETY WHERE EMAIL_MESSAGE_ID IN (%s);",
        u"DELETE FROM %s.EMAIL_MESSAGES WHERE ID IN (%s);",
    };
    for (const char16_t* s : statements)
        if (!db.ExecF(s, u"main", in.c_str())) return false;
    if (!tx.Commit()) return false;
    files.insert(files.end(), paths.begin(), paths.end());
    return true;
}

}  // namespace

bool LEmailAccountPurgeMessages(LAppDatabaseAccount& db, const char16_t* account_id) {
    if (!account_id || !*account_id) return false;
    std::string account = LToUtf8(account_id);
    // The sync state goes first: if the purge is cut short, the next pass
    // lists every mailbox from scratch and finds the rows that are left.
    {
        LStoreTransaction tx(db);
        if (!tx.Began() ||
            !db.ExecF(u"DELETE FROM %s.EMAIL_MAILBOX_SYNC_STATE WHERE MAILBOX_ID IN (SELECT ID FROM %s.EMAILMAILBOXES "
                      u"WHERE EMAILACCOUNTS_ID='%Q');",
                      u"main", u"main", account_id) ||
            !db.ExecF(u"UPDATE %s.EMAILMAILBOXES SET IMAP_UIDVALIDITY=0, IMAP_UIDNEXT=0, IMAP_HIGHESTMODSEQ=0 WHERE "
                      u"EMAILACCOUNTS_ID='%Q';",
                      u"main", account_id) ||
            !db.ExecF(u"DELETE FROM %s.EMAIL_SERVER_MOVES WHERE ACCOUNT_ID='%Q';", u"main", account_id) ||
            !db.ExecF(u"UPDATE %s.EMAILACCOUNTS SET LAST_SYNC=NULL WHERE ID='%Q';", u"main", account_id) ||
            !LEmailAccountClearListRefresh(db, account_id) || !tx.Commit()) {
            LLogErrorF("Unable to clear the sync state of account %s", account.c_str());
            return false;
        }
    }
    const std::string root = CacheRoot();
    int64_t purged = 0;
    for (;;) {
        std::vector<std::string> files;
        int count = 0;
        if (!PurgeChunk(db, account_id, files, count)) {
            LLogErrorF("Unable to clear the downloaded mail of account %s after %lld messages", account.c_str(),
                       static_cast<long long>(purged));
            return false;
        }
        // Files only after the commit: a rolled-back chunk keeps its files.
        for (const std::string& f : files) DeleteCachedFile(root, f);
        if (count == 0) break;
        purged += count;
    }
    // Mailboxes that still hold a row (queued mail, drafts) keep their IDs.
    LStoreTransaction tx(db);
    if (!tx.Began() ||
        !db.ExecF(u"DELETE FROM %s.EMAILMAILBOXES WHERE EMAILACCOUNTS_ID='%Q' AND NOT EXISTS (SELECT 1 FROM "
                  u"%s.EMAIL_MESSAGES m WHERE m.MAILBOX_ID=EMAILMAILBOXES.ID);",
                  u"main", account_id, u"main") ||
        !tx.Commit()) {
        LLogErrorF("Unable to remove the mailboxes of account %s", account.c_str());
        return false;
    }
    LLogInfoF("Cleared %lld downloaded messages of account %s", static_cast<long long>(purged), account.c_str());
    return true;
}
