#include <cmath>

#include "foundation/utf8.h"
#include "mcp/tools/tool_framework.h"

bool LMcpGetTextArg(const LJsonValue& args, const char* name, char16_t out[260]) {
    out[0] = 0;
    const LJsonValue* v = args.kind == LJsonObject ? args.FindMember(name) : nullptr;
    if (!v || !v->IsString()) return false;
    LString wide;
    wide.SetUtf8N(v->text.c_str(), v->text.length);
    if (wide.length > 259) return false;
    LCopyField(out, wide.c_str());
    return true;
}

bool LMcpGetStringArg(const LJsonValue& args, const char* name, LString& out) {
    out.Clear();
    const LJsonValue* v = args.kind == LJsonObject ? args.FindMember(name) : nullptr;
    if (!v || !v->IsString()) return false;
    out.SetUtf8N(v->text.c_str(), v->text.length);
    return true;
}

bool LMcpGetIntArg(const LJsonValue& args, const char* name, int64_t lo, int64_t hi, int64_t def, int64_t* out) {
    *out = def;
    const LJsonValue* v = args.kind == LJsonObject ? args.FindMember(name) : nullptr;
    if (!v || !v->IsNumber()) return false;
    if (v->subkind == LJsonInt64) {
        int64_t i = v->payload.i;
        *out = i < lo ? lo : i > hi ? hi : i;
        return true;
    }
    double d = std::trunc(v->payload.d);
    if (std::isnan(d)) return false;
    // Compared as doubles before any conversion: both bounds convert exactly
    // enough for a clamp, and an out-of-range cast never happens.
    if (d <= static_cast<double>(lo)) {
        *out = lo;
    } else if (d >= static_cast<double>(hi)) {
        *out = hi;
    } else {
        *out = static_cast<int64_t>(d);
    }
    return true;
}

bool LMcpGetTimeArg(const LJsonValue& args, const char* name, int64_t* out) {
    // The largest double below 2^63 keeps the clamp inside the range.
    constexpr int64_t kLimit = INT64_C(9223372036854774784);
    return LMcpGetIntArg(args, name, -kLimit, kLimit, 0, out);
}

bool LMcpGetTrueArg(const LJsonValue& args, const char* name) {
    const LJsonValue* v = args.kind == LJsonObject ? args.FindMember(name) : nullptr;
    return v && v->kind == LJsonBool && v->payload.b;
}

void LMcpTrimSpaces(char16_t text[260]) {
    size_t n = LTextLength(text);
    size_t start = 0;
    while (start < n && text[start] == u' ') ++start;
    while (n > start && text[n - 1] == u' ') --n;
    for (size_t i = start; i < n; ++i) text[i - start] = text[i];
    text[n - start] = 0;
}

void LMcpResolveAccountId(LAppDatabaseAccount& db, const LJsonValue& args, char16_t out[260]) {
    LMcpGetTextArg(args, "account_id", out);
    LMcpTrimSpaces(out);
    if (out[0]) return;
    char16_t email[260];
    LMcpGetTextArg(args, "account_email", email);
    LMcpTrimSpaces(email);
    if (!email[0]) return;
    LCopyField(out, email);
    LAppDatabaseCursor c;
    c.QueryF(db, u"SELECT ID FROM %s.EMAILACCOUNTS WHERE DELETED IS NULL AND UPPER(EMAIL)=UPPER('%Q') LIMIT 1;",
             u"main", email);
    if (c.HasRow()) c.GetColumnText(0, email, out);
}
