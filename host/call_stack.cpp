#include "host/call_stack.h"

#include <unwind.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "foundation/format.h"
#include "foundation/log.h"
#include "foundation/lstring.h"
#include "foundation/reg_settings.h"
#include "foundation/thread_table.h"
#include "foundation/time_source.h"

namespace {

constexpr size_t kMaxAddresses = 6;
constexpr size_t kMaxQuery = 259;
constexpr const char16_t* kSection = u"RDF";

struct Walk {
    std::vector<uintptr_t> addresses;
    size_t skip = 1;  // the walker's own frame, and the caller's choice
};

_Unwind_Reason_Code OnFrame(_Unwind_Context* context, void* arg) {
    Walk& walk = *static_cast<Walk*>(arg);
    uintptr_t pc = _Unwind_GetIP(context);
    if (walk.skip > 0) {
        --walk.skip;
        return _URC_NO_REASON;
    }
    if (pc == 0) return _URC_END_OF_STACK;
    walk.addresses.push_back(pc);
    return walk.addresses.size() < kMaxAddresses ? _URC_NO_REASON : _URC_END_OF_STACK;
}

struct Record {
    std::u16string id, thread, stack;
    int64_t time = 0;
};

bool ReadRecord(bool machine, Record& r) {
    char16_t v[260] = {0};
    auto get = [&](const char16_t* name, std::u16string& out) {
        v[0] = 0;
        if (machine)
            LRegSettingsGet(kSection, name, u"", v);
        else
            LRegUserSettingsGet(kSection, name, u"", v);
        out = v;
    };
    std::u16string time;
    get(u"Time", time);
    if (time.empty()) return false;
    r.time = std::strtoll(LToUtf8(time.c_str()).c_str(), nullptr, 10);
    get(u"ID", r.id);
    get(u"Thread", r.thread);
    get(u"CallStack", r.stack);
    return true;
}

void AppendEncoded(LStringA& out, const std::u16string& value) { LUtf8AppendUrlEncoded(out, value.c_str()); }

}  // namespace

size_t LUrlEncodedCut(const std::string& text, size_t max) {
    if (text.size() <= max) return text.size();
    // Walks whole characters: an escape is one byte, and a UTF-8 sequence
    // spread over several escapes ends only after its last one.
    size_t cut = 0, i = 0;
    int pending = 0;
    while (i < text.size()) {
        unsigned byte;
        size_t len = 1;
        if (text[i] == '%' && i + 2 < text.size() && std::sscanf(text.c_str() + i + 1, "%2x", &byte) == 1)
            len = 3;
        else
            byte = static_cast<unsigned char>(text[i]);
        if (i + len > max) break;
        i += len;
        if (pending > 0 && (byte & 0xC0) == 0x80)
            --pending;
        else
            pending = byte >= 0xF0 ? 3 : byte >= 0xE0 ? 2 : byte >= 0xC0 ? 1 : 0;
        if (pending == 0) cut = i;
    }
    return cut;
}

std::vector<uintptr_t> LCallStackAddresses(size_t skip) {
    Walk walk;
    walk.skip += skip;
    _Unwind_Backtrace(OnFrame, &walk);
    return walk.addresses;
}

std::string LCallStackAddressText(const std::vector<uintptr_t>& addresses) {
    std::string out;
    char buf[32];
    for (size_t i = 0; i < addresses.size(); ++i) {
        std::snprintf(buf, sizeof buf, i ? "-%llx" : "%llx", static_cast<unsigned long long>(addresses[i]));
        out += buf;
    }
    return out;
}

namespace {

// The recorder behind LDebugSaveCallStack. Its own frame is left out, so
// the record starts where the failure was met.
__attribute__((noinline)) void SaveCallStack(const char* message) {
    std::string stack = LCallStackAddressText(LCallStackAddresses(1));
    char tag[5];
    std::string thread = LThreadGetTag(tag) && tag[0] ? tag : "Unnamed";
    std::string id = message && *message ? message : "Unknown";
    std::string time = std::to_string(static_cast<long long>(LNow()));
    auto set = LGetServiceFlag() ? LRegSettingsSet : LRegUserSettingsSet;
    set(kSection, u"ID", LFromUtf8(id).c_str());
    set(kSection, u"Time", LFromUtf8(time).c_str());
    set(kSection, u"Thread", LFromUtf8(thread).c_str());
    set(kSection, u"CallStack", LFromUtf8(stack).c_str());
}

// Registered before main: the lower layers record from their first line on.
[[maybe_unused]] const bool g_recorder_registered = (LSetCallStackRecorder(SaveCallStack), true);

}  // namespace

std::string LDebugGetCallStackQuery() {
    Record user, machine;
    bool has_user = ReadRecord(false, user), has_machine = ReadRecord(true, machine);
    if (!has_user && !has_machine) return "";
    const Record& r = !has_machine || (has_user && user.time > machine.time) ? user : machine;
    LStringA q;
    q.Append("id=");
    AppendEncoded(q, r.id);
    q.Append("&th=");
    AppendEncoded(q, r.thread);
    q.Append("&cs=");
    AppendEncoded(q, r.stack);
    std::string out(q.c_str());
    out.resize(LUrlEncodedCut(out, kMaxQuery));
    return out;
}
