#pragma once
// The worker's context for one SMTP or IMAP exchange: waits and stops go to
// the worker, the last error shown is kept for the row's log line. A time
// limit ends the exchange as a stop would (every network wait looks at it),
// so one silent server cannot hold the one worker for long; Expired() tells
// that end from the worker's own stop.
#include <cstdint>

#include "foundation/lstring.h"
#include "foundation/time_source.h"
#include "foundation/wait.h"

class LQueueProgress : public LProgressAdaptor {
public:
    explicit LQueueProgress(LTaskProgress& inner, uint32_t limit_ms = 0)
        : LProgressAdaptor(&inner), limit_(limit_ms), deadline_(limit_ms ? LTickCount64() + limit_ms : 0) {}
    void ShowError(const char16_t* text) override { error.Assign(text); }
    void SetStatusText(const char16_t*, int) override {}
    void SetProgress(double) override {}
    bool IsStopRequested() override { return inner_->IsStopRequested() || Expired(); }
    uint32_t WaitStop(uint32_t ms) override {
        return Expired() ? LWaitStopped : inner_->WaitStop(ms);
    }
    uint32_t LimitMs() const { return limit_; }
    bool Expired() const { return deadline_ && LTickCount64() >= deadline_; }
    // The worker itself was asked to stop (not merely the time limit).
    bool WorkerStopping() const { return inner_->IsStopRequested(); }
    LString error;

private:
    uint32_t limit_;
    uint64_t deadline_;
};
