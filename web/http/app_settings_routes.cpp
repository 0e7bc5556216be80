// The routes lappsettings-read and lappsettings-write: the browser
// interface's own settings in APPSETTINGS. The MCP secrets in the same table
// can be neither read nor written here: reading would hand out the MCP key,
// writing would replace it.
#include <cstring>
#include <string>

#include "foundation/date_time.h"
#include "foundation/json_value.h"
#include "foundation/log.h"
#include "foundation/utf8.h"
#include "web/http/app_settings_write.h"
#include "web/http/db_table.h"
#include "web/http/routes.h"
#include "web/http/weblet.h"

namespace {

constexpr const char* kSecretSection = "MCP";
constexpr const char* kSecretItems[] = {"StdioAuthorization", "StdioAuthorizationHash", "BearerAuthKeyHash"};
constexpr const char* kUnreadable[] = {"ServerConfig", "SystemSettings"};

bool IsSecretItem(const char* section, const char* item) {
    if (std::strcmp(section, kSecretSection) != 0) return false;
    for (const char* s : kSecretItems)
        if (std::strcmp(s, item) == 0) return true;
    return false;
}

// "YYYY-MM-DD HH:MM:SS", the form of UPDATED.
bool IsTimeStamp(const LStringA& t) {
    static const char kShape[] = "0000-00-00 00:00:00";
    if (t.length != sizeof kShape - 1) return false;
    for (size_t i = 0; i < t.length; ++i) {
        char c = t.c_str()[i];
        bool ok = kShape[i] == '0' ? (c >= '0' && c <= '9') : c == kShape[i];
        if (!ok) return false;
    }
    return true;
}

// Session first, then the host check: a caller without a session learns
// nothing about the host rule.
bool Admit(Weblet& request, const char* who) {
    if (!request.session.HasSession()) {
        LLogErrorF("%s: Unauthorized.", who);
        request.SendStatus(401, "Unauthorized");
        return false;
    }
    if (!request.IsCSRFSafe()) {
        LLogErrorF("%s: Host not matched.", who);
        request.SendStatus(403, "Forbidden. Host not matched.");
        return false;
    }
    return true;
}

void LDbAppSettingsWriteRoute(Weblet& request, LJsonValue& body) {
    if (!Admit(request, "LDbAppSettingsWrite")) return;
    const LJsonValue* section = body.FindMember("section");
    const LJsonValue* items = body.FindMember("items");
    if (section && section->IsString() && items && items->kind == LJsonArray) {
        for (size_t i = 0; i < items->count; ++i) {
            const LJsonValue* item = items->elements[i].kind == LJsonObject ? items->elements[i].FindMember("ITEM")
                                                                             : nullptr;
            if (item && item->IsString() && IsSecretItem(section->text.c_str(), item->text.c_str())) {
                LLogWrite("LDbAppSettingsWrite: Write of a protected item rejected.", LLogError);
                request.SendStatus(403, "Forbidden. Item is not writable.");
                return;
            }
        }
    }
    LDbAppSettingsWrite(request, body);
}

}  // namespace

static bool LDbAppSettingsReadSection(LAppDatabaseAccount& db, LStringA& json, const char* section, const char* last_read,
                               std::string& error) {
    LStringA sql;
    sql.Format("SELECT ITEM, VALUE, UPDATED FROM main.APPSETTINGS WHERE SECTION = '%Q'", section);
    if (*last_read) sql.AppendFormat(" AND UPDATED >= '%Q'", last_read);
    if (std::strcmp(section, kSecretSection) == 0) {
        sql.Append(" AND ITEM NOT IN (");
        for (size_t i = 0; i < sizeof kSecretItems / sizeof kSecretItems[0]; ++i)
            sql.AppendFormat("%s'%s'", i ? "," : "", kSecretItems[i]);
        sql.Append(")");
    }
    sql.Append(";");
    return LWebDbTableWriteRowsNamed(db, sql.c_str(), "items", json, error);
}

// 200 when the reply was sent; else the status and reason for the caller.
int LDbAppSettingsRead(Weblet& request, const LJsonValue& body, std::string& reason) {
    char16_t now[260] = {0};
    LNowDateTimeUTC(now);
    LStringA json;
    json.AppendFormat("{\"timestamp\":\"%J\",\"sections\":[", LToUtf8(now).c_str());
    const LJsonValue* sections = body.FindMember("sections");
    size_t n = sections && sections->kind == LJsonArray ? sections->count : 0;
    for (size_t i = 0; i < n; ++i) {
        const LJsonValue& e = sections->elements[i];
        const LJsonValue* name = e.kind == LJsonObject ? e.FindMember("name") : nullptr;
        if (!name || !name->IsString()) {
            LLogWrite("LDbAppSettingsRead: Invalid parameter, name required.", LLogError);
            reason = "Invalid parameter, name required";
            return 400;
        }
        bool unreadable = name->text.length == 0 || name->text.length > LWebDbTableMaxText;
        for (const char* s : kUnreadable) unreadable = unreadable || std::strcmp(s, name->text.c_str()) == 0;
        if (unreadable) {
            LLogWrite("LDbAppSettingsRead: Read of restricted section rejected.", LLogError);
            reason = "Forbidden. Section is not readable.";
            return 403;
        }
        const LJsonValue* last = e.FindMember("lastread");
        LStringA last_read;
        if (last && last->IsString() && last->text.length) {
            if (!IsTimeStamp(last->text)) {
                LLogWrite("LDbAppSettingsRead: Invalid lastread parameter.", LLogError);
                reason = "Invalid lastread parameter";
                return 400;
            }
            last_read.AppendString(last->text);
        }
        if (i) json.AppendChar(',');
        json.AppendFormat("{\"section\":\"%J\",", name->text.c_str());
        std::string error;
        if (!LDbAppSettingsReadSection(request.database, json, name->text.c_str(), last_read.c_str(), error)) {
            LLogErrorWithDetail("LDbAppSettingsRead: Query failed.", error.c_str());
            reason = "Query failed";
            return 500;
        }
        json.AppendChar('}');
    }
    json.Append("],\"errorcode\":200,\"errormsg\":\"OK\"}");
    request.SendJson(json.c_str(), json.length);
    return 200;
}

namespace {

void LDbAppSettingsReadRoute(Weblet& request, LJsonValue& body) {
    if (!Admit(request, "LDbAppSettingsRead")) return;
    std::string reason;
    int status = LDbAppSettingsRead(request, body, reason);
    if (status != 200) request.SendStatus(status, reason.c_str());
}

[[maybe_unused]] const LWebletRoute* g_read = LWebletRegisterJsonRoute(u"lappsettings-read", LDbAppSettingsReadRoute, 1);
[[maybe_unused]] const LWebletRoute* g_write =
    LWebletRegisterJsonRoute(u"lappsettings-write", LDbAppSettingsWriteRoute, 1);

}  // namespace
