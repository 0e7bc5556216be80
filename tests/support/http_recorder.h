#pragma once
// A recording HTTP peer (http_peer.py in record mode) on a free loopback
// port: it answers every request with the bytes of its reply file, read
// afresh each time, and keeps each request it got. Stopped with the object.
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "tests/support/test_root.h"
#include "tests/support/tls_peer.h"

class LTestHttpRecorder {
public:
    LTestHttpRecorder(const std::string& folder, const std::string& reply) : folder_(folder), port_(LTestFreePort()) {
        std::filesystem::create_directories(folder);
        SetReply(reply);
        std::vector<std::string> argv{"/usr/bin/python3", std::string(PORLINEX_SOURCE_DIR) + "/tests/support/http_peer.py",
                                      "--mode", "record", "--reply", folder + "/reply", "--port", std::to_string(port_),
                                      "--log", folder + "/log.jsonl", "--ready", folder + "/ready"};
        process_ = std::make_unique<LTestProcess>(LTestRedirectedArgv(argv, "/dev/null", folder + "/peer.log"));
        ready_ = LTestWaitFor(20000, [&] { return std::filesystem::exists(folder + "/ready"); });
    }
    bool Ready() const { return ready_; }
    std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }
    void SetReply(const std::string& reply) { std::ofstream(folder_ + "/reply", std::ios::binary) << reply; }
    // The recorded requests, one JSON line each.
    std::string Log() const { return LTestReadFile(folder_ + "/log.jsonl"); }

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
