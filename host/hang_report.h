#pragma once
// The hang report: when the desktop's window thread stops answering, a
// child copy of the program ("-exe HangReport") shows "Notify Development
// Team" while the hung process stays as it is. The child learns through its
// channel when the window thread answers again and closes the dialog.
#include <cstdint>

#include "toolkit/window.h"

// How long the window thread may leave heartbeats unanswered.
constexpr uint64_t LHangLimitMs = 10000;
constexpr uint32_t LHeartbeatMs = 1000;

// When to start and when to close the report, from the time of the last
// answered heartbeat; the clock is the caller's.
class LHangDecision {
public:
    enum Action { None, Report, Recovered };
    Action Step(uint64_t now_ms, uint64_t last_answer_ms);
    bool Reporting() const { return reporting_; }

private:
    bool reporting_ = false;
};

// What the hung process sends the child, and the child's answer.
struct LHangReportRequest {
    int32_t pid = 0;
    uint32_t choice = 0;  // the answer: one of the values below
};
constexpr uint32_t LHangChoiceNone = 0;       // closed because the thread answered
constexpr uint32_t LHangChoiceReport = 1002;  // the hung process reports itself
constexpr uint32_t LHangChoiceClose = 1004;   // the hung process was ended

// The dialog; `pid` is the hung process, which "Close Porlinex" ends.
// `recovered` is asked every 100 ms and closes the dialog when true.
class LHangReportDialog : public LDialog {
public:
    using RecoveredFunc = bool (*)(void* context);
    LHangReportDialog(int32_t pid, RecoveredFunc recovered, void* context)
        : pid_(pid), recovered_(recovered), context_(context) {}
    // The answer, one of the choices above.
    uint32_t Run(LHwnd parent);

    LResult HandleMessage(uint32_t msg, LWParam w, LLParam l) override;
    void OnCommand(int id, int code) override;

private:
    int32_t pid_;
    RecoveredFunc recovered_;
    void* context_;
    uint32_t choice_ = LHangChoiceNone;
};
