#pragma once
// A tests/support/http_peer.py peer on a free loopback port, stopped with
// the object; it keeps every request it receives, head and body.
#include <memory>
#include <string>
#include <vector>

#include "tests/support/test_root.h"

class LTestHttpPeer {
public:
    // folder holds the peer's log and ready mark; args choose its mode.
    LTestHttpPeer(const std::string& folder, const std::vector<std::string>& args);
    // A recorder answering every request with reply's bytes.
    static std::unique_ptr<LTestHttpPeer> Recorder(const std::string& folder, const std::string& reply);

    bool Ready() const { return ready_; }
    int Port() const { return port_; }
    std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }
    std::vector<std::string> Requests() const;

private:
    std::string folder_;
    int port_;
    bool ready_ = false;
    std::unique_ptr<LTestProcess> process_;
};
