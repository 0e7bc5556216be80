#pragma once
// Events that one poll() can wait on together with sockets and processes:
// an eventfd whose counter is non-zero while the event is set. A manual-reset
// event stays set until Reset; an auto-reset event is cleared by the one wait
// that reports it (see LPlatformWaitAny).
#include <cstdint>

class LEvent {
public:
    LEvent() = default;
    LEvent(bool manual_reset, bool initially_set) { Create(manual_reset, initially_set); }
    ~LEvent() { Close(); }
    LEvent(const LEvent&) = delete;
    LEvent& operator=(const LEvent&) = delete;
    LEvent(LEvent&& o) noexcept : fd_(o.fd_), manual_(o.manual_) { o.fd_ = -1; }
    LEvent& operator=(LEvent&& o) noexcept;

    // False when no descriptor could be had; the event is then invalid and
    // every wait on it fails.
    bool Create(bool manual_reset, bool initially_set);
    void Close();
    bool IsValid() const { return fd_ >= 0; }
    bool Set();
    bool Reset();
    // True when set; an auto-reset event is cleared by a true answer.
    bool TryWait();
    // 0 set (cleared again if auto-reset), -1 time-out, -2 failure.
    int Wait(uint32_t ms);
    // The descriptor to hand to waits; -1 when invalid.
    int Handle() const { return fd_; }

private:
    int fd_ = -1;
    bool manual_ = true;
};

// Called by the waits for a descriptor that poll() reported readable: an
// auto-reset event is cleared here, and false means another waiter took it
// first. Any other descriptor is left alone and gives true.
bool LPlatformEventClaim(int fd);
