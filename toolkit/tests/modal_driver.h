#pragma once
// Runs a test's action inside the modal loop that the test starts next:
// a 0 ms timer fires once that loop waits for input.
#include <functional>

#include "toolkit/window_layer.h"

inline std::function<void()>& LTestPendingAction() {
    static std::function<void()> action;
    return action;
}

inline void LTestWhenModalLoopRuns(std::function<void()> action) {
    LTestPendingAction() = std::move(action);
    LSetTimer(LHwnd::Null, 0, 0, [](LHwnd, uint32_t, uintptr_t id, uint32_t) {
        LKillTimer(LHwnd::Null, id);
        auto f = std::move(LTestPendingAction());
        f();
    });
}
