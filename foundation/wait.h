#pragma once
// Progress contexts other than threads: LPlainWait for callers that are never
// cancelled, and two adaptors that wrap a caller's context.
#include <cstdint>

#include "foundation/task_progress.h"

// Never asked to stop; waits are plain waits.
class LPlainWait : public LTaskProgress {
public:
    bool IsStopRequested() override { return false; }
    uint32_t WaitStop(uint32_t ms) override;
    uint32_t WaitHandle(LHandle h, uint32_t ms) override;
    uint32_t WaitHandles(LHandleList& list, uint32_t ms) override;
};

// Passes everything to the context it wraps except the marquee, which an
// adaptor's sub-operation does not own.
class LProgressAdaptor : public LTaskProgress {
public:
    explicit LProgressAdaptor(LTaskProgress* inner) : inner_(inner) {}
    bool IsStopRequested() override { return inner_->IsStopRequested(); }
    uint32_t WaitStop(uint32_t ms) override { return inner_->WaitStop(ms); }
    uint32_t WaitHandle(LHandle h, uint32_t ms) override { return inner_->WaitHandle(h, ms); }
    uint32_t WaitHandles(LHandleList& list, uint32_t ms) override { return inner_->WaitHandles(list, ms); }
    uint32_t WaitStopForever() override { return inner_->WaitStopForever(); }
    uint32_t WaitHandleForever(LHandle h) override { return inner_->WaitHandleForever(h); }
    uint32_t WaitHandlesForever(LHandleList& list) override { return inner_->WaitHandlesForever(list); }
    void ShowError(const char16_t* text) override { inner_->ShowError(text); }
    void SetStatusText(const char16_t* text, int line) override { inner_->SetStatusText(text, line); }
    void SetProgress(double fraction) override { inner_->SetProgress(fraction); }
    void StartMarquee() override {}
    void StopMarquee() override {}

protected:
    LTaskProgress* inner_;
};

// Lets a sub-operation report 0-to-1 progress inside a range of its caller's
// bar (x * scale + offset) and pushes its status lines one line down.
class LSubTaskProgress : public LProgressAdaptor {
public:
    LSubTaskProgress(LTaskProgress* inner, double offset, double scale)
        : LProgressAdaptor(inner), offset_(offset), scale_(scale) {}
    void SetStatusText(const char16_t* text, int line) override { inner_->SetStatusText(text, line + 1); }
    void SetProgress(double fraction) override { inner_->SetProgress(fraction * scale_ + offset_); }

private:
    double offset_;
    double scale_;
};

// Asks to stop when the inner context does or once budget_ms have passed
// since construction.
class LTimeLimitedProgress : public LProgressAdaptor {
public:
    LTimeLimitedProgress(LTaskProgress* inner, uint32_t budget_ms);
    bool IsStopRequested() override;

private:
    uint32_t start_;
    uint32_t budget_;
};

// Formats with the C library's printf into 8192 characters (cut to 8191)
// and shows the text as the context's error.
void LTaskProgressErrorF(LTaskProgress* progress, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
