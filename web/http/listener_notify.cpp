#include "web/http/listener_notify.h"

#include <atomic>

namespace {
std::atomic<LListeningHook> g_hook{nullptr};
}

void LListenerSetListeningHook(LListeningHook hook) { g_hook = hook; }

void LListenerNotifyListening() {
    if (LListeningHook hook = g_hook.load()) hook();
}
