#include "platform/event.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <mutex>
#include <unordered_set>

#include "platform/wait.h"

namespace {

// Descriptors of the live auto-reset events: a wait must consume those, and
// poll() alone cannot tell an eventfd of either kind from a socket.
struct AutoResetSet {
    std::mutex lock;
    std::unordered_set<int> fds;
};

AutoResetSet& AutoResetEvents() {
    static AutoResetSet set;
    return set;
}

bool IsAutoReset(int fd) {
    AutoResetSet& s = AutoResetEvents();
    std::lock_guard<std::mutex> g(s.lock);
    return s.fds.count(fd) != 0;
}

bool Drain(int fd) {
    eventfd_t value;
    return eventfd_read(fd, &value) == 0;
}

}  // namespace

LEvent& LEvent::operator=(LEvent&& o) noexcept {
    if (this != &o) {
        Close();
        fd_ = o.fd_;
        manual_ = o.manual_;
        o.fd_ = -1;
    }
    return *this;
}

bool LEvent::Create(bool manual_reset, bool initially_set) {
    Close();
    fd_ = eventfd(initially_set ? 1 : 0, EFD_CLOEXEC | EFD_NONBLOCK);
    manual_ = manual_reset;
    if (fd_ < 0) return false;
    if (!manual_) {
        AutoResetSet& s = AutoResetEvents();
        std::lock_guard<std::mutex> g(s.lock);
        s.fds.insert(fd_);
    }
    return true;
}

void LEvent::Close() {
    if (fd_ < 0) return;
    if (!manual_) {
        // Out of the set before the number can be reused by another open.
        AutoResetSet& s = AutoResetEvents();
        std::lock_guard<std::mutex> g(s.lock);
        s.fds.erase(fd_);
    }
    close(fd_);
    fd_ = -1;
}

bool LEvent::Set() { return fd_ >= 0 && eventfd_write(fd_, 1) == 0; }

bool LEvent::Reset() {
    if (fd_ < 0) return false;
    Drain(fd_);  // EAGAIN: it was not set, which is fine
    return true;
}

bool LEvent::TryWait() { return Wait(0) == 0; }

int LEvent::Wait(uint32_t ms) {
    int fd = fd_;
    return LPlatformWaitAny(&fd, 1, ms);
}

bool LPlatformEventClaim(int fd) {
    if (!IsAutoReset(fd)) return true;
    return Drain(fd);
}
