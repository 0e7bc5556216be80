#include "mcp/tools/message_cursor.h"

#include <cstdint>

#include "mcp/tools/tool_framework.h"

namespace {

bool ParseDigits(const LStringA& text, int64_t* out) {
    if (text.length == 0) return false;
    uint64_t v = 0;
    for (uint64_t i = 0; i < text.length; ++i) {
        char c = text.buffer[i];
        if (c < '0' || c > '9') return false;
        uint64_t d = static_cast<uint64_t>(c - '0');
        if (v > (static_cast<uint64_t>(INT64_MAX) - d) / 10) return false;
        v = v * 10 + d;
    }
    *out = static_cast<int64_t>(v);
    return true;
}

}  // namespace

bool LMcpMessageCursorParse(const LJsonValue& args, LMcpMessageCursor& cursor) {
    cursor = LMcpMessageCursor();
    const LJsonValue* c = args.kind == LJsonObject ? args.FindMember("cursor") : nullptr;
    if (!c) return true;
    if (c->kind != LJsonObject) return false;
    const LJsonValue& received = c->Member("received_utc");
    if (received.IsNumber()) {
        if (received.subkind != LJsonInt64 || received.payload.i < 0) return false;
        cursor.received_utc = received.payload.i;
    } else if (!received.IsString() || !ParseDigits(received.text, &cursor.received_utc)) {
        return false;
    }
    if (!LMcpGetTextArg(*c, "email_id", cursor.email_id)) return false;
    LMcpTrimSpaces(cursor.email_id);
    if (!cursor.email_id[0]) return false;
    cursor.present = true;
    return true;
}

void LMcpMessageCursorWrite(LJsonWriter& json, int64_t received_utc, const char16_t* email_id) {
    json.BeginObjectNamed("next_cursor");
    json.Int64("received_utc", received_utc);
    json.String("email_id", email_id);
    json.EndObject();
}
