#include <memory>
#include <mutex>

#include "foundation/log.h"
#include "foundation/thread.h"
#include "mail/store/fts_index.h"

namespace {

constexpr uint32_t kPauseMs = 200;
constexpr uint32_t kRetryMs = 30000;

// Indexes the rows that existed before the index, one batch at a time with
// pauses that leave the write lock to the sync workers; sleeps once the
// index is complete until a rebuild wakes it.
class EMLDBEmailFTSBackfill : public LThread {
public:
    EMLDBEmailFTSBackfill() : LThread("EMLDBEmailFTSBackfill"), wake_(true, false) {}
    ~EMLDBEmailFTSBackfill() override { Stop(); }
    void Wake() { wake_.Set(); }
    void Run() override;

private:
    // LWaitStopped on a stop; anything else means go on.
    uint32_t WaitForWake(uint32_t ms) {
        return wake_.IsValid() ? WaitHandle(wake_.Handle(), ms) : WaitStop(ms);
    }
    LEvent wake_;
};

void EMLDBEmailFTSBackfill::Run() {
    LAppDatabaseAccount db(false);
    bool running = false;   // a backfill is under way and was announced
    bool reported = false;  // the complete index was announced
    while (!IsStopRequested()) {
        bool complete = false;
        bool ok = LEmailFtsBackfillStep(db, complete);
        if (!ok) {
            char16_t error[260];
            db.GetLastErrorText(error);
            LLogRateLimitedF(3600, "Full-text index backfill failed, trying again in 30 seconds: %s",
                             LToUtf8(error).c_str());
        } else if (complete ? !reported : !running) {
            int32_t indexed = 0, total = 0;
            bool done = false;
            LEmailFtsGetCoverage(db, indexed, total, done);
            LLogInfoF(complete ? "Full-text index complete: %d of %d messages indexed"
                               : "Full-text index backfill started: %d of %d messages indexed",
                      indexed, total);
            running = !complete;
            reported = complete;
        }
        if (WaitForWake(!ok ? kRetryMs : complete ? LInfinite : kPauseMs) == LWaitStopped) break;
        wake_.Reset();
    }
}

std::mutex g_lock;
std::unique_ptr<EMLDBEmailFTSBackfill> g_worker;

}  // namespace

void LEmailFtsBackfillStart() {
    std::lock_guard<std::mutex> g(g_lock);
    if (g_worker) return;
    g_worker = std::make_unique<EMLDBEmailFTSBackfill>();
    g_worker->Start(LThreadPriorityNormal);
}

void LEmailFtsBackfillSignalStop() {
    std::lock_guard<std::mutex> g(g_lock);
    if (g_worker) g_worker->SignalStop();
}

void LEmailFtsBackfillStop() {
    std::unique_ptr<EMLDBEmailFTSBackfill> worker;
    {
        std::lock_guard<std::mutex> g(g_lock);
        worker = std::move(g_worker);
    }
    // Joined outside the lock: a rebuild that wakes the worker never waits
    // for the join.
    worker.reset();
}

void LEmailFtsBackfillWake() {
    std::lock_guard<std::mutex> g(g_lock);
    if (g_worker) g_worker->Wake();
}
