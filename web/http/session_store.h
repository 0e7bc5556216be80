#pragma once
// Browser sessions: rows of SESSION_DATA named by an 18-character ID that
// the browser returns in the cookie "porlinex_sess", and a process-wide
// cache that spares the SELECT on most requests. Sessions are made only by
// the local start route.
#include <cstdint>

#include "foundation/database.h"

constexpr const char* LWebSessionCookieName = "porlinex_sess";
constexpr uint64_t LWebSessionCacheLifetimeMs = 1800000;

// The session part of a request. The database handle is the request's own,
// opened by the dispatcher before a session is loaded or made.
class LWebletSessionDataDBBased {
public:
    char16_t session_id[260] = {0};
    char16_t user_email[260] = {0};
    LAppDatabaseAccount* db = nullptr;
    bool db_open = false;

    // Makes a session for the user "local" and makes it the request's
    // session. False when the row could not be written: the request then has
    // no session (a cookie for a row that does not exist helps nobody).
    bool CreateNewSession();
    // True when a session with that ID exists and names a database.
    bool LoadSession(const char16_t* cookie_value);
    // Deletes the row and the cache entry, then forgets the session.
    void DeleteSession();
    const char16_t* GetID();
    const char16_t* GetLoggedOnUser();
    bool HasSession() const { return session_id[0] != 0; }

    // Deletes every row whose LAST_ACTIVE is older than 183 days.
    static void DeleteExpiredSessionData(LAppDatabaseAccount& db);
};

// The cache: fills the three columns (USER_EMAIL, ACCOUNT_NAME, LAST_ACTIVE)
// from a live entry or the table; false when there is no row.
bool LWebletSessionCacheLookup(LAppDatabaseAccount& db, const char16_t* id, char16_t user[260],
                               char16_t account[260], char16_t last_active[260]);
// Drops the entries of one ID at once.
void LWebletSessionCacheForget(const char16_t* id);

// The local date "YYYY-MM-DD" of a time (seconds since 1970).
void LWebLocalDateText(int64_t t, char16_t out[260]);
