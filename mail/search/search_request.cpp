// Reading the search request: texts cut to 259 units, numbers as 64-bit
// integers, and the two times also as decimal strings.
#include <iterator>

#include "foundation/json_value.h"
#include "mail/search/email_search.h"

namespace {

bool ReadNumber(const LJsonValue& body, const char* name, int64_t& out, bool strings_too) {
    const LJsonValue* v = body.FindMember(name);
    if (!v) return false;
    if (v->IsNumber()) {
        out = v->AsInt64();  // a double is cut, clamped to the 64-bit range
        return true;
    }
    if (!strings_too || !v->IsString() || v->text.length == 0 || v->text.length > 19) return false;
    const char* p = v->text.c_str();
    bool negative = *p == '-';
    if (negative) ++p;
    if (!*p) return false;
    int64_t value = 0;
    for (; *p; ++p) {
        if (*p < '0' || *p > '9') return false;
        value = value * 10 + (*p - '0');  // 18 digits at most: no overflow
    }
    out = negative ? -value : value;
    return true;
}

int32_t Clamp(int64_t v, int32_t low, int32_t high) {
    return static_cast<int32_t>(v < low ? low : v > high ? high : v);
}

}  // namespace

void LEmailSearchReadRequest(const LJsonValue& body, LEmailSearchRequest& r) {
    char16_t* const texts[] = {r.query, r.scope, r.sort,    r.account_id, r.mailbox_id, r.mailbox_name,
                               r.from,  r.to,    r.subject, r.body,       r.filename,   r.flags};
    static const char* const kNames[] = {"query", "scope", "sort",    "account_id", "mailbox_id", "mailbox_name",
                                         "from",  "to",    "subject", "body",       "filename",   "flags"};
    for (size_t i = 0; i < std::size(kNames); ++i) body.GetMemberText(kNames[i], texts[i]);
    int64_t n = 0;
    if (ReadNumber(body, "limit", n, false)) r.limit = Clamp(n, 1, 100);
    if (ReadNumber(body, "offset", n, false)) r.offset = Clamp(n, 0, 10000);
    r.has_after = ReadNumber(body, "after_utc", r.after_utc, true);
    r.has_before = ReadNumber(body, "before_utc", r.before_utc, true);
    const LJsonValue* a = body.FindMember("has_attachments");
    if (a && (a->kind == LJsonBool || a->IsNumber())) {
        r.has_attachments_given = true;
        r.has_attachments = a->kind == LJsonBool ? a->payload.b : a->AsDouble() != 0;
    }
}
