#include "foundation/app_settings.h"

#include <cstdlib>
#include <ctime>
#include <string_view>

#include "foundation/date_time.h"
#include "foundation/log.h"
#include "foundation/utf8.h"

namespace {

// The APPSETTINGS table is made with the other registered tables at start.
[[maybe_unused]] const bool g_registered = (LAppDatabaseAccount::RegisterCreateStatement(
                               u"CREATE TABLE [db].APPSETTINGS(SECTION VARCHAR(40), ITEM VARCHAR(40), VALUE TEXT, "
                               u"UPDATED VARCHAR(20), PRIMARY KEY (SECTION, ITEM));"),
                           true);

constexpr const char16_t* kSection = u"MCP";

void LogWithDbError(LAppDatabaseAccount& db, const char* text) {
    char16_t error[260];
    db.GetLastErrorText(error);
    LLogErrorWithDetail(text, LToUtf8(error).c_str());
}

}  // namespace

void LDbAppSettingsNowText(char16_t out[260]) { LNowDateTimeUTC(out); }

bool LDbAppSettingsGet(LAppDatabaseAccount& db, const char16_t* item, LAppDatabaseCursor& cursor) {
    if (!item || !*item) {
        LLog("LDbAppSettingsGet: Invalid item parameter.", LLogError);
        return false;
    }
    cursor.QueryF(db, u"SELECT VALUE FROM %s.APPSETTINGS WHERE VALUE IS NOT NULL AND SECTION = '%Q' AND ITEM = '%Q' LIMIT 1;",
                  u"main", kSection, item);
    return cursor.HasRow();
}

void LDbAppSettingsGetString(LAppDatabaseAccount& db, const char16_t* item, char16_t out[260]) {
    out[0] = 0;
    LAppDatabaseCursor cursor;
    if (LDbAppSettingsGet(db, item, cursor)) cursor.GetColumnText(0, u"", out);
}

bool LDbAppSettingsGetBool(LAppDatabaseAccount& db, const char16_t* item, bool def) {
    LAppDatabaseCursor cursor;
    if (!LDbAppSettingsGet(db, item, cursor)) return def;
    char16_t text[260];
    cursor.GetColumnText(0, u"", text);
    return std::atoi(LToUtf8(text).c_str()) == 1;
}

int LDbAppSettingsGetSendDailyLimit(LAppDatabaseAccount& db) {
    LAppDatabaseCursor cursor;
    if (!LDbAppSettingsGet(db, u"SendDailyLimit", cursor)) return 10;
    char16_t text[260];
    cursor.GetColumnText(0, u"", text);
    return std::atoi(LToUtf8(text).c_str());
}

void LDbAppSettingsSetNoDefault(LAppDatabaseAccount& db, const char16_t* item, const char16_t* value) {
    char16_t now[260];
    LDbAppSettingsNowText(now);
    LString sql;
    sql.Reserve(1024);
    sql.Format(u"INSERT INTO %s.APPSETTINGS (SECTION, ITEM, VALUE, UPDATED) VALUES ('%Q', '%Q', '%Q', '%s') ON "
               u"CONFLICT(SECTION, ITEM) DO UPDATE SET VALUE = excluded.VALUE, UPDATED = excluded.UPDATED;",
               u"main", kSection, item, value, now);
    if (!db.Exec(sql.c_str())) LogWithDbError(db, "LDbAppSettingsSetNoDefault: Insert failed.");
}

void LDbAppSettingsDelete(LAppDatabaseAccount& db, const char16_t* item) {
    char16_t now[260];
    LDbAppSettingsNowText(now);
    LString sql;
    sql.Reserve(1024);
    sql.Format(u"INSERT INTO %s.APPSETTINGS (SECTION, ITEM, VALUE, UPDATED) VALUES ('%Q', '%Q', NULL, '%s') ON "
               u"CONFLICT(SECTION, ITEM) DO UPDATE SET VALUE = excluded.VALUE, UPDATED = excluded.UPDATED;",
               u"main", kSection, item, now);
    if (!db.Exec(sql.c_str())) LogWithDbError(db, "LDbAppSettingsDelete: Insert failed.");
}

bool LDbAppSettingsIsReadOnlySection(const char16_t* section) {
    std::u16string_view s(section);
    return s == u"UsageCredits" || s == u"EmailFreeSendUsage";
}

bool LDbAppSettingsIsRestrictedSection(const char16_t* section) {
    std::u16string_view s(section);
    return s == u"ServerConfig" || s == u"SystemSettings";
}
