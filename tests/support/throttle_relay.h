#pragma once
// A slow link to a real server for tests: tests/support/throttle_relay.py
// on a free loopback port, forwarding to 127.0.0.1:target. The client's
// bytes pass at once; the server's are handed on at a limited rate after a
// first burst per connection, steadily enough that no read of the client
// waits long. Stopped when the object goes.
//
//   LTestThrottleRelay slow(root.Path() + "/slow", {dovecot.ImapsPort()});
//   ... point the account at "127.0.0.1:" + slow.Port() ...
#include <cstdint>
#include <memory>
#include <string>

#include "tests/support/test_root.h"

struct LTestThrottleOptions {
    int targetPort = 0;
    int burstBytes = 16384;      // per connection, at full speed
    int bytesPerSecond = 400;    // per connection, after the burst
};

class LTestThrottleRelay {
public:
    LTestThrottleRelay(const std::string& folder, const LTestThrottleOptions& options);
    ~LTestThrottleRelay();
    LTestThrottleRelay(const LTestThrottleRelay&) = delete;
    LTestThrottleRelay& operator=(const LTestThrottleRelay&) = delete;

    bool Ready() const { return ready_; }
    int Port() const { return port_; }
    // Totals over every connection so far, as of the last second: bytes
    // handed to clients, and bytes received from the server not yet handed
    // on; -1 before the first report.
    int64_t Delivered() const;
    int64_t Held() const;

private:
    int64_t Total(const char* name) const;

    std::string status_;
    int port_ = 0;
    bool ready_ = false;
    std::unique_ptr<LTestProcess> process_;
};
