#include "platform/clock.h"

#include <cerrno>
#include <ctime>

uint64_t LPlatformMonotonicMs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000 + static_cast<uint64_t>(ts.tv_nsec) / 1000000;
}

void LPlatformSleepMs(uint32_t ms) {
    if (ms == 0xFFFFFFFFu) {
        for (;;) {
            timespec day{86400, 0};
            nanosleep(&day, nullptr);
        }
    }
    timespec left{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}
