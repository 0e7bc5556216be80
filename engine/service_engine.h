#pragma once
// The engine that the service host builds once: Start creates or upgrades
// every table, starts the mail workers and the web server; Stop takes them
// down in a fixed order; OnCommand serves commands from the desktop.
#include <cstdint>

#include "web/server/web_server.h"

// A handler of type-1 pipe commands; handlers form a chain.
class LPipeCommandHandler {
public:
    virtual ~LPipeCommandHandler() = default;
    virtual uint64_t OnCommand(uint32_t type, const void* payload, uint32_t length) = 0;
};

// The reply block of a desktop request (pipe command 2).
constexpr uint32_t LDesktopReplySize = 8456;

class LServiceEngine : public LPipeCommandHandler {
public:
    explicit LServiceEngine(LPipeCommandHandler* next = nullptr) : next_(next) {}
    void Start();
    void Stop();
    uint64_t OnCommand(uint32_t type, const void* payload, uint32_t length) override;
    LWebServer& WebServer() { return web_; }

private:
    LPipeCommandHandler* next_;
    LWebServer web_;
    bool workers_started_ = false;
};

// Answers a desktop request: the hook through which command 2 reaches the
// host's pending requests. Returns true when the request was pending.
using LDesktopReplyHook = bool (*)(uint32_t id, bool ok, const char* first, const char* second);
void LServiceEngineSetDesktopReplyHook(LDesktopReplyHook hook);
