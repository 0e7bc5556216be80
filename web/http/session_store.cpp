#include "web/http/session_store.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "foundation/date_time.h"
#include "foundation/log.h"
#include "foundation/time_source.h"
#include "foundation/utf8.h"

namespace {

constexpr int kBuckets = 16;
constexpr const char16_t* kColumns = u"USER_EMAIL, ACCOUNT_NAME, LAST_ACTIVE";

struct CacheEntry {
    std::unique_ptr<CacheEntry> next;
    std::u16string id;
    char16_t user[260];
    char16_t account[260];
    char16_t last_active[260];
    uint64_t expiry;
};

// Newest entry first in each bucket; entries older than a dead one are dead
// too, so a walk cuts the list at the first expired entry.
struct SessionCache {
    std::mutex lock;
    std::unique_ptr<CacheEntry> buckets[kBuckets];
    // Counts the sessions forgotten. A miss reads the table outside the
    // lock; when a session was forgotten meanwhile, the row it read may be
    // one just deleted, and it must not come back into the cache.
    uint64_t forgotten = 0;
};

SessionCache& Cache() {
    static SessionCache cache;
    return cache;
}

int BucketOf(const char16_t* id) { return id[0] & 0x0F; }

void CopyText(char16_t out[260], const char16_t* text) { LCopyField(out, text); }

int64_t Now() { return static_cast<int64_t>(LNow()); }

void TodayText(char16_t out[260]) { LWebLocalDateText(Now(), out); }

void ApplyRefreshRule(LAppDatabaseAccount& db, const char16_t* id, const char16_t* last_active) {
    char16_t today[260];
    TodayText(today);
    // The common case, without reading the date back into a time (which
    // looks at the time zone file each time).
    if (std::u16string_view(last_active) == today) return;
    int64_t now = Now();
    // LAST_ACTIVE is a date; it is read as noon local time of that day.
    time_t noon = 0;
    bool readable = last_active[0] && LParseLocalDate(&noon, last_active);
    int64_t t = static_cast<int64_t>(noon);
    bool stale = !readable || now - t > 604800 || t - now > 86400;
    if (!stale) return;
    db.ExecF(u"UPDATE main.SESSION_DATA SET LAST_ACTIVE = '%s' WHERE ID = '%Q';", today, id);
}

bool QueryRow(LAppDatabaseAccount& db, const char16_t* id, char16_t user[260], char16_t account[260],
              char16_t last_active[260]) {
    LAppDatabaseCursor cursor;
    cursor.QueryF(db, u"SELECT %s FROM %s%s%s WHERE %s = '%Q';", kColumns, u"main", u".", u"SESSION_DATA", u"ID", id);
    if (!cursor.HasRow()) return false;
    cursor.GetColumnText(0, u"", user);
    cursor.GetColumnText(1, u"", account);
    cursor.GetColumnText(2, u"", last_active);
    return true;
}

}  // namespace

void LWebLocalDateText(int64_t t, char16_t out[260]) {
    char16_t clock[260];
    LFormatLocalDateAndTime(static_cast<time_t>(t), out, clock);
}

bool LWebletSessionCacheLookup(LAppDatabaseAccount& db, const char16_t* id, char16_t user[260],
                               char16_t account[260], char16_t last_active[260]) {
    SessionCache& cache = Cache();
    int bucket = BucketOf(id);
    uint64_t tick = LTickCount64();
    std::unique_ptr<CacheEntry> dead;
    uint64_t forgotten_before;
    {
        std::lock_guard<std::mutex> lock(cache.lock);
        forgotten_before = cache.forgotten;
        std::unique_ptr<CacheEntry>* link = &cache.buckets[bucket];
        while (*link) {
            CacheEntry* e = link->get();
            if (e->expiry < tick) {
                dead = std::move(*link);
                break;
            }
            if (e->id == id) {
                CopyText(user, e->user);
                CopyText(account, e->account);
                CopyText(last_active, e->last_active);
                return true;
            }
            link = &e->next;
        }
    }
    // The dead tail is freed here, outside the lock; the query too runs
    // without it, so two threads missing on one ID may both add an entry.
    dead.reset();
    if (!QueryRow(db, id, user, account, last_active)) {
        user[0] = account[0] = last_active[0] = 0;
        return false;
    }
    auto entry = std::make_unique<CacheEntry>();
    entry->id.assign(id, std::min<size_t>(LTextLength(id), 259));
    CopyText(entry->user, user);
    CopyText(entry->account, account);
    CopyText(entry->last_active, last_active);
    entry->expiry = tick + LWebSessionCacheLifetimeMs;
    std::lock_guard<std::mutex> lock(cache.lock);
    // The load itself stands (the row was there when it was read); only
    // the cache does not keep it.
    if (cache.forgotten != forgotten_before) return true;
    entry->next = std::move(cache.buckets[bucket]);
    cache.buckets[bucket] = std::move(entry);
    return true;
}

void LWebletSessionCacheForget(const char16_t* id) {
    if (!id || !*id) return;
    SessionCache& cache = Cache();
    std::unique_ptr<CacheEntry> removed;
    std::lock_guard<std::mutex> lock(cache.lock);
    ++cache.forgotten;
    std::unique_ptr<CacheEntry>* link = &cache.buckets[BucketOf(id)];
    while (*link) {
        if ((*link)->id == id) {
            std::unique_ptr<CacheEntry> victim = std::move(*link);
            *link = std::move(victim->next);
            victim->next = std::move(removed);
            removed = std::move(victim);
        } else {
            link = &(*link)->next;
        }
    }
}

bool LWebletSessionDataDBBased::CreateNewSession() {
    if (!db || !db_open) {
        LLog("LWebletSessionDataDBBased::CreateNewSession called when database is not open", LLogError);
        return false;
    }
    char16_t today[260];
    TodayText(today);
    char16_t id[19];
    LAppDatabaseAccount::CreateSessionID(*db, id);
    bool ok = id[0] != 0 &&
              db->ExecF(u"INSERT INTO main.SESSION_DATA(ID, USER_EMAIL, ACCOUNT_NAME, LAST_ACTIVE) VALUES ('%s', '%Q', "
                        u"'%Q', '%s');",
                        id, u"local", u"main", today);
    if (!ok) {
        LLog("LWebletSessionDataDBBased::CreateNewSession: DB FAILED", LLogError);
        session_id[0] = user_email[0] = 0;
        return false;
    }
    CopyText(session_id, id);
    CopyText(user_email, u"local");
    LLog("LWebletSessionDataDBBased::CreateNewSession", LLogInfo);
    return true;
}

bool LWebletSessionDataDBBased::LoadSession(const char16_t* cookie_value) {
    session_id[0] = user_email[0] = 0;
    if (!cookie_value || !*cookie_value) return false;
    if (!db || !db_open) {
        LLog("LWebletSessionDataDBBased::LoadSession called when database is not open", LLogError);
        return false;
    }
    char16_t user[260], account[260], last_active[260];
    bool found = LWebletSessionCacheLookup(*db, cookie_value, user, account, last_active) && account[0];
    // Right after a row is made another connection may not see it yet: ask
    // the table itself a few times before giving up.
    for (int attempt = 1; !found; ++attempt) {
        if (QueryRow(*db, cookie_value, user, account, last_active)) {
            if (account[0]) {
                found = true;
                break;
            }
            LLog("LWebletSessionDataDBBased::LoadSession database (ACCOUNT_NAME) is blank - have you run LegacyUpdate",
                 LLogError);
        }
        LLog("LWebletSessionDataDBBased::LoadSession cannot find session data in the central database", LLogDebug);
        if (attempt == 10) {
            LLog("LWebletSessionDataDBBased::LoadSession timeout", LLogInfo);
            return false;
        }
        LLog("LWebletSessionDataDBBased::LoadSession waiting 50ms", LLogDebug);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ApplyRefreshRule(*db, cookie_value, last_active);
    LLog("LWebletSessionDataDBBased::LoadSession success", LLogDebug);
    CopyText(session_id, cookie_value);
    CopyText(user_email, user);
    return true;
}

void LWebletSessionDataDBBased::DeleteSession() {
    if (!session_id[0]) return;
    LLog("LWebletSessionDataDBBased::DeleteSession", LLogInfo);
    if (db && db_open) db->ExecF(u"DELETE FROM main.SESSION_DATA WHERE ID = '%Q';", session_id);
    // A deleted session must not keep loading from the cache.
    LWebletSessionCacheForget(session_id);
    session_id[0] = user_email[0] = 0;
}

const char16_t* LWebletSessionDataDBBased::GetID() {
    if (!session_id[0])
        LLog("LWebletSessionDataDBBased::GetID() called without a CreateNewSession or LoadSession!", LLogError);
    return session_id;
}

const char16_t* LWebletSessionDataDBBased::GetLoggedOnUser() {
    if (!user_email[0])
        LLog("LWebletSessionDataDBBased::GetLoggedOnUser() called without a CreateNewSession or LoadSession!",
             LLogError);
    return user_email;
}

void LWebletSessionDataDBBased::DeleteExpiredSessionData(LAppDatabaseAccount& db) {
    char16_t date[260];
    LWebLocalDateText(Now() - 15811200, date);
    // A text comparison: LAST_ACTIVE holds the same date shape.
    db.ExecF(u"DELETE FROM main.SESSION_DATA WHERE LAST_ACTIVE < '%s';", date);
    LLog("LWebletSessionDataDBBased::DeleteExpiredSessionData: Done.", LLogInfo);
}
