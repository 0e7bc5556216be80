#include "web/http/session_store.h"

#include <ctime>

#include "foundation/log.h"

void LWebletSessionDataDBBased::DeleteExpiredSessionData(LAppDatabaseAccount& db) {
    time_t cut = time(nullptr) - 15811200;
    struct tm lt;
    localtime_r(&cut, &lt);
    char16_t date[260];
    LFormatEscPathW(date, u"%.4d-%.2d-%.2d", lt.tm_year + 1900, lt.tm_mon + 1, lt.tm_mday);
    // A text comparison: LAST_ACTIVE holds the same date shape.
    db.ExecF(u"DELETE FROM main.SESSION_DATA WHERE LAST_ACTIVE < '%Q';", date);
    LLog("LWebletSessionDataDBBased::DeleteExpiredSessionData: Done.", LLogInfo);
}
