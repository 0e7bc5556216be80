#include "web/server/engine_notifier.h"

#include <mutex>

namespace {

// A target is switched only while no event is being raised through it, so
// the host may destroy it right after switching away.
std::recursive_mutex g_lock;
LEngineNotifier* g_target = nullptr;

}  // namespace

void LEngineNotifierSet(LEngineNotifier* target) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    g_target = target;
}

void LEngineNotify(uint32_t code, const void* data, uint32_t value) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    if (g_target) g_target->Notify(code, data, value);
}
