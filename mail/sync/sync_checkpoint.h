#pragma once
// Copies the sync connection's WAL back into the database on a thread and a
// connection of its own, so that a first mirror stores its next batches
// while the pages of the last ones are copied. SQLite lets a checkpoint run
// beside a writer; the writer's connection only finishes what came after
// (see EMLEmailAccGetter::WalCommitted), so that the WAL is copied whole and
// starts again from its beginning instead of growing while it is chased.
#include <atomic>

#include "foundation/thread.h"
#include "platform/event.h"

class LMailSyncCheckpointer : public LThread {
public:
    LMailSyncCheckpointer() : LThread("LMailSyncCheckpointer") {}
    ~LMailSyncCheckpointer() override { Stop(); }

    enum State : int { Idle = 0, Running = 1, Ended = 2 };
    // Asks for one passive checkpoint; false (nothing asked) unless idle and
    // running.
    bool Request();
    // Ended: the checkpoint asked for is over; the state is idle again.
    int TakeState();

    void Run() override;

private:
    LEvent asked_{false, false};
    std::atomic<int> state_{Idle};
};
