#pragma once
// A progress object for the network tests: never stops until told to.
#include <atomic>
#include <chrono>
#include <thread>

#include "foundation/task_progress.h"

class LTestProgress : public LTaskProgress {
public:
    std::atomic<bool> stop{false};
    bool IsStopRequested() override { return stop.load(); }
    uint32_t WaitStop(uint32_t ms) override {
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!stop.load()) {
            if (std::chrono::steady_clock::now() >= until) return LWaitDone;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return LWaitStopped;
    }
    uint32_t WaitHandle(LHandle, uint32_t) override { return LWaitFailed; }
    uint32_t WaitHandles(LHandleList&, uint32_t) override { return LWaitFailed; }
};
