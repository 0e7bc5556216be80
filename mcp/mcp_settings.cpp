#include "mcp/mcp_settings.h"

#include <cerrno>
#include <cstdlib>

#include "foundation/app_settings.h"
#include "foundation/utf8.h"

namespace {

// The integer at the start of a stored value, as the C library reads it
// (leading blanks and a sign allowed, anything after the digits ignored).
long long LeadingInteger(const LString& value, bool* ok) {
    std::string text = LToUtf8(value);
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 10);
    *ok = end != text.c_str() && errno == 0;
    return v;
}

}  // namespace

bool LMcpSettingRead(LAppDatabaseAccount& db, const char16_t* item, LString& value, bool* present) {
    value.Clear();
    if (present) *present = false;
    if (!db.handle) return false;
    LString sql;
    sql.Format(u"SELECT VALUE FROM %s.APPSETTINGS WHERE VALUE IS NOT NULL AND SECTION = 'MCP' AND ITEM = '%Q' LIMIT 1;",
               u"main", item);
    sqlite3_stmt* st = nullptr;
    if (db.Prepare(sql.c_str(), &st) != SQLITE_OK || !st) {
        if (st) sqlite3_finalize(st);
        return false;
    }
    int rc = sqlite3_step(st);
    if (rc == SQLITE_ROW) {
        if (present) *present = true;
        const unsigned char* t = sqlite3_column_text(st, 0);
        if (t) value.SetUtf8N(reinterpret_cast<const char*>(t), static_cast<size_t>(sqlite3_column_bytes(st, 0)));
    }
    bool ok = (rc == SQLITE_ROW || rc == SQLITE_DONE) && sqlite3_finalize(st) == SQLITE_OK;
    if (!ok) {
        value.Clear();
        if (present) *present = false;
    }
    return ok;
}

bool LMcpSettingBool(LAppDatabaseAccount& db, const char16_t* item, bool def, bool* ok) {
    LString value;
    bool present = false;
    bool read = LMcpSettingRead(db, item, value, &present);
    if (ok) *ok = read;
    if (!read || !present) return def;
    bool number = false;
    return LeadingInteger(value, &number) == 1 && number;
}

bool LMcpSettingWrite(LAppDatabaseAccount& db, const char16_t* item, const char16_t* value) {
    if (!db.handle) return false;
    char16_t now[260];
    LDbAppSettingsNowText(now);
    LString sql;
    if (value) {
        sql.Format(u"INSERT INTO %s.APPSETTINGS (SECTION, ITEM, VALUE, UPDATED) VALUES ('MCP', '%Q', '%Q', '%Q') ON "
                   u"CONFLICT(SECTION, ITEM) DO UPDATE SET VALUE = excluded.VALUE, UPDATED = excluded.UPDATED;",
                   u"main", item, value, now);
    } else {
        sql.Format(u"INSERT INTO %s.APPSETTINGS (SECTION, ITEM, VALUE, UPDATED) VALUES ('MCP', '%Q', NULL, '%Q') ON "
                   u"CONFLICT(SECTION, ITEM) DO UPDATE SET VALUE = excluded.VALUE, UPDATED = excluded.UPDATED;",
                   u"main", item, now);
    }
    return db.Exec(sql.c_str()) && sqlite3_changes(db.handle) > 0;
}

int LMcpSendDailyLimit(LAppDatabaseAccount& db) {
    LString value;
    if (!LMcpSettingRead(db, u"SendDailyLimit", value) || value.IsEmpty()) return 10;
    bool number = false;
    long long v = LeadingInteger(value, &number);
    if (!number || v < 1) return 10;
    return v > 2147483647 ? 2147483647 : static_cast<int>(v);
}
