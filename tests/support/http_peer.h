#pragma once
// tests/support/http_peer.py on a free loopback port, stopped with the
// object: a recorder that answers every request with fixed bytes, or a
// CONNECT proxy; either way every request it saw can be read back.
#include <memory>
#include <string>
#include <vector>

#include "tests/support/test_root.h"

class LTestHttpPeer {
public:
    // folder: its own (log, ready file); args: the peer's mode and options.
    LTestHttpPeer(const std::string& folder, const std::vector<std::string>& args);
    // A recorder whose every answer is `reply`.
    static std::unique_ptr<LTestHttpPeer> Recorder(const std::string& folder, const std::string& reply);
    bool Ready() const { return ready_; }
    int Port() const { return port_; }
    std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }
    // Each request as received (head and body), oldest first.
    std::vector<std::string> Requests() const;

private:
    std::string folder_;
    int port_;
    bool ready_ = false;
    std::unique_ptr<LTestProcess> process_;
};
