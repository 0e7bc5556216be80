#include "host/crash_id.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

#include "foundation/thread_table.h"
#include "platform/thread.h"

namespace {

// Plain atomics: the crash path reads them from a signal handler.
std::atomic<int> g_main_thread{0};
std::atomic<int32_t> g_state{LMainStateGlobalInit};
std::atomic<uint32_t> g_message{0};
std::atomic<uint32_t> g_last_command{5};

std::string ThreadPart() {
    LThreadTableEntry entries[LThreadTableSize];
    size_t n = LThreadTableSnapshot(entries, LThreadTableSize);
    int self = LPlatformThreadId();
    for (size_t i = 0; i < n; ++i) {
        if (entries[i].thread_id != self) continue;
        // A generated tag (the id's digits) says nothing.
        std::string tag = entries[i].tag[0] >= '0' && entries[i].tag[0] <= '9' ? "" : entries[i].tag;
        return tag + entries[i].activity;
    }
    return "Unknown";
}

std::string StatePart() {
    if (LPlatformThreadId() != g_main_thread.load()) return "";
    char buf[64];
    switch (int32_t s = g_state.load()) {
    case LMainStateGlobalInit: return "GloIni1";
    case LMainStateGuiInit: return "GuiIni2";
    case LMainStateGuiDestroy: return "GuiDes3";
    case LMainStateGlobalDestroy: return "GloDes4";
    case LMainStateMessageLoop:
        std::snprintf(buf, sizeof buf, "Ukn0(Msg%uLstCmd%u)", g_message.load(), g_last_command.load());
        return buf;
    default:
        std::snprintf(buf, sizeof buf, "(Cmd%d)", s);
        return buf;
    }
}

}  // namespace

void LCrashSetMainThread() { g_main_thread = LPlatformThreadId(); }
void LCrashSetMainState(int32_t state) { g_state = state; }
void LCrashSetCurrentMessage(uint32_t message) { g_message = message; }
void LCrashSetLastCommand(uint32_t command) { g_last_command = command; }

void LCrashGetId(char out[260], const char* prefix, const char* suffix) {
    // The version questions answer as Windows 10.0 here, and never Wine.
    std::snprintf(out, 260, "%s-%s-%s-%s%s", prefix ? prefix : "", "Win100", suffix ? suffix : "",
                  ThreadPart().c_str(), StatePart().c_str());
}
