#pragma once
// The plain and TLS listeners of the web server. Until connections are
// served they only hold their port and web folder and say whether they run.
#include <cstdint>

class LTCPListener {
public:
    LTCPListener();
    virtual ~LTCPListener() = default;
    uint16_t port = 0;
    char16_t web_folder[260];
    bool IsRunning() const { return running_; }
    virtual bool Start(int priority);
    void Stop();

protected:
    bool running_ = false;
};

class LCryptoTCPListener : public LTCPListener {};
