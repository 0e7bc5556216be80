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
    // The recorded requests, one JSON line each.
    std::string Log() const { return LTestReadFile(folder_ + "/log.jsonl"); }
    // A recorder reads its reply afresh for each request.
    void SetReply(const std::string& reply) const;

private:
    std::string folder_;
    int port_;
    bool ready_ = false;
    std::unique_ptr<LTestProcess> process_;
};

// A whole HTTP/1.0 answer with the body.
inline std::string LTestHttpAnswer(const std::string& status, const std::string& body) {
    return "HTTP/1.0 " + status + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}
