#pragma once
// Where the engine's events go. The engine raises an event (a desktop
// request, a state change) through one process-wide notifier; the host
// points it at its pipe broadcast while the engine runs and back at the
// do-nothing target afterwards, so nothing here includes the host.
#include <cstdint>

class LEngineNotifier {
public:
    virtual ~LEngineNotifier() = default;
    virtual void Notify(uint32_t code, const void* data, uint32_t value) = 0;
};

// Null points the notifier back at the do-nothing target.
void LEngineNotifierSet(LEngineNotifier* target);
void LEngineNotify(uint32_t code, const void* data, uint32_t value);
