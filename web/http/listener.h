#pragma once
// The plain and TLS listeners of the web server. Each is a thread that owns
// one listening socket, accepts without blocking (a stop request is seen at
// the next wait), checks the caller against the per-IP connection limit and
// the open connections it may hold, and hands each admitted connection to a
// connection thread of its pool. A port in use is tried again every 30
// seconds.
#include <cstdint>
#include <memory>
#include <string>

#include "foundation/thread.h"
#include "net/crypto_socket.h"
#include "net/pfx_certificate.h"
#include "web/http/connection_limit.h"

class LTCPListener : public LThread {
public:
    LTCPListener();
    ~LTCPListener() override;

    // Set before each start.
    uint16_t port = 0;
    // Open connections per address and in all.
    std::shared_ptr<LWebConnectionLimit> limits =
        std::make_shared<LWebConnectionLimit>(LWebMaxConnectionsPerAddress, LWebMaxConnections);
    // The data folder's "Web", handed to every connection thread.
    char16_t web_folder[260];
    LThreadPool pool;

    void Run() override;
    // Signals every connection thread, stops the listener, then stops and
    // deletes the connection threads.
    void StopWithConnections();
    // True while the socket listens (for tests and the metrics pages).
    bool IsListening() const { return listening_.load(); }

protected:
    explicit LTCPListener(const char* thread_name);
    virtual const char* Tag() const { return "LTCPListener"; }
    virtual bool IsSecure() const { return false; }
    // Loads what a listening cycle needs (the TLS certificate).
    virtual void BeginCycle() {}
    virtual void EndCycle() {}
    // Takes the accepted socket (closes it when refused).
    virtual void OnConnection(LSocket socket, uint32_t peer_ip);
    virtual void OnBindFailed();
    void OnListening();

    std::string WebFolderUtf8() const;
    // True (with the refusal logged) when the per-IP limit or the open
    // connections refuse the peer; otherwise the slot holds its place.
    bool RefusedByLimits(uint32_t peer_ip, LWebConnectionSlot& slot);
    std::atomic<bool> listening_{false};

private:
    // Listens and accepts until a stop or a failure; the socket is closed
    // when it returns.
    void ListenCycle();
};

class LCryptoTCPListener : public LTCPListener {
public:
    LCryptoTCPListener();

protected:
    const char* Tag() const override { return "LCryptoTCPListener"; }
    bool IsSecure() const override { return true; }
    void BeginCycle() override;
    void EndCycle() override;
    void OnConnection(LSocket socket, uint32_t peer_ip) override;
    void OnBindFailed() override;

private:
    LServerCertificateSource certificate_;
};

// The configured port a listener names when its port is taken; the engine
// registers the readers of the WebServer settings.
using LWebPortReader = uint16_t (*)();
void LWebSetPortReaders(LWebPortReader plain, LWebPortReader secure);
