#include "mcp/tools/tool_framework.h"

void LMcpWriteColumn(LJsonWriter& json, const char* name, LAppDatabaseCursor& cursor, uint64_t index) {
    LStringA text;
    cursor.GetColumnTextA(index, text);
    if (json.needComma) json.out_raw->AppendBulk(",", 1);
    json.out_raw->AppendFormat("\"%J\":\"%J\"", name, text);
    json.needComma = 1;
}

void LMcpWriteColumnField(LJsonWriter& json, const char* name, LAppDatabaseCursor& cursor, uint64_t index) {
    char16_t field[260];
    cursor.GetColumnText(index, u"", field);
    json.String(name, field);
}

void LMcpWriteColumnInt64(LJsonWriter& json, const char* name, LAppDatabaseCursor& cursor, uint64_t index) {
    json.Int64(name, cursor.GetColumnInt64(index));
}
