#include "web/http/listener_notify.h"

#include <atomic>

namespace {
std::atomic<LListeningHook> g_hook{nullptr};
}

void LListenerSetListeningHook(LListeningHook hook) { g_hook = hook; }

void LListenerNotifyListening() {
    if (LListeningHook hook = g_hook.load()) hook();
}

namespace {
std::atomic<bool> g_bind_failed[2];
}

void LListenerSetBindFailed(bool secure, bool failed) { g_bind_failed[secure ? 1 : 0] = failed; }

bool LListenerAnyBindFailed() { return g_bind_failed[0] || g_bind_failed[1]; }
