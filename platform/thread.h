#pragma once
// Operating-system threads: a joinable pthread owned by one object, and the
// per-thread scheduling niceness that stands in for thread priorities.
#include <pthread.h>

#include <cstdint>

class LOsThread {
public:
    LOsThread() = default;
    // A thread still owned here is detached: its resources go when it ends.
    ~LOsThread() { Detach(); }
    LOsThread(const LOsThread&) = delete;
    LOsThread& operator=(const LOsThread&) = delete;

    // Starts routine(arg) at once. False (and errno set) when the system
    // refused; nothing is owned then.
    bool Create(void* (*routine)(void*), void* arg);
    bool Exists() const { return exists_; }
    // True when the thread is the caller.
    bool IsCurrent() const;
    // Waits for the end; ms 0xFFFFFFFF waits without limit. True when the
    // thread ended and was reaped; it is then no longer owned.
    bool Join(uint32_t ms);
    // Gives up ownership without waiting.
    void Detach();

private:
    pthread_t thread_{};
    bool exists_ = false;
};

// Kernel id of the calling thread.
int LPlatformThreadId();
// Niceness (-20 .. 19) of a thread, 0 for the calling thread. Raising a
// thread above its current niceness needs privileges and may fail.
bool LPlatformSetThreadNice(int tid, int nice);
int LPlatformGetThreadNice(int tid);
// Id of the calling process.
int LPlatformProcessId();
