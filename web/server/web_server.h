#pragma once
// The web server object inside the engine: the plain and TLS listeners,
// the one-shot threads that make the web folder's compressed copies and
// keep the public routing, and the readers of the WebServer settings section.
#include <cstdint>

#include "foundation/thread.h"
#include "web/http/listener.h"
#include "web/server/auto_routing.h"

// Makes the ".gz" copies of the web folder once per start, at the lowest
// priority.
class LWebCompressThread : public LThread {
public:
    LWebCompressThread() : LThread("LWebCompressThread") {}
    ~LWebCompressThread() override { Stop(); }
    void Run() override;
};

uint16_t LWebServerGetPort();
uint16_t LWebServerGetSecurePort();
bool LWebServerIsEnabled();
bool LWebServerIsSecureEnabled();
bool LWebServerIsPublicEnabled();

class LWebServer {
public:
    LWebServer() = default;
    LWebServer(const LWebServer&) = delete;
    LWebServer& operator=(const LWebServer&) = delete;
    virtual ~LWebServer();

    virtual void Start();
    virtual void RestartNonSecure();
    virtual void RestartSecure();
    // Stops both listeners with their connection threads.
    void StopListeners();

    LTCPListener plain;
    LCryptoTCPListener secure;
    LWebCompressThread compress;
    LAutoRoutingThread routing;
};

// The web server of the running engine, or null.
LWebServer* LWebServerCurrent();
void LWebServerClearCurrent(LWebServer* if_this);
