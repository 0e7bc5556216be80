// The one worker of the outgoing queue: each row on its own, with its own
// back-off, so one failing row or account never holds up the others.
#include <memory>
#include <mutex>

#include "foundation/log.h"
#include "foundation/thread.h"
#include "foundation/time_source.h"
#include "mail/queue/send_rows.h"
#include "mail/workers.h"

int LSendQueueProcess(LTaskProgress& progress, LAppDatabaseAccount& db, int64_t& next_due) {
    next_due = 0;
    // Each pass takes due rows until none is left; a row that fails is
    // given a later try and so is not taken again in the same round.
    for (const char16_t* state : {u"QUEUED", u"SENT"}) {
        LQueuedRow row;
        while (!progress.IsStopRequested() && LSendQueueNextRow(db, state, LNow(), row)) {
            int r = state[0] == u'Q' ? LSendQueueSendRow(progress, db, row) : LSendQueueFileRow(progress, db, row);
            if (r == 1) return 1;
            // Anything sent in this pass is filed before the next one.
            if (state[0] == u'Q') {
                LQueuedRow sent;
                while (!progress.IsStopRequested() && LSendQueueNextRow(db, u"SENT", LNow(), sent))
                    if (LSendQueueFileRow(progress, db, sent) == 1) return 1;
            }
        }
    }
    if (progress.IsStopRequested()) return 1;
    next_due = LSendQueueNextDue(db);
    return 0;
}

namespace {

class EMLSendEmailQueue : public LThread {
public:
    EMLSendEmailQueue() : LThread("EMLSendEmailQueue"), queue_event_(true, false) {}
    ~EMLSendEmailQueue() override { Stop(); }
    void Wake() { queue_event_.Set(); }
    void Run() override;

private:
    LEvent queue_event_;
};

void EMLSendEmailQueue::Run() {
    LAppDatabaseAccount db(false);
    if (!db.handle) {
        LLogErrorF("The outgoing mail queue could not open the database");
        return;
    }
    LSendQueueRecoverInterrupted(db);
    while (!IsStopRequested()) {
        int64_t next_due = 0;
        if (LSendQueueProcess(*this, db, next_due) == 1) break;
        uint32_t wait = LInfinite;
        if (next_due) {
            int64_t seconds = next_due - LNow();
            wait = seconds <= 0 ? 0 : static_cast<uint32_t>(seconds < 3600 ? seconds * 1000 : 3600000);
        }
        if (WaitHandle(queue_event_.Handle(), wait) == LWaitStopped) break;
        // Reset after the wait and before the next read: a wake during a
        // round is not lost.
        queue_event_.Reset();
    }
}

std::mutex g_lock;
std::unique_ptr<EMLSendEmailQueue> g_worker;

}  // namespace

void LSendQueueStart() {
    std::lock_guard<std::mutex> g(g_lock);
    if (g_worker) return;
    g_worker = std::make_unique<EMLSendEmailQueue>();
    g_worker->Start(LThreadPriorityNormal);
    g_worker->Wake();
}

void LSendQueueStop() {
    std::unique_ptr<EMLSendEmailQueue> worker;
    {
        std::lock_guard<std::mutex> g(g_lock);
        worker = std::move(g_worker);
    }
    if (!worker) return;
    worker->SignalStop();
    worker->Wake();
    worker.reset();
}

void LSendQueueWake() {
    std::lock_guard<std::mutex> g(g_lock);
    if (g_worker) g_worker->Wake();
}
