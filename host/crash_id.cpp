#include "host/crash_id.h"

#include <atomic>

#include "foundation/thread_table.h"
#include "platform/thread.h"

namespace {

// Plain atomics and no allocation: the crash path reads them from a signal
// handler.
std::atomic<int> g_main_thread{0};
std::atomic<int32_t> g_state{LMainStateGlobalInit};
std::atomic<uint32_t> g_message{0};
std::atomic<uint32_t> g_last_command{5};

// A bounded text builder that a signal handler may use.
struct Out {
    char* p;
    size_t left;
    void Add(const char* s) {
        while (s && *s && left > 1) {
            *p++ = *s++;
            --left;
        }
        *p = 0;
    }
    void AddInt(int64_t v) {
        char buf[24];
        int n = 0;
        bool neg = v < 0;
        uint64_t u = neg ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
        do {
            buf[n++] = static_cast<char>('0' + u % 10);
            u /= 10;
        } while (u);
        if (neg) buf[n++] = '-';
        char rev[24];
        for (int i = 0; i < n; ++i) rev[i] = buf[n - 1 - i];
        rev[n] = 0;
        Add(rev);
    }
};

}  // namespace

void LCrashSetMainThread() { g_main_thread = LPlatformThreadId(); }
void LCrashSetMainState(int32_t state) { g_state = state; }
void LCrashSetCurrentMessage(uint32_t message) { g_message = message; }
void LCrashSetLastCommand(uint32_t command) { g_last_command = command; }

void LCrashGetThreadState(char out[260]) {
    Out o{out, 260};
    out[0] = 0;
    int self = LPlatformThreadId();
    LThreadTableEntry e;
    if (!LThreadTableFindForCrash(self, e)) {
        o.Add("Unknown");
    } else {
        // A generated tag (the id's digits) says nothing.
        if (!(e.tag[0] >= '0' && e.tag[0] <= '9')) o.Add(e.tag);
        o.Add(e.activity);
    }
    if (self != g_main_thread.load()) return;
    switch (int32_t s = g_state.load()) {
    case LMainStateGlobalInit: o.Add("GloIni1"); break;
    case LMainStateGuiInit: o.Add("GuiIni2"); break;
    case LMainStateGuiDestroy: o.Add("GuiDes3"); break;
    case LMainStateGlobalDestroy: o.Add("GloDes4"); break;
    case LMainStateMessageLoop:
        o.Add("Ukn0(Msg");
        o.AddInt(g_message.load());
        o.Add("LstCmd");
        o.AddInt(g_last_command.load());
        o.Add(")");
        break;
    default:
        o.Add("(Cmd");
        o.AddInt(s);
        o.Add(")");
    }
}

int32_t LCrashGetMainState() { return g_state.load(); }

void LCrashJoinId(char out[260], const char* prefix, const char* suffix, const char* thread_state) {
    Out o{out, 260};
    out[0] = 0;
    o.Add(prefix);
    // The version questions answer as Windows 10.0 here, and never Wine.
    o.Add("-Win100-");
    o.Add(suffix);
    o.Add("-");
    o.Add(thread_state);
}

void LCrashGetId(char out[260], const char* prefix, const char* suffix) {
    char thread_state[260];
    LCrashGetThreadState(thread_state);
    LCrashJoinId(out, prefix, suffix, thread_state);
}
