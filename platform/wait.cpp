#include "platform/wait.h"

#include <poll.h>

#include <cerrno>
#include <climits>
#include <vector>

#include "platform/clock.h"
#include "platform/event.h"

namespace {

constexpr uint32_t kInfinite = 0xFFFFFFFFu;

int PollTimeout(uint32_t ms, uint64_t deadline) {
    if (ms == kInfinite) return -1;
    uint64_t now = LPlatformMonotonicMs();
    uint64_t left = deadline > now ? deadline - now : 0;
    return left > INT_MAX ? INT_MAX : static_cast<int>(left);
}

}  // namespace

int LPlatformWaitAny(const int* fds, uint32_t n, uint32_t ms) {
    if (!fds || n == 0 || n > 1024) return LPlatformWaitError;
    pollfd small[65];
    std::vector<pollfd> big;
    pollfd* p = small;
    if (n > 65) {
        big.resize(n);
        p = big.data();
    }
    for (uint32_t i = 0; i < n; ++i) {
        if (fds[i] < 0) return LPlatformWaitError;
        p[i] = pollfd{fds[i], POLLIN, 0};
    }
    const uint64_t deadline = ms == kInfinite ? 0 : LPlatformMonotonicMs() + ms;
    for (;;) {
        int timeout = PollTimeout(ms, deadline);
        int r = poll(p, n, timeout);
        if (r < 0) {
            if (errno == EINTR) continue;
            return LPlatformWaitError;
        }
        if (r == 0) {
            if (timeout >= 0 && PollTimeout(ms, deadline) == 0) return LPlatformWaitTimeout;
            continue;  // poll's int limit cut a longer wait into pieces
        }
        for (uint32_t i = 0; i < n; ++i) {
            short ev = p[i].revents;
            if (ev & POLLNVAL) return LPlatformWaitError;
            if ((ev & (POLLIN | POLLHUP | POLLERR)) && LPlatformEventClaim(fds[i])) return static_cast<int>(i);
        }
        // Every ready descriptor was an auto-reset event another waiter took.
    }
}
