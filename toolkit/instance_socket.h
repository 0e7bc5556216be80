#pragma once
// The running desktop's doorbell: a per-user socket in the user's run
// folder that a second start (or the installer) rings with one message id,
// 0x8068 (open the interface) or 0x466 (exit). Only the same user may ring.
#include <cstdint>
#include <string>

#include "platform/unix_socket.h"

constexpr uint32_t LWM_INSTANCEEXIT = 0x0466;

std::string LInstanceSocketPath();

class LInstanceSocket {
public:
    // Binds the socket (replacing a stale one). False when it cannot, or
    // when another desktop already answers on it.
    bool Listen() { return Listen(LInstanceSocketPath()); }
    // The same doorbell at another path (the installer has its own).
    bool Listen(const std::string& path);
    int Fd() const { return socket_.Fd(); }
    // Takes one ring: the message id, or 0 for nothing acceptable.
    uint32_t Accept();
    void Close();

private:
    LUnixSocket socket_;
    std::string path_;
};

// Rings the running desktop: true when one took the message.
bool LInstanceSocketSendTo(const std::string& path, uint32_t message);
inline bool LInstanceSocketSend(uint32_t message) { return LInstanceSocketSendTo(LInstanceSocketPath(), message); }
