#pragma once
// Hands data from worker threads to the thread that owns the handler: Post
// copies the bytes into a queue from any thread; the owner waits on Handle()
// and calls Dispatch, which calls back OnData in posting order on its own
// thread.
#include <cstdint>
#include <mutex>

#include "foundation/task_progress.h"
#include "platform/event.h"

class LQueuedNotifyCallback {
public:
    virtual ~LQueuedNotifyCallback() = default;
    // data with its byte count for posted copies; data null and value the
    // handed-over value for PostValue.
    virtual void OnData(uint32_t code, const void* data, uint64_t value) = 0;
};

class LQueuedNotifyDataHandler {
public:
    static constexpr uint64_t MaxBlock = 50000;

    LQueuedNotifyDataHandler() = default;
    ~LQueuedNotifyDataHandler() { Destroy(); }
    LQueuedNotifyDataHandler(const LQueuedNotifyDataHandler&) = delete;
    LQueuedNotifyDataHandler& operator=(const LQueuedNotifyDataHandler&) = delete;

    // Opens the queue for the owner's callback; false when no event could be had.
    bool Create(LQueuedNotifyCallback* owner);
    // Queues a copy of n bytes. Dropped without notice when data is null,
    // n is over 50000, the queue is not open or memory is short.
    void Post(uint32_t code, const void* data, uint64_t n);
    // Queues a value (typically a pointer) handed over as it is.
    void PostValue(uint32_t code, uint64_t value);
    // Readable while something is queued.
    LHandle Handle() const { return ready_.Handle(); }
    // Delivers everything queued so far; call on the owner's thread.
    void Dispatch();
    // Drops whatever is still queued and closes the queue.
    void Destroy();

private:
    struct Block;
    void Enqueue(Block* b);
    void FreeList(Block* b);

    std::mutex lock_;
    LQueuedNotifyCallback* owner_ = nullptr;
    LEvent ready_;
    Block* head_ = nullptr;
    Block* tail_ = nullptr;
};
