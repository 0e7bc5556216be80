#include "foundation/time_source.h"

#include <atomic>

namespace {

std::atomic<LNowFunc> gNowFunc{nullptr};
std::atomic<LTickFunc> gTickFunc{nullptr};

uint64_t MonotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

}  // namespace

time_t LNow() {
    if (LNowFunc f = gNowFunc.load(std::memory_order_acquire)) return f();
    return time(nullptr);
}

uint64_t LPerfCounterMs() {
    if (LTickFunc f = gTickFunc.load(std::memory_order_acquire)) return f();
    return MonotonicMs();
}

uint64_t LTickCount64() { return LPerfCounterMs(); }

uint32_t LTickCount() { return static_cast<uint32_t>(LPerfCounterMs()); }

void LSetNowFuncForTests(LNowFunc f) { gNowFunc.store(f, std::memory_order_release); }
void LSetTickFuncForTests(LTickFunc f) { gTickFunc.store(f, std::memory_order_release); }
