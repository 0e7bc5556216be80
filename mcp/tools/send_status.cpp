#include "mcp/tools/send_status.h"

#include <string_view>

bool LMcpWriteDelivery(LJsonWriter& json, LAppDatabaseAccount& db, const char16_t* email_id, LString& failure) {
    LAppDatabaseCursor c;
    c.QueryF(db,
             u"SELECT STATE, TRIES, NEXT_TRY_UTC, COALESCE(LAST_ERROR, '') FROM %s.EMAIL_SEND_QUEUE_STATUS WHERE "
             u"ROW_ID='%Q' LIMIT 1;",
             u"main", email_id);
    if (!c.HasRow()) return false;
    LString state, error;
    c.GetColumnString(0, state);
    c.GetColumnString(3, error);
    json.BeginObjectNamed("delivery");
    json.String("state", state.c_str());
    json.Int("tries", c.GetColumnInt(1));
    json.Int64("next_try_utc", c.GetColumnInt64(2));
    json.String("last_error", error.c_str());
    json.EndObject();
    std::u16string_view s = state.View();
    if (s == u"FAILED" || s == u"PAUSED") failure.Format(u"%s: %s", state, error);
    return true;
}
