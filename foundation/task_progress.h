#pragma once
// The progress context that every long operation takes: it asks whether to
// stop, waits (returning early on a stop request), and reports errors,
// status lines and progress. Threads, LPlainWait, the adaptors and progress
// windows implement it.
#include <cstdint>

// A pollable descriptor: an eventfd for events, a pidfd for processes, a
// socket. -1 is no handle.
using LHandle = int;
constexpr LHandle LInvalidHandle = -1;
constexpr uint32_t LInfinite = 0xFFFFFFFFu;

// Wait results.
constexpr uint32_t LWaitDone = 0;     // the awaited thing happened (or WaitStop's time ran out)
constexpr uint32_t LWaitStopped = 1;  // stop requested
constexpr uint32_t LWaitFailed = 2;   // time-out or failure

// Room for 64 handles; callers fill at most 63, a thread adds its stop event.
struct LHandleList {
    LHandle handles[64];
    uint32_t count = 0;
};

class LTaskProgress {
public:
    virtual ~LTaskProgress() = default;
    virtual bool IsStopRequested() = 0;
    virtual uint32_t WaitStop(uint32_t ms) = 0;
    virtual uint32_t WaitHandle(LHandle h, uint32_t ms) = 0;
    virtual uint32_t WaitHandles(LHandleList& list, uint32_t ms) = 0;
    virtual uint32_t WaitStopForever() { return WaitStop(LInfinite); }
    virtual uint32_t WaitHandleForever(LHandle h) { return WaitHandle(h, LInfinite); }
    virtual uint32_t WaitHandlesForever(LHandleList& list) { return WaitHandles(list, LInfinite); }
    virtual void ShowError(const char16_t* /*text*/) {}
    virtual void SetStatusText(const char16_t* /*text*/, int /*line*/) {}
    virtual void SetProgress(double /*fraction*/) {}
    virtual void StartMarquee() {}
    virtual void StopMarquee() {}
};
