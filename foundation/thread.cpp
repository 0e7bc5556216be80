#include "foundation/thread.h"

#include <cerrno>
#include <cstring>

#include "foundation/log.h"
#include "foundation/thread_table.h"
#include "platform/wait.h"

namespace {

int NiceFor(int priority) {
    if (priority <= LThreadPriorityIdle) return 19;
    if (priority <= LThreadPriorityLowest) return 10;
    if (priority == LThreadPriorityBelowNormal) return 5;
    if (priority == LThreadPriorityNormal) return 0;
    return priority == LThreadPriorityAboveNormal ? -5 : -10;
}

}  // namespace

LThread::LThread(const char* name) : name_(name) {}

LThread::~LThread() {
    // Derived destructors stop first; this only reaps a thread that has
    // already ended so that its handle is not leaked.
    Stop();
}

void LThread::ApplyPriority() {
    int nice = NiceFor(priority_.load());
    if (nice != 0) LPlatformSetThreadNice(0, nice);
}

void* LThread::ThreadRoutine(void* self) {
    LThread* t = static_cast<LThread*>(self);
    t->tid_ = LPlatformThreadId();
    t->ApplyPriority();
    LThreadRegister(t->name_);
    t->Run();
    t->running_ = false;
    LThreadUnregister();
    return nullptr;
}

void LThread::Start(int priority) {
    std::lock_guard<std::recursive_mutex> g(start_lock_);
    if (handle_.Exists()) {
        if (running_) return;
        // The previous run has returned; its thread is about to end.
        if (!handle_.Join(1000)) handle_.Detach();
    }
    stop_event_.Reset();
    priority_ = priority;
    tid_ = 0;
    running_ = true;
    if (!handle_.Create(&LThread::ThreadRoutine, this)) {
        // Without a thread nothing would ever clear the flag, and every
        // later Start would take the thread for running.
        int err = errno;
        running_ = false;
        LLogErrorF("LThread::Start: Cannot create the thread %s (%s).", name_ ? name_ : "", std::strerror(err));
    }
}

void LThread::Stop() {
    if (!handle_.Exists()) return;
    stop_event_.Set();
    if (handle_.IsCurrent()) {
        // A thread cannot wait for itself; it ends when its routine returns.
        handle_.Detach();
        return;
    }
    // A low-priority thread must not hold up the one waiting for it.
    int tid = tid_.load();
    if (tid != 0) LPlatformSetThreadNice(tid, LPlatformGetThreadNice(0));
    handle_.Join(LInfinite);
}

bool LThread::IsStopRequested() {
    int fd = stop_event_.Handle();
    return LPlatformWaitAny(&fd, 1, 0) == 0;
}

uint32_t LThread::WaitStop(uint32_t ms) {
    int fd = stop_event_.Handle();
    return LPlatformWaitAny(&fd, 1, ms) == 0 ? LWaitStopped : LWaitDone;
}

uint32_t LThread::WaitHandle(LHandle h, uint32_t ms) {
    // The stop event comes first so that it wins when both are set.
    int fds[2] = {stop_event_.Handle(), h};
    int r = LPlatformWaitAny(fds, 2, ms);
    if (r == 0) return LWaitStopped;
    return r == 1 ? LWaitDone : LWaitFailed;
}

uint32_t LThread::WaitHandles(LHandleList& list, uint32_t ms) {
    if (list.count > 63) return LWaitFailed;
    list.handles[list.count] = stop_event_.Handle();
    int r = LPlatformWaitAny(list.handles, list.count + 1, ms);
    if (r == static_cast<int>(list.count)) return LWaitStopped;
    // A failed wait is a failure, not a signalled handle.
    return r >= 0 ? LWaitDone : LWaitFailed;
}

bool LThreadPool::Start(LThread* thread) {
    if (!thread) return false;
    bool created;
    int err = 0;
    {
        // The handle is stored before anyone else can find the thread in the
        // list: StopAndDeleteAll joins through it.
        std::lock_guard<std::recursive_mutex> g(lock_);
        thread->pool_next_ = first_;
        first_ = thread;
        thread->pool_ = this;
        thread->priority_ = LThreadPriorityNormal;
        thread->stop_event_.Reset();
        thread->running_ = true;
        created = thread->handle_.Create(&LThreadPool::ThreadRoutine, thread);
        if (!created) {
            err = errno;
            thread->running_ = false;
        }
    }
    if (!created) {
        LLogErrorF("LThreadPool::Start: Cannot create the thread %s (%s).", thread->name_ ? thread->name_ : "",
                   std::strerror(err));
        Remove(thread);
    }
    return created;
}

void* LThreadPool::ThreadRoutine(void* self) {
    LThread* t = static_cast<LThread*>(self);
    t->tid_ = LPlatformThreadId();
    LThreadRegister(t->name_);
    t->Run();
    t->running_ = false;
    // When StopAndDeleteAll has unlinked the thread already, it joins and
    // deletes it: the object must not be touched any more here.
    t->pool_->Remove(t);
    LThreadUnregister();
    return nullptr;
}

bool LThreadPool::Unlink(LThread* thread) {
    std::lock_guard<std::recursive_mutex> g(lock_);
    for (LThread** p = &first_; *p; p = &(*p)->pool_next_) {
        if (*p == thread) {
            *p = thread->pool_next_;
            thread->pool_next_ = nullptr;
            return true;
        }
    }
    return false;
}

void LThreadPool::Remove(LThread* thread) {
    if (!Unlink(thread)) return;
    // Stop joins a running thread, and only detaches when the thread is the
    // caller ending itself; either way the object can go afterwards.
    thread->Stop();
    delete thread;
}

void LThreadPool::SignalStopAll() {
    std::lock_guard<std::recursive_mutex> g(lock_);
    for (LThread* t = first_; t; t = t->pool_next_) t->SignalStop();
}

void LThreadPool::StopAndDeleteAll() {
    SignalStopAll();
    for (;;) {
        LThread* t;
        {
            std::lock_guard<std::recursive_mutex> g(lock_);
            t = first_;
            if (!t) return;
            first_ = t->pool_next_;
            t->pool_next_ = nullptr;
        }
        t->Stop();
        delete t;
    }
}

bool LThreadPool::IsEmpty() {
    std::lock_guard<std::recursive_mutex> g(lock_);
    return first_ == nullptr;
}
