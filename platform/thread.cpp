#include "platform/thread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

bool LOsThread::Create(void* (*routine)(void*), void* arg) {
    Detach();
    int r = pthread_create(&thread_, nullptr, routine, arg);
    if (r != 0) {
        errno = r;
        return false;
    }
    exists_ = true;
    return true;
}

bool LOsThread::IsCurrent() const { return exists_ && pthread_equal(thread_, pthread_self()); }

bool LOsThread::Join(uint32_t ms) {
    if (!exists_) return true;
    if (IsCurrent()) return false;
    int r;
    if (ms == 0xFFFFFFFFu) {
        r = pthread_join(thread_, nullptr);
    } else {
        timespec until;
        clock_gettime(CLOCK_REALTIME, &until);
        until.tv_sec += ms / 1000;
        until.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
        if (until.tv_nsec >= 1000000000L) {
            until.tv_sec += 1;
            until.tv_nsec -= 1000000000L;
        }
        r = pthread_timedjoin_np(thread_, nullptr, &until);
    }
    if (r != 0) return false;
    exists_ = false;
    return true;
}

void LOsThread::Detach() {
    if (!exists_) return;
    pthread_detach(thread_);
    exists_ = false;
}

int LPlatformThreadId() { return static_cast<int>(syscall(SYS_gettid)); }

bool LPlatformSetThreadNice(int tid, int nice) {
    // On Linux the "process" priority of a thread id is that thread's own.
    return setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice) == 0;
}

int LPlatformGetThreadNice(int tid) {
    errno = 0;
    int n = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
    return (n == -1 && errno != 0) ? 0 : n;
}

int LPlatformProcessId() { return static_cast<int>(getpid()); }
