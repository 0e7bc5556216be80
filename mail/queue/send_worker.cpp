// The one worker of the outgoing queue: each row on its own, with its own
// back-off, so one failing row or account never holds up the others.
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "foundation/log.h"
#include "foundation/thread.h"
#include "foundation/time_source.h"
#include "mail/queue/send_rows.h"
#include "mail/workers.h"

int LSendQueueProcess(LTaskProgress& progress, LAppDatabaseAccount& db, int64_t& next_due) {
    next_due = 0;
    // Every due row is sent first, then every sent row is filed, one IMAP
    // session per account. A row that fails is given a later try and so is
    // not taken again in the same round.
    // A row met twice in one round could not be updated (the database
    // refuses writes): the round ends rather than going round it for ever.
    LSendQueueResumeChanged(db);
    std::set<std::u16string> seen;
    auto fresh = [&](const LQueuedRow& r) { return seen.insert(r.id).second; };
    LQueuedRow row;
    while (!progress.IsStopRequested() && LSendQueueNextRow(db, false, LNow(), row) && fresh(row))
        if (LSendQueueSendRow(progress, db, row) == 1) return 1;
    seen.clear();
    LSendQueueImapSession session;
    int result = 0;
    while (!progress.IsStopRequested() && LSendQueueNextRow(db, true, LNow(), row) && fresh(row))
        if ((result = LSendQueueFileRow(progress, db, row, session)) == 1) break;
    session.Close(progress);
    if (result == 1 || progress.IsStopRequested()) return 1;
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
