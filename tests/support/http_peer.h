#pragma once
// A python HTTP peer (tests/support/http_peer.py) on a free loopback port,
// stopped with the object; what it recorded, one request a line.
#include <memory>
#include <string>
#include <vector>

#include "tests/support/test_root.h"

class LTestHttpPeer {
public:
    // args: the peer's mode and its options ("--mode", "record", ...).
    LTestHttpPeer(const std::string& folder, std::vector<std::string> args);
    bool Ready() const { return ready_; }
    int Port() const { return port_; }
    std::vector<std::string> Requests() const;

private:
    std::string folder_;
    int port_;
    bool ready_ = false;
    std::unique_ptr<LTestProcess> process_;
};
