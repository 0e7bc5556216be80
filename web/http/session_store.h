#pragma once
#include "foundation/database.h"

// The session rows of SESSION_DATA.
struct LWebletSessionDataDBBased {
    // Deletes every row whose LAST_ACTIVE is older than 183 days.
    static void DeleteExpiredSessionData(LAppDatabaseAccount& db);
};
