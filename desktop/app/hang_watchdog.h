#pragma once
// Watches the desktop's window thread: a heartbeat posted every second must
// be answered; ten seconds without an answer start the hang report in a
// child copy, and an answer again closes it.
#include <atomic>
#include <string>

#include "foundation/thread.h"
#include "toolkit/window.h"

// Posted to the window; its handler calls LHangWatchdog::Answer.
constexpr uint32_t LWM_HEARTBEAT = LWM_APP + 0x76;

// Runs the child with the dialog and acts on its answer.
class LHangReportThread : public LThread {
public:
    LHangReportThread() : LThread("HangReport") {}
    ~LHangReportThread() override { Stop(); }
    void Run() override;
    // The program that shows the dialog; empty: this program.
    std::string program;
};

class LHangWatchdog : public LThread {
public:
    explicit LHangWatchdog(LHwnd window);
    ~LHangWatchdog() override { Stop(); }
    void Run() override;
    // On the window thread, for each heartbeat.
    void Answer();

    LHangReportThread report;

private:
    LHwnd window_;
    std::atomic<uint64_t> last_answer_;
};
