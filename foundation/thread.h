#pragma once
// Worker threads. A thread is its own progress context: its stop event is
// the cancel request and every wait it makes returns early once the event is
// set. Derived classes implement Run and call Stop first in their destructor.
#include <atomic>
#include <mutex>

#include "foundation/task_progress.h"
#include "platform/event.h"
#include "platform/thread.h"

// The priority levels the workers ask for; below normal maps to a higher
// niceness, above normal is tried and silently stays normal without the
// privilege to raise it.
enum LThreadPriority : int {
    LThreadPriorityIdle = -15,
    LThreadPriorityLowest = -2,
    LThreadPriorityBelowNormal = -1,
    LThreadPriorityNormal = 0,
    LThreadPriorityAboveNormal = 1,
    LThreadPriorityHighest = 2,
};

class LThreadPool;

class LThread : public LTaskProgress {
public:
    // name: a constant text (the class name) entered in the thread table
    // while the thread runs.
    explicit LThread(const char* name);
    ~LThread() override;
    LThread(const LThread&) = delete;
    LThread& operator=(const LThread&) = delete;

    virtual void Run() = 0;

    // Starts the thread unless it is running; resets the stop event first.
    void Start(int priority = LThreadPriorityNormal);
    // Requests a stop and waits for the end. Nothing for a thread never started.
    void Stop();
    // Sets the stop event without waiting.
    void SignalStop() { stop_event_.Set(); }
    bool IsRunning() const { return running_.load(); }
    const char* Name() const { return name_; }
    LHandle StopEventHandle() const { return stop_event_.Handle(); }

    bool IsStopRequested() override;
    uint32_t WaitStop(uint32_t ms) override;
    uint32_t WaitHandle(LHandle h, uint32_t ms) override;
    uint32_t WaitHandles(LHandleList& list, uint32_t ms) override;

private:
    friend class LThreadPool;
    static void* ThreadRoutine(void* self);
    void ApplyPriority();

    LOsThread handle_;
    std::atomic<bool> running_{false};
    LEvent stop_event_{true, false};
    std::recursive_mutex start_lock_;
    const char* name_;
    LThread* pool_next_ = nullptr;
    LThreadPool* pool_ = nullptr;
    std::atomic<int> priority_{LThreadPriorityNormal};
    std::atomic<int> tid_{0};
};

// The pool of the web server's connection threads. A pooled thread is owned
// by the pool: it deletes itself when its Run returns, unless
// StopAndDeleteAll took it first. Whoever unlinks a thread from the list
// under the pool's lock is the one that joins and deletes it.
class LThreadPool {
public:
    LThreadPool() = default;
    ~LThreadPool() { StopAndDeleteAll(); }
    LThreadPool(const LThreadPool&) = delete;
    LThreadPool& operator=(const LThreadPool&) = delete;

    // Takes ownership of a heap thread and starts it at normal priority.
    // False when the thread could not be created; the thread is deleted then.
    bool Start(LThread* thread);
    // Unlinks the thread if it is still pooled, then stops and deletes it.
    void Remove(LThread* thread);
    void SignalStopAll();
    void StopAndDeleteAll();
    bool IsEmpty();
    // Calls visit for every pooled thread under the pool's lock, so that
    // none of them is deleted meanwhile (the metrics pages).
    template <class F>
    void ForEach(F&& visit) {
        std::lock_guard<std::recursive_mutex> hold(lock_);
        for (LThread* t = first_; t; t = t->pool_next_) visit(t);
    }

private:
    static void* ThreadRoutine(void* self);
    bool Unlink(LThread* thread);

    LThread* first_ = nullptr;
    std::recursive_mutex lock_;
};
