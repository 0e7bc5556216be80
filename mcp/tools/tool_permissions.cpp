#include <cstdlib>
#include <mutex>
#include <string_view>

#include "foundation/date_time.h"
#include "foundation/utf8.h"
#include "mail/store/store_transaction.h"
#include "mcp/mcp_settings.h"
#include "mcp/tools/tool_framework.h"

namespace {

// The quota lock: slots are taken and given back one at a time within the
// process, and the transaction orders them against other processes.
std::mutex g_quota_lock;

constexpr const char16_t* kDateItem = u"SendQuotaDateUTC";
constexpr const char16_t* kCountItem = u"SendQuotaCount";

// The stored day and count; false when they could not be read.
bool ReadCounter(LAppDatabaseAccount& db, LString& date, int32_t* count) {
    LString text;
    if (!LMcpSettingRead(db, kDateItem, date) || !LMcpSettingRead(db, kCountItem, text)) return false;
    long v = std::strtol(LToUtf8(text).c_str(), nullptr, 10);
    *count = v < 0 ? 0 : v > 2147483647L ? 2147483647 : static_cast<int32_t>(v);
    return true;
}

bool WriteCounter(LAppDatabaseAccount& db, const char16_t* date, int32_t count) {
    char16_t text[32];
    LFormatEscPathW(text, u"%d", count);
    return LMcpSettingWrite(db, kDateItem, date) && LMcpSettingWrite(db, kCountItem, text);
}

}  // namespace

bool LMcpCheckMoveEnabled(LJsonWriter& answer, LAppDatabaseAccount& db, const char16_t* tool) {
    if (LMcpSettingBool(db, u"MoveEnabled", false)) return true;
    LMcpWriteToolErrorF(answer, u"%s is disabled. Enable MCP %s on the MCP page first.", tool, u"move actions");
    return false;
}

bool LMcpTakeSendQuota(LJsonWriter& answer, LAppDatabaseAccount& db, const char16_t* tool, int32_t* limit,
                       int32_t* used_today, LMcpSendSlot* slot) {
    char16_t today[260];
    LTodayDateUTC(today);
    *limit = LMcpSendDailyLimit(db);
    *used_today = 0;
    if (!LMcpSettingBool(db, u"SendEnabled", false)) {
        LMcpWriteToolErrorF(answer, u"%s is disabled. Enable MCP send actions on the MCP page first.", tool);
        return false;
    }
    std::lock_guard<std::mutex> guard(g_quota_lock);
    LStoreTransaction transaction(db);
    LString date;
    int32_t count = 0;
    if (!transaction.Began() || !ReadCounter(db, date, &count)) {
        LMcpWriteToolErrorF(answer, u"%s could not read the MCP daily send count.", tool);
        return false;
    }
    int32_t used = !date.IsEmpty() && date.View() == std::u16string_view(today) ? count : 0;
    *used_today = used;
    if (used >= *limit) {
        LMcpWriteToolErrorF(answer,
                            u"%s cannot send more mail today because the MCP daily send limit of %d has been reached.",
                            tool, *limit);
        return false;
    }
    // A slot counts only once it is stored: a send must never go out uncounted.
    if (!WriteCounter(db, today, used + 1) || !transaction.Commit()) {
        LMcpWriteToolErrorF(answer, u"%s could not record the MCP daily send count.", tool);
        return false;
    }
    *used_today = used + 1;
    LCopyField(slot->date_utc, today);
    return true;
}

void LMcpReturnSendQuota(LAppDatabaseAccount& db, const LMcpSendSlot& slot) {
    std::lock_guard<std::mutex> guard(g_quota_lock);
    LStoreTransaction transaction(db);
    LString date;
    int32_t count = 0;
    if (!transaction.Began() || !ReadCounter(db, date, &count)) return;
    if (count <= 0 || date.View() != std::u16string_view(slot.date_utc)) return;
    if (WriteCounter(db, slot.date_utc, count - 1)) transaction.Commit();
}

void LMcpGetSendQuota(LAppDatabaseAccount& db, bool* send_enabled, int32_t* limit, int32_t* used_today,
                      char16_t today[16]) {
    char16_t now[260];
    LTodayDateUTC(now);
    for (int i = 0; i < 16; ++i) today[i] = i < 15 ? now[i] : 0;
    *send_enabled = LMcpSettingBool(db, u"SendEnabled", false);
    *limit = LMcpSendDailyLimit(db);
    LString date;
    int32_t count = 0;
    std::lock_guard<std::mutex> guard(g_quota_lock);
    *used_today = ReadCounter(db, date, &count) && date.View() == std::u16string_view(now) ? count : 0;
}

void LMcpWriteSendQuota(LJsonWriter& answer, int32_t limit, int32_t used_today) {
    answer.BeginObjectNamed("send_quota");
    answer.Int("daily_limit", limit);
    answer.Int("used_today", used_today);
    int64_t remaining = static_cast<int64_t>(limit) - used_today;
    answer.Int("remaining_today", remaining < 0 ? 0 : static_cast<int32_t>(remaining));
    answer.EndObject();
}
