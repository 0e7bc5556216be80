#pragma once
// Public routing at each start of the web server: keeps the router's port
// forwarding and the recorded public address up to date, or runs the
// routing test the first time, then tells the desktop (event 0x100000c).
// It runs only when the user turned public access on (PublicEnabled "1" in
// the WebServer section): a fresh install never asks a router to open a port.
#include <cstdint>

#include "foundation/task_progress.h"
#include "foundation/thread.h"

constexpr uint32_t LRoutingChangedEvent = 0x100000c;

// The first-time setup: the routing test for each enabled listener, after
// which its port is routed automatically.
uint32_t LWebRouteSetup(LTaskProgress& progress);
// The body of the routing thread.
void LWebAutoRoute(LTaskProgress& progress);

class LAutoRoutingThread : public LThread {
public:
    LAutoRoutingThread() : LThread("LAutoRoutingThread") {}
    ~LAutoRoutingThread() override { Stop(); }
    void Run() override { LWebAutoRoute(*this); }
};
