#include "mail/sync/sync_mark.h"

#include <algorithm>
#include <ctime>

#include "mail/store/mailboxes.h"

uint32_t LEmailGetMaxUid(LAppDatabaseAccount& db, const char16_t* accountId, const char16_t* mailboxId,
                         uint32_t uidValidity) {
    if (!mailboxId || !*mailboxId || !db.handle) return 0;
    uint32_t stored = LEmailMailboxGetUidValidity(db, accountId, mailboxId);
    if (stored != 0 && stored != uidValidity) return 0;
    LString sql;
    sql.Format(u"SELECT MAX(UID) FROM %s.EMAIL_MESSAGES WHERE ACCOUNT_ID='%Q' AND UIDVALIDITY=%u AND MAILBOX_ID='%Q';",
               u"main", accountId, uidValidity, mailboxId);
    int64_t uid = 0;
    if (!db.QueryInt64(sql.c_str(), &uid) || uid <= 0 || uid > 0xFFFFFFFFll) return 0;
    return static_cast<uint32_t>(uid);
}

uint32_t LMailSyncMarkGet(LAppDatabaseAccount& db, const char16_t* accountId, const char16_t* mailboxId,
                          uint32_t uidValidity) {
    LAppDatabaseCursor c;
    c.QueryF(db, u"SELECT LAST_SYNC_UID, LAST_KNOWN_UIDVALIDITY FROM %s.EMAIL_MAILBOX_SYNC_STATE WHERE MAILBOX_ID='%Q';",
             u"main", mailboxId);
    if (!c.HasRow()) return LEmailGetMaxUid(db, accountId, mailboxId, uidValidity);
    int64_t uid = c.GetColumnInt64(0);
    if (static_cast<uint32_t>(c.GetColumnInt64(1)) != uidValidity || uid < 0 || uid > 0xFFFFFFFFll) return 0;
    return static_cast<uint32_t>(uid);
}

bool LMailSyncMarkSet(LAppDatabaseAccount& db, const char16_t* mailboxId, uint32_t uidValidity, uint32_t uid) {
    int64_t now = static_cast<int64_t>(time(nullptr));
    return db.ExecF(u"INSERT INTO %s.EMAIL_MAILBOX_SYNC_STATE (MAILBOX_ID, LAST_SYNC_UID, LAST_KNOWN_UIDVALIDITY, "
                    u"LAST_INCREMENTAL_SYNC_UTC) VALUES ('%Q', %u, %u, %lld) ON CONFLICT(MAILBOX_ID) DO UPDATE SET "
                    u"LAST_SYNC_UID=excluded.LAST_SYNC_UID, LAST_KNOWN_UIDVALIDITY=excluded.LAST_KNOWN_UIDVALIDITY, "
                    u"LAST_INCREMENTAL_SYNC_UTC=excluded.LAST_INCREMENTAL_SYNC_UTC;",
                    u"main", mailboxId, uid, uidValidity, now);
}

std::vector<uint32_t> LMailSyncStoredUids(LAppDatabaseAccount& db, const char16_t* accountId,
                                          const char16_t* mailboxId, uint32_t uidValidity, uint32_t above) {
    std::vector<uint32_t> uids;
    LAppDatabaseCursor c;
    c.QueryF(db,
             u"SELECT UID FROM %s.EMAIL_MESSAGES WHERE ACCOUNT_ID='%Q' AND MAILBOX_ID='%Q' AND UIDVALIDITY=%u AND "
             u"UID>%u ORDER BY UID;",
             u"main", accountId, mailboxId, uidValidity, above);
    for (; c.HasRow(); c.Step()) uids.push_back(static_cast<uint32_t>(c.GetColumnInt64(0)));
    return uids;
}

std::vector<uint32_t> LMailSyncParseUids(const char* text, uint32_t above, int32_t& tokens) {
    std::vector<uint32_t> uids;
    tokens = 0;
    const char* p = text ? text : "";
    while (*p) {
        while (*p && static_cast<unsigned char>(*p) <= ' ') p++;
        if (!*p) break;
        tokens++;
        uint64_t n = 0;
        bool digits = true;
        for (; *p && static_cast<unsigned char>(*p) > ' '; p++) {
            if (*p < '0' || *p > '9') digits = false;
            else if (n <= 0xFFFFFFFFull) n = n * 10 + static_cast<uint64_t>(*p - '0');
        }
        // "UID SEARCH UID n:*" answers the highest UID even when it is below
        // n; such UIDs, and anything that is no UID, are counted, not fetched.
        if (digits && n > above && n <= 0xFFFFFFFFull) uids.push_back(static_cast<uint32_t>(n));
    }
    std::sort(uids.begin(), uids.end());
    uids.erase(std::unique(uids.begin(), uids.end()), uids.end());
    return uids;
}
