#include "web/http/app_settings_write.h"

#include <cinttypes>
#include <cstdio>

#include "foundation/app_settings.h"
#include "foundation/json_value.h"
#include "foundation/log.h"
#include "foundation/utf8.h"
#include "web/http/weblet.h"

namespace {

bool Refuse(Weblet& request, const char* log, int code, const char* reason) {
    LLog(log, LLogError);
    request.SendStatus(code, reason);
    return false;
}

// The text of VALUE as the row stores it; false for null.
bool ValueText(const LJsonValue* v, LString& out) {
    out.Clear();
    if (!v) return true;
    switch (v->kind) {
    case LJsonNull:
        return false;
    case LJsonString:
        out.SetUtf8N(v->text.c_str(), v->text.length);
        return true;
    case LJsonNumber: {
        // A double goes in truncated toward zero, as a 64-bit integer.
        int64_t n = v->subkind == LJsonDouble ? static_cast<int64_t>(v->payload.d) : v->payload.i;
        char text[32];
        std::snprintf(text, sizeof text, "%" PRId64, n);
        out.SetUtf8(text);
        return true;
    }
    case LJsonBool:
        out.SetUtf8(v->payload.b ? "1" : "0");
        return true;
    default:
        return true;
    }
}

}  // namespace

bool LDbAppSettingsWrite(Weblet& request, const LJsonValue& body) {
    const LJsonValue* section_value = body.FindMember("section");
    if (!section_value || !section_value->IsString())
        return Refuse(request, "LDbAppSettingsWrite: Missing section parameter.", 400, "Missing section parameter");
    char16_t section[260];
    LUTF8ToWideBuf(section, section_value->text.c_str());
    if (!section[0] || LDbAppSettingsIsReadOnlySection(section) || LDbAppSettingsIsRestrictedSection(section))
        return Refuse(request, "LDbAppSettingsWrite: Write to read-only or restricted section rejected.", 403,
                      "Forbidden. Section is read-only.");
    const LJsonValue* items = body.FindMember("items");
    if (items && items->kind != LJsonArray)
        return Refuse(request, "LDbAppSettingsWrite: Invalid items parameter.", 400, "Invalid items parameter");

    char16_t now[260];
    LDbAppSettingsNowText(now);
    LString sql;
    sql.Reserve(2048);
    sql.Format(u"INSERT INTO %s.APPSETTINGS (SECTION, ITEM, VALUE, UPDATED) VALUES ", u"main");
    size_t rows = items ? items->count : 0;
    for (size_t i = 0; i < rows; ++i) {
        const LJsonValue& element = items->elements[i];
        const LJsonValue* item_value = element.kind == LJsonObject ? element.FindMember("ITEM") : nullptr;
        if (!item_value || !item_value->IsString())
            return Refuse(request, "LDbAppSettingsWrite: Invalid set parameter, item required.", 400,
                          "Invalid set parameter, item required");
        char16_t item[260];
        LUTF8ToWideBuf(item, item_value->text.c_str());
        LString value;
        bool has_value = ValueText(element.FindMember("VALUE"), value);
        if (i > 0) sql.Append(u", ");
        if (has_value) {
            sql.AppendFormat(u"('%Q', '%Q', '%Q', '%s')", section, item, value.c_str(), now);
        } else {
            sql.AppendFormat(u"('%Q', '%Q', NULL, '%s')", section, item, now);
        }
    }
    if (rows > 0) {
        sql.Append(u" ON CONFLICT(SECTION, ITEM) DO UPDATE SET VALUE = excluded.VALUE, UPDATED = excluded.UPDATED;");
        if (!request.database.Exec(sql.c_str())) {
            char16_t error[260];
            request.database.GetLastErrorText(error);
            LLogErrorWithDetail("LDbAppSettingsWrite: Insert failed.", LToUtf8(error).c_str());
            request.SendStatus(500, "Error inserting appsetting");
            return false;
        }
    }
    return request.Printf("HTTP/1.1 200 OK\r\nCache-Control: no-cache\r\nContent-Length: 0\r\n\r\n");
}
