#include "foundation/wait.h"

#include <cstdarg>
#include <cstdio>

#include "foundation/time_source.h"
#include "foundation/utf8.h"
#include "platform/clock.h"
#include "platform/wait.h"

namespace {

// 32-bit milliseconds; differences are taken with unsigned wrap-around.
uint32_t TickMs() { return static_cast<uint32_t>(LPerfCounterMs()); }

}  // namespace

uint32_t LPlainWait::WaitStop(uint32_t ms) {
    LPlatformSleepMs(ms);
    return LWaitDone;
}

uint32_t LPlainWait::WaitHandle(LHandle h, uint32_t ms) {
    // A failed wait is a failure like a time-out, never a signalled handle.
    return LPlatformWaitAny(&h, 1, ms) == 0 ? LWaitDone : LWaitFailed;
}

uint32_t LPlainWait::WaitHandles(LHandleList& list, uint32_t ms) {
    if (list.count > 64) return LWaitFailed;
    return LPlatformWaitAny(list.handles, list.count, ms) >= 0 ? LWaitDone : LWaitFailed;
}

LTimeLimitedProgress::LTimeLimitedProgress(LTaskProgress* inner, uint32_t budget_ms)
    : LProgressAdaptor(inner), start_(TickMs()), budget_(budget_ms) {}

bool LTimeLimitedProgress::IsStopRequested() {
    return inner_->IsStopRequested() || TickMs() - start_ >= budget_;
}

void LTaskProgressErrorF(LTaskProgress* progress, const char* fmt, ...) {
    if (!progress) return;
    char text[8192];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    LWideFromUTF8 wide(text);
    progress->ShowError(wide.text);
}
